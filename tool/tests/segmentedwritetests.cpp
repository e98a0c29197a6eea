// Packages written by worker threads: DURIV_THREADS as the driver reads it,
// the same bytes whatever the number of threads, and a body that another
// zlib reader decodes whole.
#include "tool/tests/testsupport.h"
#include "tool/toolenvironment.h"

#include <gtest/gtest.h>

#include <QProcess>

namespace {

/// Compressible, varied text: numbered lines, different for each seed.
QByteArray textBytes(int size, int seed)
{
    QByteArray bytes;
    bytes.reserve(size + 64);
    for (int line = 0; bytes.size() < size; ++line)
        bytes += "source line " + QByteArray::number(line * 7 + seed) + " of unit " + QByteArray::number(seed) +
                 ": value = " + QByteArray::number((line * 2654435761u + quint32(seed)) % 100000) + ";\n";
    return bytes.left(size);
}

/// A tree over several segments: small files that share them and a large
/// one that is cut.
void writeTree(const ToolSandbox &sandbox)
{
    for (int i = 0; i < 6; ++i)
        sandbox.writeFile("tree/unit" + QString::number(i) + ".c", textBytes(400000 + i * 1000, i));
    sandbox.writeFile("tree/big.bin", textBytes(2600000, 99));
}

ToolRunOptions withThreads(const QByteArray &value)
{
    ToolRunOptions options;
    // Fixed times and byte order, so that runs can be compared byte for byte.
    options.environment = {{"DURIV_THREADS", value}, {"SOURCE_DATE_EPOCH", "1700000000"}};
    return options;
}

TEST(ThreadCountTest, ReadFromTheEnvironmentAsAPositiveNumber)
{
    const std::pair<QByteArray, int> cases[] = {
        {"", 0},
        {"1", 1},
        {"016", 16},
        {"99999999999999999999", 9999},
        {"0", 0},
        {"-2", 0},
        {"2 ", 0},
        {"two", 0},
    };
    for (const auto &[value, threads] : cases)
        EXPECT_EQ(parseThreadCount(value), threads) << value.constData();
}

TEST(SegmentedWriteTest, TheSameBytesWhateverTheNumberOfThreads)
{
    ToolSandbox sandbox;
    writeTree(sandbox);
    QByteArray first;
    for (const char *threads : {"1", "2", ""}) {
        SCOPED_TRACE(threads);
        const ToolRun run = sandbox.run({"-c", "p.lxPackage", "tree"}, withThreads(threads));
        ASSERT_EQ(run.status, 0) << run.err.constData();
        EXPECT_EQ(run.err, "");
        const QByteArray bytes = sandbox.readFile("p.lxPackage");
        if (first.isEmpty())
            first = bytes;
        EXPECT_EQ(bytes, first);
    }
    EXPECT_EQ(readPackage(sandbox.filePath("p.lxPackage")).members.size(), 7);
    // A value that is not a positive number (the table above) is ignored with a warning.
    const ToolRun run = sandbox.run({"-c", "q.lxPackage", "tree"}, withThreads("many"));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "warning: DURIV_THREADS is not a positive number, ignored\n");
    EXPECT_EQ(sandbox.readFile("q.lxPackage"), first);
}

TEST(SegmentedWriteTest, AnotherZlibReaderDecodesTheBodyWhole)
{
    ToolSandbox sandbox;
    writeTree(sandbox);
    ASSERT_EQ(sandbox.run({"-c", "p.lxPackage", "tree"}, withThreads("2")).status, 0);
    // Python's zlib module over the whole body after the 12-byte wrapper of a
    // new package: one stream, no trailing bytes.
    QProcess python;
    python.start("python3", {"-c", "import sys, zlib\n"
                                   "data = open(sys.argv[1], 'rb').read()[12:]\n"
                                   "d = zlib.decompressobj()\n"
                                   "body = d.decompress(data) + d.flush()\n"
                                   "assert d.eof and not d.unused_data\n"
                                   "sys.stdout.buffer.write(body)\n",
                             sandbox.filePath("p.lxPackage")});
    ASSERT_TRUE(python.waitForFinished(60000));
    ASSERT_EQ(python.exitCode(), 0) << python.readAllStandardError().constData();
    const QByteArray body = python.readAllStandardOutput();
    // The members' bytes close the body, in the package's order.
    QByteArray data;
    for (const Member &member : readPackage(sandbox.filePath("p.lxPackage")).members)
        data += member.data;
    EXPECT_EQ(data.size(), 6 * 400000 + 15000 + 2600000);
    EXPECT_TRUE(body.endsWith(data));
    EXPECT_EQ(body.left(8), QByteArray("\xc8\xc3\x52\x41\x07\0\0\0", 8)); // magic and member count
}

} // namespace
