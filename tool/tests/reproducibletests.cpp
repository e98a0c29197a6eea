// Reproducible packages under SOURCE_DATE_EPOCH: how the driver reads the
// variable, the byte order of walks and wildcards, and the same bytes from
// two copies of a tree that differ in directory order and file times.
#include "tool/tests/testsupport.h"
#include "tool/toolenvironment.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>
#include <utime.h>

namespace {

constexpr long kTmpfsMagic = 0x01021994;
const QByteArray kEpoch = "1700000000";
const QByteArray kIgnored = "warning: SOURCE_DATE_EPOCH is not a number, ignored\n";

ToolRunOptions withEpoch(const QByteArray &value)
{
    ToolRunOptions options;
    options.environment = {{"SOURCE_DATE_EPOCH", value}};
    return options;
}

bool onTmpfs(const QByteArray &path)
{
    struct statfs info;
    return statfs(path.constData(), &info) == 0 && long(info.f_type) == kTmpfsMagic;
}

/// A fresh directory on a tmpfs, removed with what it holds: in /dev/shm,
/// or, as root, a tmpfs mounted for the test. Empty path when neither works.
class TmpfsDirectory {
public:
    TmpfsDirectory()
    {
        if (onTmpfs("/dev/shm") && makeTemporary("/dev/shm/duriv-tmpfs.XXXXXX"))
            return;
        if (geteuid() != 0 || !makeTemporary("/tmp/duriv-mount.XXXXXX"))
            return;
        if (mount("tmpfs", m_path.constData(), "tmpfs", 0, "size=16m") == 0) {
            m_mounted = true;
            return;
        }
        rmdir(m_path.constData());
        m_path.clear();
    }
    ~TmpfsDirectory()
    {
        if (m_path.isEmpty())
            return;
        removeTree(m_path);
        if (m_mounted) {
            umount(m_path.constData());
            rmdir(m_path.constData());
        }
    }
    TmpfsDirectory(const TmpfsDirectory &) = delete;
    TmpfsDirectory &operator=(const TmpfsDirectory &) = delete;

    const QByteArray &path() const { return m_path; }

private:
    bool makeTemporary(const QByteArray &pattern)
    {
        QByteArray buffer = pattern;
        if (!mkdtemp(buffer.data()))
            return false;
        m_path = buffer;
        return true;
    }

    QByteArray m_path;
    bool m_mounted = false;
};

// Names whose byte order differs from their order by letter, case or locale,
// a subdirectory whose name is a prefix of a file's, and a Latin-1 byte.
const QList<QByteArray> kTree = {
    "tree/sub/z.c",
    "tree/b.c",
    "tree/\xe9t\xe9.c",
    "tree/sub/deep/k.c",
    "tree/Zeta.h",
    "tree/sub-x.c",
    "tree/a.c",
    "tree/sub/A.c",
    "tree/_u.c",
    "tree/B.c",
};

/// Writes kTree below `root`, in `order` (kTree or reversed), the file at
/// index i of kTree dated `firstTime` + i * `step`.
void writeTree(const QByteArray &root, bool reversed, time_t firstTime, time_t step)
{
    for (int n = 0; n < kTree.size(); ++n) {
        const int i = reversed ? kTree.size() - 1 - n : n;
        const QByteArray path = root + '/' + kTree[i];
        for (int slash = path.indexOf('/', 1); slash != -1; slash = path.indexOf('/', slash + 1))
            mkdir(path.left(slash).constData(), 0755);
        FILE *file = fopen(path.constData(), "wb");
        ASSERT_NE(file, nullptr) << path.constData();
        fputs(kTree[i].constData(), file);
        fclose(file);
        chmod(path.constData(), 0644);
        const struct utimbuf times = {firstTime + i * step, firstTime + i * step};
        ASSERT_EQ(utime(path.constData(), &times), 0) << path.constData();
    }
}

struct ParseRow {
    const char *value; ///< nullptr: not set
    SourceDateEpoch::State state;
    quint32 seconds;
};

TEST(SourceDateEpochTest, NumbersOnlyAndCappedAtTheLatestStoredTime)
{
    using State = SourceDateEpoch::State;
    const ParseRow rows[] = {
        {nullptr, State::Unset, 0},
        {"", State::Unset, 0},
        {"0", State::Number, 0},
        {"1700000000", State::Number, 1700000000u},
        {"007", State::Number, 7},
        {"4294967295", State::Number, 4294967295u},
        {"4294967296", State::Number, 4294967295u},
        {"99999999999999999999999999", State::Number, 4294967295u},
        {"-1", State::NotANumber, 0},
        {"+5", State::NotANumber, 0},
        {" 5", State::NotANumber, 0},
        {"5 ", State::NotANumber, 0},
        {"1e9", State::NotANumber, 0},
        {"0x10", State::NotANumber, 0},
        {"1.5", State::NotANumber, 0},
        {"now", State::NotANumber, 0},
    };
    for (const ParseRow &row : rows) {
        SCOPED_TRACE(row.value ? row.value : "(not set)");
        const SourceDateEpoch epoch = parseSourceDateEpoch(row.value ? QByteArray(row.value) : QByteArray());
        EXPECT_EQ(epoch.state, row.state);
        if (row.state == State::Number) {
            EXPECT_EQ(epoch.seconds, row.seconds);
        }
    }
}

// A value that is no number is ignored with one warning: the package is
// as without the variable. Empty is as unset, without a warning.
TEST(SourceDateEpochTest, AnythingButANumberIsIgnoredWithOneWarning)
{
    ToolSandbox sandbox;
    sandbox.writeFile("f.c", "x", 0644, utcTime(2030, 1, 1));
    const struct {
        QByteArray value;
        QByteArray err;
    } cases[] = {
        {"", ""},
        {"yesterday", kIgnored},
        {"-1", kIgnored},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.value.constData());
        const ToolRun run = sandbox.run({"-c", "p.lxPackage", "f.c"}, withEpoch(c.value));
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, c.err);
        const StoredPackage stored = readPackage(sandbox.filePath("p.lxPackage"));
        EXPECT_EQ(stored.members.value(0).time, quint32(utcTime(2030, 1, 1)));
    }
}

