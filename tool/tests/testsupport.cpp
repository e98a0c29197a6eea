// Running the real duriv binary from the tests.
#include "tool/tests/testsupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>
#include <vector>

extern char **environ;

namespace {

QByteArray readWholeFile(const QByteArray &path)
{
    QByteArray bytes;
    const int fd = open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        bytes.append(buffer, static_cast<int>(n));
    }
    close(fd);
    return bytes;
}

bool writeAll(int fd, const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        const ssize_t n = write(fd, data, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        left -= n;
    }
    return true;
}

// The parent's environment with TZ=UTC, LC_ALL=C, HOME in the capture
// directory (so nothing touches the real home) and the caller's variables.
std::vector<QByteArray> childEnvironment(const ToolRunOptions &options, const QByteArray &home)
{
    QList<QPair<QByteArray, QByteArray>> overrides;
    overrides.append(qMakePair(QByteArray("TZ"), QByteArray("UTC")));
    overrides.append(qMakePair(QByteArray("LC_ALL"), QByteArray("C")));
    overrides.append(qMakePair(QByteArray("HOME"), home));
    overrides.append(options.environment);

    std::vector<QByteArray> result;
    for (char **entry = environ; *entry; ++entry) {
        const QByteArray line(*entry);
        const QByteArray name = line.left(line.indexOf('='));
        bool replaced = false;
        for (const auto &pair : overrides)
            replaced = replaced || pair.first == name;
        if (!replaced)
            result.push_back(line);
    }
    // Later overrides win: keep only the last value of each name.
    for (int i = 0; i < overrides.size(); ++i) {
        bool later = false;
        for (int j = i + 1; j < overrides.size(); ++j)
            later = later || overrides[j].first == overrides[i].first;
        if (!later)
            result.push_back(overrides[i].first + '=' + overrides[i].second);
    }
    return result;
}

} // namespace

QByteArray durivBinary()
{
    return QByteArray(DURIV_BINARY);
}

