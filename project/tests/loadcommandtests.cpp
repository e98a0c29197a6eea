// The shell-like split of load commands and running them with redirections.
#include "project/loadcommand.h"

#include "testsupport.h"

#include <QDir>
#include <QFile>

#include <csignal>
#include <sys/prctl.h>
#include <sys/wait.h>

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

TEST(SplitCommandLine, QuotingRules)
{
    const struct {
        const char *line;
        QStringList words;
    } cases[] = {
        {"   \t ", {}},
        {"  lead  trail  ", {"lead", "trail"}},
        {"'a b' c", {"a b", "c"}},
        {R"('back\slash "dq"')", {R"(back\slash "dq")"}},
        {R"("say \"hi\"")", {R"(say "hi")"}},
        {R"("c:\\dir")", {R"(c:\dir)"}},
        {R"("keep \n and \$")", {R"(keep \n and \$)"}},
        {R"(a\ b)", {"a b"}},
        {R"(x"y z"'w')", {"xy zw"}},
        {R"(a "" b)", {"a", "", "b"}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(splitCommandLine(QString::fromUtf8(c.line)), c.words) << c.line;
}

class RunLoadCommand : public ::testing::Test {
protected:
    LoadCommandResult run(const QStringList &words) { return runLoadCommand(words, dir.path()); }
    /// The exit status of a command that is expected to run.
    int exitStatus(const QStringList &words)
    {
        const LoadCommandResult result = run(words);
        EXPECT_EQ(result.outcome, LoadCommandResult::Outcome::Exited) << words.join(' ').toStdString();
        return result.status;
    }
    QString file(const char *name) const { return dir.path() + QLatin1Char('/') + QLatin1String(name); }
    QTemporaryDir dir;
};

TEST_F(RunLoadCommand, ExitStatusAndSignal)
{
    EXPECT_EQ(exitStatus({"sh", "-c", "exit 42"}), 42);
    EXPECT_EQ(exitStatus({"sh", "-c", "kill -9 $$"}), 128 + 9);
}

// A command without a program word is refused before anything runs or is opened.
TEST_F(RunLoadCommand, ProgramsThatCannotBeStarted)
{
    const struct {
        QStringList words;
        QString program;
    } cases[] = {
        {{"duriv-no-such-program-here"}, "duriv-no-such-program-here"},
        {{"/nonexistent/dir/prog"}, "/nonexistent/dir/prog"},
        {{}, ""},
        {{">", "out.txt"}, ""},
    };
    for (const auto &c : cases) {
        const LoadCommandResult result = run(c.words);
        EXPECT_EQ(result.outcome, LoadCommandResult::Outcome::NotStarted) << c.program.toStdString();
        EXPECT_EQ(result.program, c.program);
    }
    EXPECT_FALSE(QFile::exists(file("out.txt")));
}

TEST_F(RunLoadCommand, AnOutputFileThatCannotBeOpenedIsNamedAndNothingRuns)
{
    const LoadCommandResult result = run({"touch", "ran", "2>", "err", ">", "no/such/dir/file"});
    EXPECT_EQ(result.outcome, LoadCommandResult::Outcome::OutputNotOpened);
    EXPECT_EQ(result.outputFile, file("no/such/dir/file"));
    EXPECT_FALSE(QFile::exists(file("ran")));
}

TEST_F(RunLoadCommand, RedirectionOperators)
{
    // Redirections are relative to the working directory the command runs in.
    QDir(dir.path()).mkdir(QStringLiteral("sub"));
    const QString sub = dir.path() + QStringLiteral("/sub");
    EXPECT_EQ(runLoadCommand({"pwd", ">", "where.txt"}, sub).status, 0);
    EXPECT_EQ(readAll(sub + QStringLiteral("/where.txt")), QFile::encodeName(sub) + "\n");
    const QStringList script = {"sh", "-c", "echo out; echo err >&2"};
    EXPECT_EQ(exitStatus(script + QStringList{">", "o1"}), 0);
    EXPECT_EQ(readAll(file("o1")), "out\n");
    EXPECT_EQ(exitStatus(script + QStringList{"1>", "o2", "2>", "e2"}), 0);
    EXPECT_EQ(readAll(file("o2")), "out\n");
    EXPECT_EQ(readAll(file("e2")), "err\n");
    EXPECT_EQ(exitStatus(script + QStringList{"&>", "both"}), 0);
    EXPECT_EQ(readAll(file("both")), "out\nerr\n");
    // Single forms truncate, doubled forms append.
    EXPECT_EQ(exitStatus({"echo", "one", ">", "log"}), 0);
    EXPECT_EQ(exitStatus({"echo", "two", ">>", "log"}), 0);
    EXPECT_EQ(exitStatus(script + QStringList{"1>>", "log", "2>>", "log"}), 0);
    EXPECT_EQ(readAll(file("log")), "one\ntwo\nout\nerr\n");
    EXPECT_EQ(exitStatus(script + QStringList{"&>>", "log"}), 0);
    EXPECT_EQ(readAll(file("log")), "one\ntwo\nout\nerr\nout\nerr\n");
    EXPECT_EQ(exitStatus({"echo", "fresh", ">", "log"}), 0);
    EXPECT_EQ(readAll(file("log")), "fresh\n");
    // Everything from the first operator on is operator/file pairs, not arguments.
    EXPECT_EQ(exitStatus({"echo", "a", ">", "x", "b", "c", "2>", "y"}), 0);
    EXPECT_EQ(readAll(file("x")), "a\n");
    EXPECT_EQ(readAll(file("y")), "");
    EXPECT_FALSE(QFile::exists(file("b")));
    EXPECT_FALSE(QFile::exists(file("c")));
}

TEST_F(RunLoadCommand, UnredirectedOutputIsDiscarded)
{
    // Far more than a pipe buffer: nothing may block on output nobody reads.
    EXPECT_EQ(exitStatus({"sh", "-c", "head -c 3000000 /dev/zero; head -c 300000 /dev/zero >&2"}), 0);
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
}

TEST_F(RunLoadCommand, ABackgroundChildHoldingTheOutputIsNotWaitedFor)
{
    // Orphans come to this process, so that the child can be checked and reaped here.
    ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    EXPECT_EQ(exitStatus({"sh", "-c", "sleep 30 & echo $! > child.pid"}), 0);
    const pid_t child = readAll(file("child.pid")).trimmed().toInt();
    ASSERT_GT(child, 0);
    // Still running: the runner returned when the program ended.
    EXPECT_EQ(::waitpid(child, nullptr, WNOHANG), 0);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::prctl(PR_SET_CHILD_SUBREAPER, 0);
}

} // namespace
