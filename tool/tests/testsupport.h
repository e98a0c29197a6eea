// Running the real duriv binary in a sandbox (TZ=UTC, LC_ALL=C, HOME of its
// own), and reading and writing packages and trees by bytes.
#pragma once

#include "package/pathbytes.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>

#include <ctime>
#include <memory>
#include <sys/types.h>

class QTemporaryDir;

struct ToolRun {
    int status = -1, signal = 0; ///< status -1 when the process did not exit normally
    QByteArray out, err;
    long maxResidentKilobytes = 0;
};

struct ToolRunOptions {
    QString workingDirectory;
    QByteArray standardOutputPath; ///< instead of capturing, e.g. "/dev/full"
    QList<QPair<QByteArray, QByteArray>> environment;
    QByteArray binary; ///< instead of the built duriv
    unsigned timeLimitSeconds = 0; ///< a run still going then ends by SIGALRM (0: no limit)
};

QByteArray durivBinary();

/// A started run that the test may signal; killed and reaped if not waited for.
class RunningTool {
public:
    RunningTool(const QList<QByteArray> &arguments, const ToolRunOptions &options = {});
    ~RunningTool(); // not copyable: it owns the capture directory
    void kill(int signal);
    ToolRun wait();

private:
    std::unique_ptr<QTemporaryDir> m_capture;
    pid_t m_pid = -1;
};

/// A fresh temporary directory, removed by bytes (names need not be UTF-8).
class ToolSandbox {
public:
    ToolSandbox();
    ~ToolSandbox(); // not copyable: it owns the directory
    QString path() const;
    QString filePath(const QString &relative) const;
    QByteArray full(const QByteArray &relative) const;
    ToolRun run(const QList<QByteArray> &arguments, ToolRunOptions options = {}) const;
    /// Creates missing directories; `modified` < 0 keeps the current time.
    void writeFile(const QString &relative, const QByteArray &bytes, mode_t mode = 0644, time_t modified = -1) const;
    void makeDirectory(const QString &relative) const;
    QByteArray readFile(const QString &relative) const; ///< a test failure when missing
    bool exists(const QString &relative) const;

private:
    std::unique_ptr<QTemporaryDir> m_directory;
};

QByteArray fileBytes(const QByteArray &path);
bool pathExists(const QByteArray &path); ///< links, dangling or not, included
mode_t fileMode(const QByteArray &path); ///< lstat, 0 when missing
time_t fileTime(const QByteArray &path);
time_t utcTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);
int currentUtcYear();
QByteArray incompressibleBytes(int size, quint32 seed);
void removeTree(const QByteArray &path);
QList<QByteArray> readdirOrder(const QByteArray &directory); ///< visible names
/// Every entry below `directory` with its bytes ("->target", "<dir>").
QMap<QByteArray, QByteArray> directorySnapshot(const QByteArray &directory);
/// The paths of the "Adding %s" lines, in order.
QList<QByteArray> addedPaths(const QByteArray &standardOutput);

struct Member {
    QByteArray name, data; ///< the name as Latin-1 bytes
    quint32 mode = 0100644, time = 0;
};

struct StoredPackage {
    QList<Member> members;
    QList<QByteArray> names() const;
};

/// Loads with the archive library; a load failure is a test failure.
StoredPackage readPackage(const QString &path);
void writePackage(const QString &path, const QList<Member> &members, int version = 2, int compression = 0);
