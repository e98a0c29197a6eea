// Write faults during the save: a really full file system (a small tmpfs,
// when the tests may mount one), and faults injected in-process through the
// archive's own stream factory and file hook. Each must report its message,
// leave no ".part" file and leave the old package byte for byte.
#include "tool/tests/testsupport.h"

#include "package/hexception.h"
#include "package/packagearchive.h"
#include "tool/savestep.h"

#include <QDateTime>

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
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
    ASSERT_EQ(sandbox.run({"-c", "-bzip2", "small/bz.lxPackage", "small/seed.c"}).status, 0);

    // Space runs out mid-stream (zlib, new, bzip2), or none is left and the final flush fails.
    const struct {
        QList<QByteArray> arguments;
        bool fillFirst;
    } cases[] = {
        {{"-r", "small/pkg.lxPackage", "big.bin"}, false},
        {{"-c", "small/new.lxPackage", "big.bin"}, false},
        {{"-r", "small/bz.lxPackage", "big.bin"}, false},
        {{"-r", "small/pkg.lxPackage", "little.bin"}, true},
        {{"-r", "-format", "2", "small/pkg.lxPackage", "little.bin"}, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').constData());
        if (c.fillFirst) { // until a write fails
            FILE *filler = fopen((mountPoint + "/filler").constData(), "wb");
            ASSERT_NE(filler, nullptr);
            const QByteArray chunk(4096, 'f');
            while (fwrite(chunk.constData(), 1, chunk.size(), filler) == size_t(chunk.size()) && fflush(filler) == 0) {
            }
            fclose(filler);
        }
        const auto before = directorySnapshot(mountPoint);
        const ToolRun result = sandbox.run(c.arguments);
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

/// Accepts `budget` bytes in all, then short writes; otherwise the real stream.
class ShortWriteStream : public PackageArchiveIOFileInterface {
public:
    ShortWriteStream(std::unique_ptr<PackageArchiveIOFileInterface> inner, int budget)
        : m_inner(std::move(inner)), m_budget(budget)
    {
    }
    int read(void *buffer, int length) override { return m_inner->read(buffer, length); }
    int write(const void *buffer, int length) override
    {
        const int accepted = qMin(length, m_budget);
        m_budget -= accepted;
        return accepted > 0 ? m_inner->write(buffer, accepted) : 0;
    }
    int seek(quint32 offset) override { return m_inner->seek(offset); }
    void close() override { m_inner->close(); }

private:
    std::unique_ptr<PackageArchiveIOFileInterface> m_inner;
    int m_budget;
};

class ShortWriteArchive : public PackageArchive {
public:
    int budget = 0;
    std::unique_ptr<PackageArchiveIOFileInterface> createOutputFile(int method, FILE *file,
                                                                     int level) override
    {
        return std::make_unique<ShortWriteStream>(PackageArchive::createOutputFile(method, file, level),
                                                  budget);
    }
};

/// Every write of the output file goes to /dev/full, as on a full disk.
class DiskFullArchive : public PackageArchive {
public:
    void openedForWriting(FILE *file) override
    {
        const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
        ASSERT_GE(full, 0);
        ASSERT_GE(dup2(full, fileno(file)), 0);
        close(full);
    }
};

class InjectedFaultTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        packagePath = sandbox.filePath("pkg.lxPackage");
        writePackage(packagePath, {{"old.c", "old", 0100644, 100}});
        oldBytes = fileBytes(pathBytes(packagePath));
    }

    /// Loads the package into `archive`, adds a member of `size` bytes and
    /// saves; returns the error message, empty when the save succeeded.
    QByteArray update(PackageArchive &archive, int size, const ToolOptions &options = {})
    {
        archive.load(packagePath);
        archive.addData(incompressibleBytes(size, 3), QDateTime::fromSecsSinceEpoch(200, Qt::UTC),
                        0100644, QStringLiteral("n.c"));
        try {
            savePackage(archive, packagePath, options);
        } catch (const HException &error) {
            return error.message();
        }
        return QByteArray();
    }

    void expectUntouched() const
    {
        EXPECT_EQ(fileBytes(pathBytes(packagePath)), oldBytes);
        EXPECT_FALSE(pathExists(pathBytes(packagePath + ".part")));
    }

    ToolSandbox sandbox;
    QString packagePath;
    QByteArray oldBytes;
};

// Short writes at each part of a version-2 body: body header, table record,
// name, member bytes.
TEST_F(InjectedFaultTest, ShortWriteAtEachStage)
{
    ToolOptions version2;
    version2.formatVersion = 2;
    const std::pair<int, QByteArray> cases[] = {
        {0, "cannot write header2"}, {19, "cannot write header2"}, {20, "cannot write table of contents"},
        {20 + 18, "cannot write table of contents filename"}, {20 + 18 + 5 + 18 + 3, "cannot write file"},
        {20 + 18 + 5 + 18 + 3 + 3 + 500, "cannot write file"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.first);
        ShortWriteArchive archive;
        archive.budget = c.first;
        EXPECT_EQ(update(archive, 1000, version2), c.second);
        expectUntouched();
    }
    ShortWriteArchive roomy;
    roomy.budget = 1 << 30;
    EXPECT_EQ(update(roomy, 1000, version2), QByteArray());
    EXPECT_EQ(readPackage(packagePath).names(), (QList<QByteArray>{"old.c", "n.c"}));
}

// The real streams on a file whose writes all fail: large output fails while
// streaming, small output only when the codec or the file is flushed at the end.
TEST_F(InjectedFaultTest, DiskFullThroughTheFileHook)
{
    const struct {
        int size;
        bool bzip2;
        QByteArray error;
    } cases[] = {
        {0, false, "error writing to compressed stream"}, {100, false, "error writing to compressed stream"},
        {1 << 20, false, "error writing to compressed stream"}, {0, true, "error compressing stream"},
        {100, true, "error compressing stream"}, {1 << 20, true, "error writing to compressed stream"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.size << (c.bzip2 ? " bzip2" : " zlib"));
        ToolOptions options;
        options.useBzip2 = c.bzip2;
        DiskFullArchive archive;
        EXPECT_EQ(update(archive, c.size, options), c.error);
        expectUntouched();
    }
}

} // namespace
