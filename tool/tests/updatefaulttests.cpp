// A full file system under the save: the write error, no ".part", the old
// package unchanged. A failure after the ".part" was made is also one of
// the save tests, for runs that cannot mount a file system.
#include "tool/tests/testsupport.h"

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

/// A 1 MiB tmpfs on a fresh directory, when the tests may mount one.
struct SmallFileSystem {
    explicit SmallFileSystem(const QByteArray &directory) : directory(directory)
    {
        mkdir(directory.constData(), 0755);
        mounted = geteuid() == 0 && mount("tmpfs", directory.constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                                          "size=1m,mode=0755") == 0;
    }
    ~SmallFileSystem()
    {
        if (mounted)
            umount2(directory.constData(), MNT_DETACH);
    }
    QByteArray directory;
    bool mounted = false;
};

TEST(UpdateWriteFaultTest, FullFileSystem)
{
    ToolSandbox sandbox;
    const QByteArray mountPoint = pathBytes(sandbox.filePath("small"));
    SmallFileSystem fileSystem(mountPoint);
    if (!fileSystem.mounted)
        GTEST_SKIP() << "cannot mount a tmpfs here (needs root and permission)";
    sandbox.writeFile("small/seed.c", "seed member");
    sandbox.writeFile("big.bin", incompressibleBytes(2 << 20, 7));
    sandbox.writeFile("little.bin", incompressibleBytes(3000, 8));
    ASSERT_EQ(sandbox.run({"-c", "small/pkg.lxPackage", "small/seed.c"}).status, 0);
    // Space runs out mid-stream, or none is left and the final flush fails;
    // where each codec fails, and with which message, is the archive's own
    // test; -c saves through the same step as -r.
    const std::pair<QList<QByteArray>, bool> cases[] = {
        {{"-r", "small/pkg.lxPackage", "big.bin"}, false},
        {{"-r", "small/pkg.lxPackage", "little.bin"}, true},
    };
    for (const auto &[arguments, fillFirst] : cases) {
        SCOPED_TRACE(arguments.join(' ').constData());
        if (fillFirst) { // until a write fails
            FILE *filler = fopen((mountPoint + "/filler").constData(), "wb");
            ASSERT_NE(filler, nullptr);
            const QByteArray chunk(4096, 'f');
            while (fwrite(chunk.constData(), 1, chunk.size(), filler) == size_t(chunk.size()) && fflush(filler) == 0) {
            }
            fclose(filler);
        }
        const auto before = directorySnapshot(mountPoint);
        const ToolRun result = sandbox.run(arguments);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, "error: error writing to compressed stream\n");
        EXPECT_EQ(directorySnapshot(mountPoint), before);
        unlink((mountPoint + "/filler").constData());
    }
    // With the space back the same update goes through.
    const ToolRun result = sandbox.run({"-r", "small/pkg.lxPackage", "little.bin"});
    EXPECT_EQ(result.status, 0) << result.err.constData();
    EXPECT_EQ(readPackage(sandbox.filePath("small/pkg.lxPackage")).names(),
              (QList<QByteArray>{"small/seed.c", "little.bin"}));
}

} // namespace
