// -f through the real binary: member bytes back to back, checked writes of
// every printing command, streaming of large members, and SIGPIPE.
#include "package/packagearchive.h"
#include "tool/tests/testsupport.h"

#include <QDateTime>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct OutputCommand : ::testing::Test {
    void SetUp() override
    {
        const QList<Member> members = {
            {"a.h", "first\n"},
            {"empty.h", ""},
            {"blob.bin", blob},
            {"inc/b.h", "second"},
            {"c.c", "third"},
        };
        writePackage(sandbox.filePath("p.lxPackage"), members);
    }
    const QByteArray blob = incompressibleBytes(70000, 7);
    ToolSandbox sandbox;
};

TEST_F(OutputCommand, WritesMatchingMembersBackToBack)
{
    // Matching is the listing's; here the bytes and their order count.
    const std::pair<QList<QByteArray>, QByteArray> cases[] = {
        {{"*.h"}, "first\nsecond"},
        {{"c.c", "a.h"}, "third"},
        {{"*.cpp"}, ""},
        {{"*"}, "first\n" + blob + "secondthird"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.first.join(' ').constData());
        const ToolRun run = sandbox.run(QList<QByteArray>{"-f", "p.lxPackage"} + c.first);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, QByteArray());
        EXPECT_EQ(run.out, c.second);
    }
    const ToolRun run = sandbox.run({"-f", "p.lxPackage"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, QByteArray());
    EXPECT_EQ(run.err, "error: wildcard expected\n");
}

// A member whose bytes run out writes none of them; those before it stay written.
TEST_F(OutputCommand, CutShortMemberWritesNothing)
{
    writePackage(sandbox.filePath("cut.lxPackage"), {{"a.h", "first\n"}, {"blob.bin", blob}});
    const QByteArray whole = sandbox.readFile("cut.lxPackage");
    sandbox.writeFile("cut.lxPackage", whole.left(whole.size() - 1000));
    const ToolRun run = sandbox.run({"-f", "cut.lxPackage", "*"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "first\n");
    EXPECT_EQ(run.err, "error: error reading stream\n");
}

// A member larger than the stdio buffer fails while writing, a tiny one only
// at the final flush; -t and -info check their output the same way.
TEST_F(OutputCommand, FailingStandardOutputIsAnError)
{
    ToolRunOptions options;
    options.standardOutputPath = "/dev/full";
    const QList<QByteArray> commands[] = {
        {"-f", "p.lxPackage", "blob.bin"},
        {"-f", "p.lxPackage", "c.c"},
        {"-t", "p.lxPackage"},
        {"-info", "p.lxPackage"},
    };
    for (const QList<QByteArray> &arguments : commands) {
        const ToolRun run = sandbox.run(arguments, options);
        EXPECT_EQ(run.status, 1) << arguments.join(' ').constData();
        EXPECT_EQ(run.err, "error: cannot write to standard output\n") << arguments.join(' ').constData();
    }
}

// A reader that stops early ends the writer through SIGPIPE, quietly.
TEST(OutputCommandPipe, ClosedReaderEndsTheProcessThroughSigpipe)
{
    ToolSandbox sandbox;
    writePackage(sandbox.filePath("big.lxPackage"), {{"zeros", QByteArray(8 << 20, '\0')}});
    const QByteArray fifo = sandbox.full("fifo");
    ASSERT_EQ(mkfifo(fifo.constData(), 0600), 0);
    // Opened without blocking before the writer starts, so its open succeeds.
    const int reader = open(fifo.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    RunningTool tool({"-f", "big.lxPackage", "zeros"}, {sandbox.path(), fifo, {}, {}});
    char buffer[4096];
    ssize_t got = -1;
    for (int tries = 0; tries < 2000 && got <= 0; ++tries)
        if ((got = read(reader, buffer, sizeof buffer)) <= 0)
            usleep(5000);
    close(reader);
    ASSERT_GT(got, 0);
    const ToolRun run = tool.wait();
    EXPECT_EQ(run.signal, SIGPIPE);
    EXPECT_EQ(run.err, QByteArray());
}

// -f and -x stream a member instead of holding it: a 64 MiB member costs no
// more memory than a tiny one. The package is built from a disk file so the
// test process (whose pages a forked child counts until exec) never holds it.
TEST(OutputCommandMemory, LargeMemberIsStreamed)
{
    ToolSandbox sandbox;
    const QByteArray chunk(1 << 20, '\0');
    FILE *file = std::fopen(sandbox.full("zeros").constData(), "wb");
    ASSERT_NE(file, nullptr);
    for (int i = 0; i < 64; ++i)
        std::fwrite(chunk.constData(), 1, chunk.size(), file);
    ASSERT_EQ(std::fclose(file), 0);
    {
        PackageArchive archive;
        archive.setVersion(2);
        archive.addFile(sandbox.filePath("zeros"), QStringLiteral("zeros"));
        archive.addData("t", QDateTime::fromSecsSinceEpoch(0, Qt::UTC), 0644, QStringLiteral("tiny"));
        archive.save(sandbox.filePath("big.lxPackage"));
    }
    ToolRunOptions options;
    options.standardOutputPath = sandbox.full("out.bin");
    const ToolRun tiny = sandbox.run({"-f", "big.lxPackage", "tiny"}, options);
    ASSERT_EQ(tiny.status, 0) << tiny.err.constData();
    ASSERT_GT(tiny.maxResidentKilobytes, 0);
    const ToolRun runs[] = {sandbox.run({"-f", "big.lxPackage", "zeros"}, options),
                            sandbox.run({"-x", "big.lxPackage", "out"})};
    for (const QByteArray &written : {options.standardOutputPath, sandbox.full("out/zeros")}) {
        struct stat info;
        ASSERT_EQ(stat(written.constData(), &info), 0) << written.constData();
        EXPECT_EQ(info.st_size, 64 << 20) << written.constData();
    }
    for (const ToolRun &run : runs) {
        EXPECT_EQ(run.status, 0) << run.err.constData();
        EXPECT_LT(run.maxResidentKilobytes, tiny.maxResidentKilobytes + 32 * 1024);
    }
}

} // namespace
