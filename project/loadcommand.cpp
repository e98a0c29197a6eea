// Splitting and running load commands with fork/execvp.
#include "project/loadcommand.h"

#include "macros/filedescriptor.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

QStringList splitCommandLine(const QString &command)
{
    QStringList words;
    QString word;
    bool inWord = false;
    const int n = command.size();
    for (int i = 0; i < n; ++i) {
        const QChar c = command.at(i);
        if (c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n')
            || c == QLatin1Char('\r')) {
            if (inWord) {
                words.append(word);
                word.clear();
                inWord = false;
            }
            continue;
        }
        inWord = true;
        if (c == QLatin1Char('\\')) {
            if (i + 1 < n)
                word.append(command.at(++i));
        } else if (c == QLatin1Char('\'')) {
            for (++i; i < n && command.at(i) != QLatin1Char('\''); ++i)
                word.append(command.at(i));
        } else if (c == QLatin1Char('"')) {
            for (++i; i < n && command.at(i) != QLatin1Char('"'); ++i) {
                if (command.at(i) == QLatin1Char('\\') && i + 1 < n
                    && (command.at(i + 1) == QLatin1Char('"')
                        || command.at(i + 1) == QLatin1Char('\\')))
                    ++i;
                word.append(command.at(i));
            }
        } else {
            word.append(c);
        }
    }
    if (inWord)
        words.append(word);
    return words;
}

