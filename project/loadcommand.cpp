// Splitting and running load commands with fork/execvp.
#include "project/loadcommand.h"

#include "macros/filedescriptor.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
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
        {">", true, false, false},  {"1>", true, false, false},  {"2>", false, true, false},
        {"&>", true, true, false},  {">>", true, false, true},   {"1>>", true, false, true},
        {"2>>", false, true, true}, {"&>>", true, true, true},
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

using Outcome = LoadCommandResult::Outcome;

LoadCommandResult notStarted(const QString &program)
{
    return {Outcome::NotStarted, 0, program, QString()};
}

} // namespace

LoadCommandResult runLoadCommand(const QStringList &words, const QString &workingDirectory)
{
    QStringList arguments;
    std::vector<Redirection> redirections;
    int i = 0;
    for (; i < words.size(); ++i) {
        Redirection r;
        if (parseOperator(words.at(i), r))
            break;
        arguments.append(words.at(i));
    }
    // From the first operator on, the words are operator and file pairs.
    for (; i + 1 < words.size(); i += 2) {
        Redirection r;
        if (!parseOperator(words.at(i), r))
            continue;
        r.file = words.at(i + 1);
        redirections.push_back(r);
    }
    const QString program = arguments.value(0);
    // Nothing to run fails like a program that is not there, before any file is touched.
    if (arguments.isEmpty())
        return notStarted(program);

    StandardStreams streams;
    const QString unopened = openStreams(redirections, workingDirectory, streams);
    if (!unopened.isNull())
        return {Outcome::OutputNotOpened, 0, program, unopened};

    // The child reports why it could not start through this pipe; a
    // successful exec closes it.
    int errorPipe[2];
    if (::pipe2(errorPipe, O_CLOEXEC) != 0)
        return notStarted(program);
    FileDescriptor errorRead(errorPipe[0]), errorWrite(errorPipe[1]);

    std::vector<QByteArray> encoded;
    for (const QString &argument : arguments)
        encoded.push_back(QFile::encodeName(argument));
    std::vector<char *> argv;
    for (QByteArray &argument : encoded)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const QByteArray directory = QFile::encodeName(workingDirectory);

    const pid_t pid = ::fork();
    if (pid < 0)
        return notStarted(program);
    if (pid == 0) {
        // Only async-signal-safe calls from here on.
        ::dup2(streams.input.get(), STDIN_FILENO);
        ::dup2(streams.output.get(), STDOUT_FILENO);
        ::dup2(streams.error.get(), STDERR_FILENO);
        int error = 0;
        if (!directory.isEmpty() && ::chdir(directory.constData()) != 0)
            error = errno;
        if (error == 0) {
            ::execvp(argv[0], argv.data());
            error = errno;
        }
        ssize_t ignored = ::write(errorWrite.get(), &error, sizeof error);
        (void)ignored;
        ::_exit(127);
    }

    // The tool keeps and reads none of the program's streams, so it waits
    // for the program alone, not for a background child that inherited them.
    errorWrite.reset();
    streams = StandardStreams();

    int startError = 0;
    ssize_t got;
    do {
        got = ::read(errorRead.get(), &startError, sizeof startError);
    } while (got < 0 && errno == EINTR);

    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return notStarted(program);
    }
    if (got == static_cast<ssize_t>(sizeof startError))
        return notStarted(program);
    if (WIFEXITED(status))
        return {Outcome::Exited, WEXITSTATUS(status), program, QString()};
    if (WIFSIGNALED(status))
        return {Outcome::Exited, 128 + WTERMSIG(status), program, QString()};
    return notStarted(program);
}
