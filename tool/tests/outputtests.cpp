// -f through the real binary: member bytes back to back on standard output,
// checked writes, streaming of large members, and SIGPIPE.
#include "package/packagearchive.h"
#include "tool/tests/testpackages.h"
#include "tool/tests/testsupport.h"

#include <QDateTime>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString latin1(const char *bytes)
{
    return QString::fromLatin1(bytes);
}

QByteArray binaryBytes(int length, unsigned seed)
{
    QByteArray bytes(length, '\0');
    for (int i = 0; i < length; ++i) {
        seed = seed * 1103515245u + 12345u;
        bytes[i] = static_cast<char>(seed >> 16);
    }
    return bytes;
}

class OutputCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        writeTestPackage(sandbox.filePath("p.lxPackage"),
                         {{latin1("a.h"), "first\n", 0644, 0},
                          {latin1("empty.h"), "", 0644, 0},
                          {latin1("blob.bin"), blob, 0644, 0},
                          {latin1("inc/b.h"), "second", 0644, 0},
                          {latin1("c.c"), "third", 0644, 0}});
    }

    const QByteArray blob = binaryBytes(70000, 7);
    ToolSandbox sandbox;
};

struct OutputCase {
    const char *label;
    QList<QByteArray> extraArguments;
    QByteArray expected;
};

class OutputWildcard : public OutputCommand, public ::testing::WithParamInterface<OutputCase> {};

TEST_P(OutputWildcard, WritesMatchingMembersBackToBack)
{
    QList<QByteArray> arguments = {"-f", "p.lxPackage"};
    arguments.append(GetParam().extraArguments);
    const ToolRun run = sandbox.run(arguments);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, QByteArray());
    EXPECT_EQ(run.out, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OutputWildcard,
    ::testing::Values(OutputCase{"TwoMembersNoSeparator", {"*.h"}, "first\nsecond"},
                      OutputCase{"OneMember", {"c.c"}, "third"},
                      OutputCase{"EmptyMemberWritesNothing", {"empty.h"}, ""},
                      OutputCase{"NoMatchIsNoError", {"*.cpp"}, ""},
                      OutputCase{"CaseSensitive", {"C.C"}, ""},
                      OutputCase{"FurtherArgumentsIgnored", {"c.c", "a.h"}, "third"}),
    [](const ::testing::TestParamInfo<OutputCase> &info) { return std::string(info.param.label); });

TEST_F(OutputCommand, BinaryMemberComesBackExactly)
{
    const ToolRun run = sandbox.run({"-f", "p.lxPackage", "*"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "first\n" + blob + "secondthird");
}

TEST_F(OutputCommand, WildcardIsRequired)
{
    const ToolRun run = sandbox.run({"-f", "p.lxPackage"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, QByteArray());
    EXPECT_EQ(run.err, "error: wildcard expected\n");
}

TEST_F(OutputCommand, FailingStandardOutputIsAnError)
{
    ToolRunOptions options;
    options.standardOutputPath = "/dev/full";
    // Both a member larger than the stdio buffer and a tiny one that only
    // fails at the final flush.
    for (const char *wildcard : {"blob.bin", "c.c"}) {
        const ToolRun run = sandbox.run({"-f", "p.lxPackage", wildcard}, options);
        EXPECT_EQ(run.status, 1) << wildcard;
        EXPECT_EQ(run.err, "error: cannot write to standard output\n") << wildcard;
    }
}

// A reader that stops early ends the writer through SIGPIPE, quietly.
TEST(OutputCommandPipe, ClosedReaderEndsTheProcessThroughSigpipe)
{
    ToolSandbox sandbox;
    writeTestPackage(sandbox.filePath("big.lxPackage"),
                     {{latin1("zeros"), QByteArray(8 << 20, '\0'), 0644, 0}});
    const QByteArray fifo = pathBytes(sandbox.filePath("fifo"));
    ASSERT_EQ(mkfifo(fifo.constData(), 0600), 0);
    // Opened without blocking before the writer starts, so its open succeeds.
    const int reader = open(fifo.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    ToolRunOptions options;
    options.standardOutputPath = fifo;
    options.workingDirectory = sandbox.path();
    RunningTool tool({"-f", "big.lxPackage", "zeros"}, options);
    // Wait for the first bytes, then hang up.
    char buffer[4096];
    ssize_t got = -1;
    for (int tries = 0; tries < 2000 && got <= 0; ++tries) {
        got = read(reader, buffer, sizeof buffer);
        if (got <= 0)
            usleep(5000);
    }
    close(reader);
    ASSERT_GT(got, 0);
    const ToolRun run = tool.wait();
    EXPECT_EQ(run.signal, SIGPIPE);
    EXPECT_EQ(run.err, QByteArray());
}

// A member is streamed by -f and -x: the process does not hold it in memory.
// The package is built from a disk file written in chunks, so the test itself
// never holds the member either (a forked child's peak counts the parent's
// pages until exec); each large run is compared with a run on a tiny member
// of the same package.
TEST(OutputCommandMemory, LargeMemberIsStreamed)
{
    ToolSandbox sandbox;
    const int chunks = 64;
    const QByteArray chunk(1 << 20, '\0');
    {
        const QByteArray zeros = pathBytes(sandbox.filePath("zeros"));
        FILE *file = std::fopen(zeros.constData(), "wb");
        ASSERT_NE(file, nullptr);
        for (int i = 0; i < chunks; ++i)
            ASSERT_EQ(std::fwrite(chunk.constData(), 1, chunk.size(), file), size_t(chunk.size()));
        ASSERT_EQ(std::fclose(file), 0);
        PackageArchive archive;
        archive.setVersion(2);
        archive.addFile(sandbox.filePath("zeros"), QStringLiteral("zeros"));
        archive.addData("t", QDateTime::fromSecsSinceEpoch(0, Qt::UTC), 0644, QStringLiteral("tiny"));
        archive.save(sandbox.filePath("big.lxPackage"));
    }
    const qint64 size = qint64(chunks) * chunk.size();
    const long slackKilobytes = 32 * 1024;

    ToolRunOptions options;
    options.standardOutputPath = pathBytes(sandbox.filePath("out.bin"));
    const ToolRun tiny = sandbox.run({"-f", "big.lxPackage", "tiny"}, options);
    ASSERT_EQ(tiny.status, 0) << tiny.err.constData();
    ASSERT_GT(tiny.maxResidentKilobytes, 0);
    const ToolRun run = sandbox.run({"-f", "big.lxPackage", "zeros"}, options);
    ASSERT_EQ(run.status, 0) << run.err.constData();
    struct stat info;
    ASSERT_EQ(stat(options.standardOutputPath.constData(), &info), 0);
    EXPECT_EQ(info.st_size, size);
    EXPECT_LT(run.maxResidentKilobytes, tiny.maxResidentKilobytes + slackKilobytes);

    const ToolRun extract = sandbox.run({"-x", "big.lxPackage", "out"});
    ASSERT_EQ(extract.status, 0) << extract.err.constData();
    ASSERT_EQ(stat(pathBytes(sandbox.filePath("out/zeros")).constData(), &info), 0);
    EXPECT_EQ(info.st_size, size);
    EXPECT_LT(extract.maxResidentKilobytes, tiny.maxResidentKilobytes + slackKilobytes);
}

} // namespace