namespace {

// Where a program's standard input goes, and any output that is not redirected.
const char kNullDevice[] = "/dev/null";

struct Redirection {
    bool out = false;
    bool err = false;
    bool append = false;
    QString file;
};

bool parseOperator(const QString &word, Redirection &r)
{
    static const struct {
        const char *op;
        bool out, err, append;
    } kOperators[] = {
        {">", true, false, false},
        {"1>", true, false, false},
        {"2>", false, true, false},
        {"&>", true, true, false},
        {">>", true, false, true},
        {"1>>", true, false, true},
        {"2>>", false, true, true},
        {"&>>", true, true, true},
    };
    for (const auto &op : kOperators) {
        if (word == QLatin1String(op.op)) {
            r.out = op.out;
            r.err = op.err;
            r.append = op.append;
            return true;
        }
    }
    return false;
}

/// A command's words taken apart: what the program gets, and where its output goes.
struct CommandWords {
    QStringList arguments;
    std::vector<Redirection> redirections;
};

// The words up to the first redirection operator are the program and its
// arguments; from there on the words are operator and file pairs.
CommandWords readRedirections(const QStringList &words)
{
    CommandWords command;
    int i = 0;
    for (Redirection r; i < words.size() && !parseOperator(words.at(i), r); ++i)
        command.arguments.append(words.at(i));
    for (; i + 1 < words.size(); i += 2) {
        Redirection r;
        if (!parseOperator(words.at(i), r))
            continue;
        r.file = words.at(i + 1);
        command.redirections.push_back(r);
    }
    return command;
}

QString redirectionPath(const Redirection &r, const QString &workingDirectory)
{
    if (r.file.startsWith(QLatin1Char('/')) || workingDirectory.isEmpty())
        return r.file;
    return workingDirectory + QLatin1Char('/') + r.file;
}

/// The descriptors the program starts with.
struct StandardStreams {
    FileDescriptor input, output, error;
};

// Opens every redirection file, then the null device for each stream left
// over. Returns the path of a file that cannot be opened, or a null string.
QString openStreams(const std::vector<Redirection> &redirections, const QString &workingDirectory,
                    StandardStreams &streams)
{
    for (const Redirection &r : redirections) {
        const QString path = redirectionPath(r, workingDirectory);
        const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (r.append ? O_APPEND : O_TRUNC);
        const int fd = ::open(QFile::encodeName(path).constData(), flags, 0666);
        if (fd < 0)
            return path;
        (r.out ? streams.output : streams.error).reset(fd);
        if (r.out && r.err)
            streams.error.reset(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
    }
    for (FileDescriptor *stream : {&streams.input, &streams.output, &streams.error}) {
        if (!stream->isOpen())
            stream->reset(::open(kNullDevice, O_RDWR | O_CLOEXEC));
        if (!stream->isOpen())
            return QString::fromLatin1(kNullDevice);
    }
    return QString();
}

/// The program's argument vector in the local 8-bit encoding, made before the
/// fork: the child may not allocate.
class ArgumentVector {
public:
    explicit ArgumentVector(const QStringList &arguments)
    {
        for (const QString &argument : arguments)
            m_encoded.push_back(QFile::encodeName(argument));
        for (QByteArray &argument : m_encoded)
            m_pointers.push_back(argument.data());
        m_pointers.push_back(nullptr);
    }
    char *const *get() const { return m_pointers.data(); }

private:
    std::vector<QByteArray> m_encoded;
    std::vector<char *> m_pointers;
};

// In the child: the streams in place, the working directory, the program. Why
// it could not start goes to `report` as an errno.
[[noreturn]] void execInChild(const ArgumentVector &argv, const QByteArray &directory,
                              const StandardStreams &streams, int report)
{
    // Only async-signal-safe calls from here on.
    ::dup2(streams.input.get(), STDIN_FILENO);
    ::dup2(streams.output.get(), STDOUT_FILENO);
    ::dup2(streams.error.get(), STDERR_FILENO);
    int error = 0;
    if (!directory.isEmpty() && ::chdir(directory.constData()) != 0)
        error = errno;
    if (error == 0) {
        ::execvp(argv.get()[0], argv.get());
        error = errno;
    }
    ssize_t ignored = ::write(report, &error, sizeof error);
    (void)ignored;
    ::_exit(127);
}

// Forks the program; the child reports why it could not start through a pipe
// that a successful exec closes, whose reading end goes to `startReport`.
// Returns the child's process id, or -1 when no child could be made.
pid_t startProgram(const QStringList &arguments, const QString &workingDirectory,
                   const StandardStreams &streams, FileDescriptor &startReport)
{
    int reportPipe[2];
    if (::pipe2(reportPipe, O_CLOEXEC) != 0)
        return -1;
    FileDescriptor reportRead(reportPipe[0]), reportWrite(reportPipe[1]);
    const ArgumentVector argv(arguments);
    const QByteArray directory = QFile::encodeName(workingDirectory);
    const pid_t pid = ::fork();
    if (pid == 0)
        execInChild(argv, directory, streams, reportWrite.get());
    startReport = std::move(reportRead);
    return pid;
}

// Drains the start report: it ends empty once the program runs, or holds the
// errno of why it could not start.
bool programStarted(const FileDescriptor &startReport)
{
    int startError = 0;
    ssize_t got;
    do {
        got = ::read(startReport.get(), &startError, sizeof startError);
    } while (got < 0 && errno == EINTR);
    return got != static_cast<ssize_t>(sizeof startError);
}

// The program's wait status, or nothing when it cannot be waited for.
std::optional<int> waitForExit(pid_t pid)
{
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return std::nullopt;
    }
    return status;
}

using Outcome = LoadCommandResult::Outcome;

LoadCommandResult notStarted(const QString &program)
{
    return {Outcome::NotStarted, 0, program, QString()};
}

// An exit code as it is; a signal as 128 + its number.
LoadCommandResult exitResult(int status, const QString &program)
{
    if (WIFEXITED(status))
        return {Outcome::Exited, WEXITSTATUS(status), program, QString()};
    if (WIFSIGNALED(status))
        return {Outcome::Exited, 128 + WTERMSIG(status), program, QString()};
    return notStarted(program);
}

} // namespace

LoadCommandResult runLoadCommand(const QStringList &words, const QString &workingDirectory)
{
    const CommandWords command = readRedirections(words);
    const QString program = command.arguments.value(0);
    // Nothing to run fails like a program that is not there, before any file is touched.
    if (command.arguments.isEmpty())
        return notStarted(program);
    StandardStreams streams;
    const QString unopened = openStreams(command.redirections, workingDirectory, streams);
    if (!unopened.isNull())
        return {Outcome::OutputNotOpened, 0, program, unopened};
    FileDescriptor startReport;
    const pid_t pid = startProgram(command.arguments, workingDirectory, streams, startReport);
    if (pid < 0)
        return notStarted(program);
    // The tool keeps and reads none of the program's streams, so it waits
    // for the program alone, not for a background child that inherited them.
    streams = StandardStreams();
    const bool started = programStarted(startReport);
    const std::optional<int> status = waitForExit(pid);
    if (!status || !started)
        return notStarted(program);
    return exitResult(*status, program);
}
