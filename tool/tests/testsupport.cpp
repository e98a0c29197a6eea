// Running the real duriv binary from the tests.
#include "tool/tests/testsupport.h"

#include "package/hexception.h"
#include "package/packagearchive.h"

#include <QDateTime>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>
#include <vector>

extern char **environ;

QByteArray durivBinary() { return QByteArray(DURIV_BINARY); }

RunningTool::RunningTool(const QList<QByteArray> &arguments, const ToolRunOptions &options)
    : m_capture(std::make_unique<QTemporaryDir>())
{
    const QByteArray capture = pathBytes(m_capture->path());
    const QByteArray outPath =
        options.standardOutputPath.isEmpty() ? capture + "/stdout" : options.standardOutputPath;
    const QByteArray errPath = capture + "/stderr", home = capture + "/home";
    mkdir(home.constData(), 0755);
    // Later overrides replace earlier ones and the parent's variables. A
    // build environment's SOURCE_DATE_EPOCH or DURIV_DEPFILE would change
    // what every run writes: empty, they are off.
    QList<QPair<QByteArray, QByteArray>> overrides = {
        {"TZ", "UTC"}, {"LC_ALL", "C"}, {"HOME", home}, {"MARROWGATE_ROOT_USER_DIR", home},
        {"SOURCE_DATE_EPOCH", ""}, {"DURIV_DEPFILE", ""}};
    overrides += options.environment;
    QList<QByteArray> environment;
    for (char **entry = environ; *entry; ++entry)
        environment.append(*entry);
    for (const auto &pair : overrides) {
        for (int i = environment.size() - 1; i >= 0; --i)
            if (environment[i].startsWith(pair.first + '='))
                environment.removeAt(i);
        environment.append(pair.first + '=' + pair.second);
    }
    // Everything is prepared before fork: after it, only async-signal-safe calls.
    QList<QByteArray> argumentBytes = QList<QByteArray>{options.binary.isEmpty() ? durivBinary() : options.binary};
    argumentBytes += arguments;
    std::vector<char *> argv, envp;
    for (QByteArray &argument : argumentBytes)
        argv.push_back(argument.data());
    for (QByteArray &entry : environment)
        envp.push_back(entry.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    const QByteArray directory = pathBytes(options.workingDirectory);
    m_pid = fork();
    if (m_pid < 0)
        ADD_FAILURE() << "fork failed: " << strerror(errno);
    if (m_pid != 0)
        return;
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(outPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open(errPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 ||
        (!directory.isEmpty() && chdir(directory.constData()) != 0))
        _exit(127);
    signal(SIGPIPE, SIG_DFL); // the runner may ignore it; the binary starts with the default
    alarm(options.timeLimitSeconds); // survives execve, so a hanging run fails instead of waiting
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
}

RunningTool::~RunningTool()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
}

void RunningTool::kill(int signal)
{
    if (m_pid > 0) // never -1, which would signal every process
        ::kill(m_pid, signal);
}

ToolRun RunningTool::wait()
{
    ToolRun run;
    int status = 0;
    struct rusage usage = {};
    if (m_pid <= 0 || wait4(m_pid, &status, 0, &usage) != m_pid) {
        ADD_FAILURE() << "no process to wait for";
        return run;
    }
    m_pid = -1;
    if (WIFEXITED(status))
        run.status = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        run.signal = WTERMSIG(status);
    run.maxResidentKilobytes = usage.ru_maxrss;
    run.out = fileBytes(pathBytes(m_capture->path()) + "/stdout");
    run.err = fileBytes(pathBytes(m_capture->path()) + "/stderr");
    return run;
}

ToolSandbox::ToolSandbox() : m_directory(std::make_unique<QTemporaryDir>())
{
    EXPECT_TRUE(m_directory->isValid()) << "cannot make a temporary directory";
}

ToolSandbox::~ToolSandbox() { removeTree(pathBytes(path())); }
QString ToolSandbox::path() const { return m_directory->path(); }
QString ToolSandbox::filePath(const QString &relative) const { return path() + '/' + relative; }
QByteArray ToolSandbox::full(const QByteArray &relative) const
{
    return pathBytes(filePath(QString::fromLatin1(relative)));
}

ToolRun ToolSandbox::run(const QList<QByteArray> &arguments, ToolRunOptions options) const
{
    if (options.workingDirectory.isEmpty())
        options.workingDirectory = path();
    return RunningTool(arguments, options).wait();
}

void ToolSandbox::makeDirectory(const QString &relative) const
{
    const QByteArray target = pathBytes(filePath(relative));
    for (int slash = target.indexOf('/', 1); slash != -1; slash = target.indexOf('/', slash + 1))
        mkdir(target.left(slash).constData(), 0755);
    if (mkdir(target.constData(), 0755) != 0 && errno != EEXIST)
        ADD_FAILURE() << "cannot create directory " << target.constData();
}

void ToolSandbox::writeFile(const QString &relative, const QByteArray &bytes, mode_t mode,
                            time_t modified) const
{
    if (relative.lastIndexOf('/') > 0)
        makeDirectory(relative.left(relative.lastIndexOf('/')));
    const QByteArray target = pathBytes(filePath(relative));
    unlink(target.constData());
    FILE *file = fopen(target.constData(), "wb");
    if (!file || fwrite(bytes.constData(), 1, bytes.size(), file) != size_t(bytes.size()))
        ADD_FAILURE() << "cannot write " << target.constData();
    if (file)
        fclose(file);
    chmod(target.constData(), mode);
    struct utimbuf times = {modified, modified};
    if (modified >= 0 && utime(target.constData(), &times) != 0)
        ADD_FAILURE() << "cannot set the time of " << target.constData();
}

QByteArray ToolSandbox::readFile(const QString &relative) const
{
    EXPECT_TRUE(exists(relative)) << "missing file " << qPrintable(relative);
    return fileBytes(pathBytes(filePath(relative)));
}

bool ToolSandbox::exists(const QString &relative) const { return pathExists(pathBytes(filePath(relative))); }
QByteArray fileBytes(const QByteArray &path)
{
    QByteArray bytes;
    if (FILE *file = fopen(path.constData(), "rb")) {
        char buffer[65536];
        for (size_t n; (n = fread(buffer, 1, sizeof buffer, file)) > 0;)
            bytes.append(buffer, int(n));
        fclose(file);
    }
    return bytes;
}

bool pathExists(const QByteArray &path) { return fileMode(path) != 0; }

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

time_t utcTime(int year, int month, int day, int hour, int minute, int second)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second), Qt::UTC).toSecsSinceEpoch();
}

