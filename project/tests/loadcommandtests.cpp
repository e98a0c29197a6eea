// The shell-like split of load commands and running them with redirections.
#include "project/loadcommand.h"

#include "testsupport.h"

#include <QDir>
#include <QFile>

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

TEST(SplitCommandLine, QuotingRules)
{
    const struct { const char *line; QStringList words; } cases[] = {
        {"", {}}, {"   \t ", {}}, {"echo a  b", {"echo", "a", "b"}}, {"  lead trail  ", {"lead", "trail"}},
        {"'a b' c", {"a b", "c"}}, {"'it''s'", {"its"}}, {"'back\\slash \"dq\"'", {"back\\slash \"dq\""}},
        {"\"a b\"", {"a b"}}, {"\"say \\\"hi\\\"\"", {"say \"hi\""}}, {"\"c:\\\\dir\"", {"c:\\dir"}},
        {"\"keep \\n and \\$\"", {"keep \\n and \\$"}}, {"a\\ b", {"a b"}}, {"\\'q", {"'q"}},
        {"x\"y z\"'w'", {"xy zw"}}, {"''", {""}}, {"a \"\" b", {"a", "", "b"}},
        {"$(HOME) *.c", {"$(HOME)", "*.c"}}, {"> out.txt", {">", "out.txt"}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(splitCommandLine(QString::fromUtf8(c.line)), c.words) << c.line;
}

class RunLoadCommand : public ::testing::Test {
protected:
    int run(const QStringList &words) { return runLoadCommand(words, dir.path()); }
    QString file(const char *name) const { return dir.path() + QLatin1Char('/') + QLatin1String(name); }
    QTemporaryDir dir;
};

TEST_F(RunLoadCommand, ExitStatusSignalAndNotFound)
{
    EXPECT_EQ(run({"true"}), 0);
    EXPECT_EQ(run({"false"}), 1);
    EXPECT_EQ(run({"sh", "-c", "exit 42"}), 42);
    EXPECT_EQ(run({"sh", "-c", "kill -9 $$"}), 128 + 9);
    EXPECT_EQ(run({"duriv-no-such-program-here"}), -1);
    EXPECT_EQ(run({"/nonexistent/dir/prog"}), -1);
    EXPECT_EQ(run({}), -1);
}

TEST_F(RunLoadCommand, RedirectionOperators)
{
    // Redirections are relative to the working directory the command runs in.
    QDir(dir.path()).mkdir(QStringLiteral("sub"));
    const QString sub = dir.path() + QStringLiteral("/sub");
    EXPECT_EQ(runLoadCommand({"pwd", ">", "where.txt"}, sub), 0);
    EXPECT_EQ(readAll(sub + QStringLiteral("/where.txt")), QFile::encodeName(sub) + "\n");
    EXPECT_EQ(run({"true", ">", "no/such/dir/file"}), -1);
    const QStringList script = {"sh", "-c", "echo out; echo err >&2"};
    EXPECT_EQ(run(script + QStringList{">", "o1"}), 0);
    EXPECT_EQ(readAll(file("o1")), "out\n");
    EXPECT_EQ(run(script + QStringList{"1>", "o2", "2>", "e2"}), 0);
    EXPECT_EQ(readAll(file("o2")), "out\n");
    EXPECT_EQ(readAll(file("e2")), "err\n");
    EXPECT_EQ(run(script + QStringList{"&>", "both"}), 0);
    EXPECT_EQ(readAll(file("both")), "out\nerr\n");
    // Single forms truncate, doubled forms append.
    EXPECT_EQ(run({"echo", "one", ">", "log"}), 0);
    EXPECT_EQ(run({"echo", "two", ">>", "log"}), 0);
    EXPECT_EQ(run(script + QStringList{"1>>", "log", "2>>", "log"}), 0);
    EXPECT_EQ(readAll(file("log")), "one\ntwo\nout\nerr\n");
    EXPECT_EQ(run(script + QStringList{"&>>", "log"}), 0);
    EXPECT_EQ(readAll(file("log")), "one\ntwo\nout\nerr\nout\nerr\n");
    EXPECT_EQ(run({"echo", "fresh", ">", "log"}), 0);
    EXPECT_EQ(readAll(file("log")), "fresh\n");
    // Everything from the first operator on is operator/file pairs, not arguments.
    EXPECT_EQ(run({"echo", "a", ">", "x", "b", "c", "2>", "y"}), 0);
    EXPECT_EQ(readAll(file("x")), "a\n");
    EXPECT_EQ(readAll(file("y")), "");
    EXPECT_FALSE(QFile::exists(file("b")));
    EXPECT_FALSE(QFile::exists(file("c")));
}

TEST_F(RunLoadCommand, UnredirectedOutputIsDrainedAndDiscarded)
{
    // Far more than a pipe buffer: the runner must read while the program writes.
    EXPECT_EQ(run({"sh", "-c", "head -c 3000000 /dev/zero; head -c 300000 /dev/zero >&2"}), 0);
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
}

} // namespace
