// A save killed at any point leaves the old package or the complete new one;
// two updates of one package started together both land.
#include "tool/tests/testsupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kBigSize = 6 << 20;

ino_t inodeOf(const QByteArray &path)
{
    struct stat info;
    return stat(path.constData(), &info) == 0 ? info.st_ino : 0;
}
off_t sizeOf(const QByteArray &path)
{
    struct stat info;
    return lstat(path.constData(), &info) == 0 ? info.st_size : -1;
}

TEST(UpdateInterruptTest, KilledSaveLeavesOldOrNewPackage)
{
    ToolSandbox sandbox;
    sandbox.writeFile("seed.c", "seed");
    sandbox.writeFile("big.bin", incompressibleBytes(kBigSize, 11));
    ASSERT_EQ(sandbox.run({"-c", "-format", "2", "pkg.lxPackage", "seed.c"}).status, 0);
    const QByteArray package = sandbox.full("pkg.lxPackage");
    const QByteArray part = package + ".part";
    const QByteArray oldBytes = fileBytes(package);
    // The same update run to its end on a copy gives the new package's bytes.
    sandbox.writeFile("copy.lxPackage", oldBytes);
    ASSERT_EQ(sandbox.run({"-r", "copy.lxPackage", "big.bin"}).status, 0);
    const QByteArray newBytes = fileBytes(sandbox.full("copy.lxPackage"));
    ASSERT_NE(newBytes, oldBytes);
    // The size of the ".part" file at which to send the signal (-2: at once),
    // polled until reached, the package is replaced or a generous deadline
    // passes; only a kill at a third is sure to land before the rename.
    for (const off_t point : {off_t(-2), off_t(0), off_t(kBigSize / 3), off_t(2 * kBigSize / 3), off_t(kBigSize)}) {
        SCOPED_TRACE(point);
        sandbox.writeFile("pkg.lxPackage", oldBytes);
        const ino_t oldInode = inodeOf(package);
        RunningTool tool({"-r", "pkg.lxPackage", "big.bin"}, {sandbox.path(), {}, {}, {}});
        bool ready = false;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!(ready = sizeOf(part) >= point) && inodeOf(package) == oldInode &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        tool.kill(SIGKILL);
        const ToolRun run = tool.wait();
        const QByteArray bytes = fileBytes(package);
        EXPECT_TRUE(bytes == oldBytes || bytes == newBytes) << bytes.size() << " bytes on disk";
        if (point == kBigSize / 3 && ready) {
            EXPECT_EQ(run.signal, SIGKILL);
            EXPECT_EQ(bytes, oldBytes);
        }
        const ToolRun listed = sandbox.run({"-t", "pkg.lxPackage"});
        EXPECT_EQ(listed.status, 0) << listed.err.constData();
    }
    // The next update clears whatever a killed run left and completes.
    const ToolRun finished = sandbox.run({"-r", "pkg.lxPackage", "big.bin"});
    EXPECT_EQ(finished.status, 0) << finished.err.constData();
    EXPECT_EQ(fileBytes(package), newBytes);
    EXPECT_FALSE(pathExists(part));
}

// Two updates started together share the ".part" name; the directory lock
// makes the second wait and then work on the first one's result.
TEST(UpdateConcurrencyTest, ConcurrentReplacesBothLand)
{
    ToolSandbox sandbox;
    sandbox.writeFile("big.bin", incompressibleBytes(2 << 20, 5));
    ASSERT_EQ(sandbox.run({"-c", "pkg.lxPackage", "big.bin"}).status, 0);
    QList<QByteArray> expected{"big.bin"};
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        const QByteArray first = "first" + QByteArray::number(round) + ".txt";
        const QByteArray second = "second" + QByteArray::number(round) + ".txt";
        sandbox.writeFile(QString::fromLatin1(first), first);
        sandbox.writeFile(QString::fromLatin1(second), second);
        const ToolRunOptions here{sandbox.path(), {}, {}, {}};
        RunningTool one({"-r", "pkg.lxPackage", first}, here);
        RunningTool two({"-r", "pkg.lxPackage", second}, here);
        for (RunningTool *tool : {&one, &two}) {
            const ToolRun run = tool->wait();
            EXPECT_EQ(run.status, 0) << run.err.constData();
        }
        const StoredPackage stored = readPackage(sandbox.filePath("pkg.lxPackage"));
        const QList<QByteArray> names = stored.names();
        ASSERT_EQ(names.size(), expected.size() + 2) << names.join(' ').constData();
        EXPECT_EQ(names.mid(0, expected.size()), expected);
        EXPECT_TRUE(names.contains(first));
        EXPECT_TRUE(names.contains(second));
        for (const Member &member : stored.members)
            if (member.name != "big.bin") {
                EXPECT_EQ(member.data, member.name);
            }
        EXPECT_FALSE(sandbox.exists("pkg.lxPackage.part"));
        expected = names;
    }
}

} // namespace
