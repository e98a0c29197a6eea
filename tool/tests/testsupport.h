// Running the real duriv binary from the tests: a fresh temporary directory as
// its working directory, a fixed environment (TZ=UTC, LC_ALL=C), and its exit
// status, standard output and standard error captured.
#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <ctime>
#include <memory>
#include <sys/types.h>

class QTemporaryDir;

/// What one run of the binary left behind.
struct ToolRun {
    /// The exit status, or -1 when the process did not exit normally.
    int status = -1;
    /// The signal that ended the process, 0 when it exited.
    int signal = 0;
    QByteArray out;
    QByteArray err;
    /// The child's peak resident set size.
    long maxResidentKilobytes = 0;
};

struct ToolRunOptions {
    /// Where the binary runs; empty: the sandbox (or the current directory for runDuriv).
    QString workingDirectory;
    /// When set, standard output goes to this file (for example "/dev/full")
    /// instead of being captured.
    QByteArray standardOutputPath;
    /// Bytes fed to standard input; standard input is /dev/null when empty.
    QByteArray standardInput;
    /// Extra or replaced environment variables, applied after TZ and LC_ALL.
    QList<QPair<QByteArray, QByteArray>> environment;
};

/// The path of the binary under test.
QByteArray durivBinary();

/// Runs the binary with `arguments` (passed as bytes, unchanged) and waits for it.
ToolRun runDuriv(const QList<QByteArray> &arguments, const ToolRunOptions &options = {});

/// A started run that the test may signal before waiting for it.
class RunningTool {
public:
    RunningTool(const QList<QByteArray> &arguments, const ToolRunOptions &options = {});
    /// Kills (SIGKILL) the process if it is still running, and reaps it.
    ~RunningTool();

    RunningTool(const RunningTool &) = delete;
    RunningTool &operator=(const RunningTool &) = delete;

    pid_t pid() const { return m_pid; }
    /// Sends `signal` to the process.
    void kill(int signal);
    /// Waits for the process and collects its output. Call once.
    ToolRun wait();

private:
    std::unique_ptr<QTemporaryDir> m_captureDirectory;
    pid_t m_pid = -1;
    bool m_reaped = false;
};

/// A fresh, empty temporary directory, removed with everything in it at the end.
class ToolSandbox {
public:
    ToolSandbox();
    ~ToolSandbox();

    ToolSandbox(const ToolSandbox &) = delete;
    ToolSandbox &operator=(const ToolSandbox &) = delete;

    /// The absolute path of the directory.
    QString path() const;
    /// `relative` joined to path().
    QString filePath(const QString &relative) const;

    /// Runs the binary with the sandbox as its working directory.
    ToolRun run(const QList<QByteArray> &arguments, ToolRunOptions options = {}) const;

    /// Writes a file below the sandbox, creating missing directories, and gives
    /// it `mode` and, when `modified` is not negative, that modification time.
    void writeFile(const QString &relative, const QByteArray &bytes, mode_t mode = 0644,
                   time_t modified = -1) const;
    /// Creates a directory (and its parents) below the sandbox.
    void makeDirectory(const QString &relative) const;
    /// Whole file contents; an empty array (and a test failure) when unreadable.
    QByteArray readFile(const QString &relative) const;
    bool exists(const QString &relative) const;

private:
    std::unique_ptr<QTemporaryDir> m_directory;
};

/// Byte-level helpers on absolute paths (names are bytes, no decoding).
void setFileTime(const QByteArray &path, time_t modified);
/// st_mode of the file (without following a final link), or 0 when missing.
mode_t fileMode(const QByteArray &path);
time_t fileTime(const QByteArray &path);
/// Latin-1 bytes of a path, as the binary sees it.
QByteArray pathBytes(const QString &path);

/// Seconds since 1970 for a UTC date and time.
time_t utcTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);
/// The current year in UTC.
int currentUtcYear();