int currentUtcYear() { return QDateTime::currentDateTimeUtc().date().year(); }

QByteArray incompressibleBytes(int size, quint32 seed)
{
    QByteArray bytes(size, '\0');
    quint32 state = seed ? seed : 0x9E3779B9u; // xorshift32: deflate stores it
    for (int i = 0; i < size; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        bytes[i] = char(state >> 24);
    }
    return bytes;
}

namespace {
QList<QByteArray> entries(const QByteArray &directory, bool hidden)
{
    QList<QByteArray> names;
    if (DIR *dir = opendir(directory.constData())) {
        while (const dirent *entry = readdir(dir)) {
            const QByteArray name(entry->d_name);
            if (name != "." && name != ".." && (hidden || !name.startsWith('.')))
                names.append(name);
        }
        closedir(dir);
    }
    return names;
}

void snapshotInto(const QByteArray &root, const QByteArray &relative, QMap<QByteArray, QByteArray> &snapshot)
{
    for (const QByteArray &name : entries(relative.isEmpty() ? root : root + '/' + relative, true)) {
        const QByteArray path = relative.isEmpty() ? name : relative + '/' + name;
        const QByteArray target = root + '/' + path;
        const mode_t mode = fileMode(target);
        if (S_ISLNK(mode)) {
            char link[4096];
            const ssize_t n = readlink(target.constData(), link, sizeof link);
            snapshot.insert(path, "->" + QByteArray(link, n > 0 ? int(n) : 0));
        } else if (S_ISDIR(mode)) {
            snapshot.insert(path, "<dir>");
            snapshotInto(root, path, snapshot);
        } else {
            snapshot.insert(path, fileBytes(target));
        }
    }
}
} // namespace

void removeTree(const QByteArray &path)
{
    if (S_ISDIR(fileMode(path))) {
        chmod(path.constData(), 0700);
        for (const QByteArray &name : entries(path, true))
            removeTree(path + '/' + name);
        rmdir(path.constData());
    } else {
        unlink(path.constData());
    }
}

QList<QByteArray> readdirOrder(const QByteArray &directory) { return entries(directory, false); }

QMap<QByteArray, QByteArray> directorySnapshot(const QByteArray &directory)
{
    QMap<QByteArray, QByteArray> snapshot;
    snapshotInto(directory, QByteArray(), snapshot);
    return snapshot;
}

QList<QByteArray> addedPaths(const QByteArray &standardOutput)
{
    QList<QByteArray> paths;
    for (const QByteArray &line : standardOutput.split('\n'))
        if (line.startsWith("Adding "))
            paths.append(line.mid(7));
    return paths;
}

QList<QByteArray> StoredPackage::names() const
{
    QList<QByteArray> result;
    for (const Member &member : members)
        result.append(member.name);
    return result;
}

StoredPackage readPackage(const QString &path)
{
    StoredPackage package;
    try {
        PackageArchive archive;
        archive.load(path);
        for (const auto &file : archive.files())
            package.members.append({file->name().toLatin1(), archive.fileData(file.get()), file->mode(),
                                    quint32(file->time())});
    } catch (const HException &error) {
        ADD_FAILURE() << "cannot load " << path.toStdString() << ": " << error.what();
        return StoredPackage();
    }
    return package;
}

void writePackage(const QString &path, const QList<Member> &members, int version, int compression)
{
    PackageArchive archive;
    archive.setVersion(version);
    archive.setCompression(compression);
    for (const Member &member : members)
        archive.addData(member.data, QDateTime::fromSecsSinceEpoch(member.time, Qt::UTC), member.mode,
                        QString::fromLatin1(member.name));
    archive.save(path);
}
