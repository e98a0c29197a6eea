// Splitting and running load commands with fork/execvp.
#include "project/loadcommand.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
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

/// An open descriptor that closes itself.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    Descriptor(Descriptor &&other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    int get() const { return m_fd; }
    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd;
};

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

int openRedirection(const Redirection &r, const QString &workingDirectory)
{
    QString path = r.file;
    if (!path.startsWith(QLatin1Char('/')) && !workingDirectory.isEmpty())
        path = workingDirectory + QLatin1Char('/') + path;
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (r.append ? O_APPEND : O_TRUNC);
    return ::open(QFile::encodeName(path).constData(), flags, 0666);
}

} // namespace

int runLoadCommand(const QStringList &words, const QString &workingDirectory)
{
    if (words.isEmpty())
        return -1;

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

    Descriptor outFd, errFd;
    for (const Redirection &r : redirections) {
        const int fd = openRedirection(r, workingDirectory);
        if (fd < 0)
            return -1;
        if (r.out && r.err) {
            outFd.reset(fd);
            errFd.reset(::dup(fd));
            ::fcntl(errFd.get(), F_SETFD, FD_CLOEXEC);
        } else if (r.out) {
            outFd.reset(fd);
        } else {
            errFd.reset(fd);
        }
    }

    int outputPipe[2];
    if (::pipe2(outputPipe, O_CLOEXEC) != 0)
        return -1;
    Descriptor readEnd(outputPipe[0]), writeEnd(outputPipe[1]);
    int errorPipe[2];
    if (::pipe2(errorPipe, O_CLOEXEC) != 0)
        return -1;
    Descriptor errorRead(errorPipe[0]), errorWrite(errorPipe[1]);

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
        return -1;
    if (pid == 0) {
        // Only async-signal-safe calls from here on.
        const int devNull = ::open("/dev/null", O_RDONLY);
        if (devNull >= 0)
            ::dup2(devNull, STDIN_FILENO);
        ::dup2(outFd.get() >= 0 ? outFd.get() : writeEnd.get(), STDOUT_FILENO);
        ::dup2(errFd.get() >= 0 ? errFd.get() : writeEnd.get(), STDERR_FILENO);
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

    writeEnd.reset();
    errorWrite.reset();
    outFd.reset();
    errFd.reset();

    // Drain the output until every writer has gone, so that a chatty
    // program never blocks on a full pipe.
    char buffer[4096];
    for (;;) {
        pollfd p = {readEnd.get(), POLLIN, 0};
        const int ready = ::poll(&p, 1, -1);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            break;
        const ssize_t got = ::read(readEnd.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
    }

    int startError = 0;
    ssize_t got;
    do {
        got = ::read(errorRead.get(), &startError, sizeof startError);
    } while (got < 0 && errno == EINTR);

    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    if (got == static_cast<ssize_t>(sizeof startError))
        return -1;
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}