RunningTool::RunningTool(const QList<QByteArray> &arguments, const ToolRunOptions &options)
    : m_captureDirectory(std::make_unique<QTemporaryDir>())
{
    if (!m_captureDirectory->isValid()) {
        ADD_FAILURE() << "cannot make a capture directory";
        return;
    }
    const QByteArray capture = pathBytes(m_captureDirectory->path());
    const QByteArray outPath = options.standardOutputPath.isEmpty() ? capture + "/stdout"
                                                                    : options.standardOutputPath;
    const QByteArray errPath = capture + "/stderr";
    const QByteArray inPath = capture + "/stdin";
    const QByteArray home = capture + "/home";
    mkdir(home.constData(), 0755);
    {
        const int fd = open(inPath.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0 || !writeAll(fd, options.standardInput)) {
            ADD_FAILURE() << "cannot write the standard input file";
        }
        if (fd >= 0)
            close(fd);
    }

    // Everything the child needs is prepared before fork: after it, only
    // async-signal-safe calls.
    std::vector<QByteArray> argumentBytes;
    argumentBytes.push_back(durivBinary());
    for (const QByteArray &argument : arguments)
        argumentBytes.push_back(argument);
    std::vector<char *> argv;
    for (QByteArray &argument : argumentBytes)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    std::vector<QByteArray> environmentBytes = childEnvironment(options, home);
    std::vector<char *> envp;
    for (QByteArray &entry : environmentBytes)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    const QByteArray directory = pathBytes(options.workingDirectory);

    m_pid = fork();
    if (m_pid < 0) {
        ADD_FAILURE() << "fork failed: " << strerror(errno);
        return;
    }
    if (m_pid == 0) {
        const int in = open(inPath.constData(), O_RDONLY);
        const int out = open(outPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(errPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0)
            _exit(127);
        if (!directory.isEmpty() && chdir(directory.constData()) != 0)
            _exit(127);
        // The test runner may ignore SIGPIPE; the binary must start with the default.
        signal(SIGPIPE, SIG_DFL);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
}

RunningTool::~RunningTool()
{
    if (m_pid > 0 && !m_reaped) {
        ::kill(m_pid, SIGKILL);
        int status = 0;
        while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
}

void RunningTool::kill(int signal)
{
    if (m_pid > 0 && !m_reaped)
        ::kill(m_pid, signal);
}

ToolRun RunningTool::wait()
{
    ToolRun run;
    if (m_pid <= 0 || m_reaped)
        return run;
    int status = 0;
    struct rusage usage;
    std::memset(&usage, 0, sizeof usage);
    pid_t waited;
    do {
        waited = wait4(m_pid, &status, 0, &usage);
    } while (waited < 0 && errno == EINTR);
    m_reaped = true;
    if (waited != m_pid) {
        ADD_FAILURE() << "waitpid failed: " << strerror(errno);
        return run;
    }
    if (WIFEXITED(status))
        run.status = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        run.signal = WTERMSIG(status);
    run.maxResidentKilobytes = usage.ru_maxrss;
    const QByteArray capture = pathBytes(m_captureDirectory->path());
    run.out = readWholeFile(capture + "/stdout");
    run.err = readWholeFile(capture + "/stderr");
    return run;
}

ToolRun runDuriv(const QList<QByteArray> &arguments, const ToolRunOptions &options)
{
    RunningTool tool(arguments, options);
    return tool.wait();
}

ToolSandbox::ToolSandbox() : m_directory(std::make_unique<QTemporaryDir>())
{
    if (!m_directory->isValid())
        ADD_FAILURE() << "cannot make a temporary directory";
}

ToolSandbox::~ToolSandbox() = default;

QString ToolSandbox::path() const
{
    return m_directory->path();
}

QString ToolSandbox::filePath(const QString &relative) const
{
    return path() + QLatin1Char('/') + relative;
}

ToolRun ToolSandbox::run(const QList<QByteArray> &arguments, ToolRunOptions options) const
{
    if (options.workingDirectory.isEmpty())
        options.workingDirectory = path();
    return runDuriv(arguments, options);
}

void ToolSandbox::makeDirectory(const QString &relative) const
{
    const QByteArray full = pathBytes(filePath(relative));
    for (int slash = full.indexOf('/', 1); slash != -1; slash = full.indexOf('/', slash + 1))
        mkdir(full.left(slash).constData(), 0755);
    if (mkdir(full.constData(), 0755) != 0 && errno != EEXIST)
        ADD_FAILURE() << "cannot create directory " << full.constData();
}

void ToolSandbox::writeFile(const QString &relative, const QByteArray &bytes, mode_t mode,
                            time_t modified) const
{
    const int slash = relative.lastIndexOf(QLatin1Char('/'));
    if (slash > 0)
        makeDirectory(relative.left(slash));
    const QByteArray full = pathBytes(filePath(relative));
    unlink(full.constData());
    const int fd = open(full.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        ADD_FAILURE() << "cannot create " << full.constData();
        return;
    }
    if (!writeAll(fd, bytes))
        ADD_FAILURE() << "cannot write " << full.constData();
    close(fd);
    if (chmod(full.constData(), mode) != 0)
        ADD_FAILURE() << "cannot chmod " << full.constData();
    if (modified >= 0)
        setFileTime(full, modified);
}

QByteArray ToolSandbox::readFile(const QString &relative) const
{
    const QByteArray full = pathBytes(filePath(relative));
    if (access(full.constData(), F_OK) != 0)
        ADD_FAILURE() << "missing file " << full.constData();
    return readWholeFile(full);
}

bool ToolSandbox::exists(const QString &relative) const
{
    struct stat info;
    return lstat(pathBytes(filePath(relative)).constData(), &info) == 0;
}

void setFileTime(const QByteArray &path, time_t modified)
{
    struct utimbuf times;
    times.actime = modified;
    times.modtime = modified;
    if (utime(path.constData(), &times) != 0)
        ADD_FAILURE() << "cannot set the time of " << path.constData();
}

mode_t fileMode(const QByteArray &path)
{
    struct stat info;
    return lstat(path.constData(), &info) == 0 ? info.st_mode : 0;
}

time_t fileTime(const QByteArray &path)
{
    struct stat info;
    return lstat(path.constData(), &info) == 0 ? info.st_mtime : -1;
}

QByteArray pathBytes(const QString &path)
{
    return path.toLatin1();
}

time_t utcTime(int year, int month, int day, int hour, int minute, int second)
{
    // Days from civil (proleptic Gregorian), so no dependence on TZ or timegm.
    year -= month <= 2;
    const long era = (year >= 0 ? year : year - 399) / 400;
    const long yoe = year - era * 400;
    const long doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const long days = era * 146097 + doe - 719468;
    return static_cast<time_t>(days) * 86400 + hour * 3600 + minute * 60 + second;
}

int currentUtcYear()
{
    const time_t now = time(nullptr);
    struct tm parts;
    gmtime_r(&now, &parts);
    return parts.tm_year + 1900;
}