// Every directory's entries in byte order, each subdirectory walked where it
// stands; wildcard matches in the same order.
TEST(SourceDateEpochTest, WalksAndWildcardsTakeEntriesInByteOrder)
{
    ToolSandbox sandbox;
    writeTree(pathBytes(sandbox.path()), false, 1800000000, 1);
    const ToolRun run = sandbox.run({"-c", "-v", "p.lxPackage", "tree", "tree/*.C"}, withEpoch(kEpoch));
    EXPECT_EQ(run.status, 0) << run.err.constData();
    const QList<QByteArray> walk = {
        "tree/B.c",
        "tree/Zeta.h",
        "tree/_u.c",
        "tree/a.c",
        "tree/b.c",
        "tree/sub/A.c",
        "tree/sub/deep/k.c",
        "tree/sub/z.c",
        "tree/sub-x.c",
        "tree/\xe9t\xe9.c",
    };
    const QList<QByteArray> wildcard = {
        "tree/B.c",
        "tree/_u.c",
        "tree/a.c",
        "tree/b.c",
        "tree/sub-x.c",
        "tree/\xe9t\xe9.c",
    };
    EXPECT_EQ(addedPaths(run.out), walk + wildcard);
    EXPECT_EQ(readPackage(sandbox.filePath("p.lxPackage")).names(), walk);
}

// Members that -r adds or refreshes get the time; members it keeps do not.
TEST(SourceDateEpochTest, ReplaceLimitsOnlyWhatItAdds)
{
    ToolSandbox sandbox;
    const quint32 late = quint32(utcTime(2040, 6, 1));
    writePackage(sandbox.filePath("p.lxPackage"),
                 {{"kept.c", "k", 0100644, late}, {"refreshed.c", "r", 0100644, late}});
    sandbox.writeFile("refreshed.c", "new", 0644, late);
    sandbox.writeFile("added.c", "a", 0644, late);
    const ToolRun run = sandbox.run({"-r", "p.lxPackage", "refreshed.c", "added.c"}, withEpoch(kEpoch));
    EXPECT_EQ(run.status, 0) << run.err.constData();
    QMap<QByteArray, quint32> times;
    for (const Member &member : readPackage(sandbox.filePath("p.lxPackage")).members)
        times.insert(member.name, member.time);
    EXPECT_EQ(times.value("kept.c"), late);
    EXPECT_EQ(times.value("refreshed.c"), kEpoch.toUInt());
    EXPECT_EQ(times.value("added.c"), kEpoch.toUInt());
}

// The same tree on disk and on a tmpfs, written in opposite orders (so the
// two list their directories differently) with different file times, all
// later than the variable: packed from inside each copy with the same
// arguments, the packages are the same bytes. Without the variable each
// package keeps its files' own times.
TEST(SourceDateEpochTest, SameTreeOnDiskAndOnTmpfsGivesTheSameBytes)
{
    ToolSandbox disk, output;
    const TmpfsDirectory tmpfs;
    if (tmpfs.path().isEmpty())
        GTEST_SKIP() << "no tmpfs: /dev/shm is not one and mounting one needs root";
    const QByteArray diskRoot = pathBytes(disk.path());
    writeTree(diskRoot, false, 1800000000, 1);
    writeTree(tmpfs.path(), true, 1900000000, 37);
    ASSERT_NE(readdirOrder(diskRoot + "/tree"), readdirOrder(tmpfs.path() + "/tree"));

    const auto pack = [&](const QByteArray &root, const QByteArray &package, const ToolRunOptions &options) {
        ToolRunOptions inside = options;
        inside.workingDirectory = pathFromBytes(root);
        const ToolRun run = disk.run({"-c", output.full(package), "tree", "tree/*.c"}, inside);
        EXPECT_EQ(run.status, 0) << run.err.constData();
        EXPECT_EQ(run.err, QByteArray());
        return output.readFile(pathFromBytes(package));
    };
    EXPECT_EQ(pack(diskRoot, "disk.lxPackage", withEpoch(kEpoch)),
              pack(tmpfs.path(), "tmpfs.lxPackage", withEpoch(kEpoch)));

    EXPECT_NE(pack(diskRoot, "disk.lxPackage", {}), pack(tmpfs.path(), "tmpfs.lxPackage", {}));
    for (const Member &member : readPackage(output.filePath("tmpfs.lxPackage")).members)
        EXPECT_EQ(time_t(member.time), fileTime(tmpfs.path() + '/' + member.name)) << member.name.constData();
}

} // namespace
