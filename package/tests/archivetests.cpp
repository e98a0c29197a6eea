// The archive in memory: member sources, lookup, wildcards, extraction,
// limits of the format, and write faults injected through the archive's
// own hook and factory.
#include "testsupport.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct stat statOf(const QString &path)
{
    struct stat st = {};
    EXPECT_EQ(::lstat(pathBytes(path).constData(), &st), 0) << path.toStdString();
    return st;
}

void setModeAndTime(const QString &path, mode_t mode, time_t seconds)
{
    struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(chmod(pathBytes(path).constData(), mode), 0);
    ASSERT_EQ(utimensat(AT_FDCWD, pathBytes(path).constData(), times, 0), 0);
}

/// A sparse file of `size` bytes (no disk space used).
bool makeSparse(const QString &path, qint64 size)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.resize(size);
}

std::string pathMessage(const char *text, const QString &path) { return text + pathBytes(path).toStdString(); }

using ArchiveTest = TempDirTest;

TEST_F(ArchiveTest, AddFileRecordsSizeModeAndTimeAndRefreshesInPlace)
{
    writeWholeFile(path("f"), "first");
    setModeAndTime(path("f"), 07754, 1500000000);
    PackageArchive archive;
    PackageArchiveFile *m = archive.addFile(path("f"), "name");
    EXPECT_EQ(describe(m), "name 5 100754 1500000000 disk"); // set-ID and sticky bits dropped
    archive.addData("bb", at(5), 0600, "b");
    writeWholeFile(path("f"), "later"); // read when asked, not when added
    EXPECT_EQ(archive.fileData(m), QByteArray("later"));
    writeWholeFile(path("f"), "aaaaaaaa");
    setModeAndTime(path("f"), 0644, 200);
    EXPECT_EQ(archive.addFile(path("f"), "name"), m);
    ASSERT_EQ(archive.files().size(), 2u);
    EXPECT_EQ(archive.files()[0].get(), m); // refreshed where it stood
    EXPECT_EQ(describe(m), "name 8 100644 200 disk");
    // A memory member becomes a disk member, and back.
    PackageArchiveFile *b = archive.addFile(path("f"), "b");
    EXPECT_EQ(describe(b), "b 8 100644 200 disk");
    EXPECT_EQ(archive.fileData(b), QByteArray("aaaaaaaa"));
    archive.addData("xyz", at(9), 0640, "b");
    EXPECT_EQ(describe(b), "b 3 640 9 memory");
    EXPECT_EQ(archive.fileData("b"), QByteArray("xyz"));
    EXPECT_EQ(archive.files().size(), 2u);
    EXPECT_EQ(thrownMessage([&] { archive.addFile(path("missing"), "x"); }),
              pathMessage("cannot read ", path("missing")));
    // A size changed since the file was added stops the save and the read.
    for (const QByteArray &now : {QByteArray("grown by some bytes"), QByteArray("short")}) {
        writeWholeFile(path("f"), now);
        EXPECT_EQ(thrownMessage([&] { archive.save(path("out.pkg")); }),
                  pathMessage("file changed while reading ", path("f")));
        EXPECT_EQ(thrownMessage([&] { archive.readFileData(m, [](const char *, int) {}); }),
                  pathMessage("file changed while reading ", path("f")));
    }
    QFile::remove(path("f"));
    EXPECT_EQ(thrownMessage([&] { archive.fileData("name"); }), "cannot read file name");
}

// The limit is applied to what is added or refreshed, compared before the
// time is cut to 32 bits; members read from the package keep their times.
TEST_F(ArchiveTest, LatestMemberTimeLimitsWhatIsAddedFromThenOn)
{
    const QByteArray body = QByteArray("\1\0\0\0", 4) + QByteArray(16, '\0') +
                            v2Record("old", 20 + 21, 1, 0644, 3000000000u) + "o";
    writeWholeFile(path("old.pkg"), v2Header(2) + zlibCompress(body, 6));
    PackageArchive archive(path("old.pkg"));
    archive.setLatestMemberTime(1000);
    const struct {
        const char *name;
        time_t time;
        quint32 stored;
    } cases[] = {
        {"later", 2000, 1000},
        {"equal", 1000, 1000},
        {"earlier", 999, 999},
        {"zero", 0, 0},
        {"before-1970", -5, quint32(-5)},
    };
    for (const auto &c : cases) {
        writeWholeFile(path(c.name), "x");
        setModeAndTime(path(c.name), 0644, c.time);
        EXPECT_EQ(archive.addFile(path(c.name), c.name)->time(), c.stored) << c.name;
    }
    EXPECT_EQ(archive.addData("d", at(5000), 0644, "data")->time(), 1000u);
    EXPECT_EQ(archive.find("old")->time(), 3000000000u);
    EXPECT_EQ(archive.addFile(path("later"), "old")->time(), 1000u);
    archive.clear();
    EXPECT_EQ(archive.latestMemberTime(), std::optional<quint32>(1000));
    archive.setLatestMemberTime(std::nullopt);
    EXPECT_EQ(archive.addFile(path("later"), "later")->time(), 2000u);
}

TEST_F(ArchiveTest, FindAndRemoveWithAndWithoutTheNameIndex)
{
    // Duplicates only arise from a loaded file; lay one out by hand.
    const QList<RawMember> members = {
        {"m", "m", 0, 0},
        {"dup", "1", 0, 0},
        {"b", "b", 0, 0},
        {"z", "z", 0, 0},
        {"a/b", "a/b", 0, 0},
        {"dup", "2", 0, 1},
        {"B", "B", 0, 0},
    };
    writeWholeFile(path("idx.pkg"), v2Header(2) + zlibCompress(v2Body(members, 7), 6));
    for (int indexed : {0, 1}) {
        SCOPED_TRACE(indexed);
        PackageArchive archive;
        archive.load(path("idx.pkg"), 0, indexed);
        for (const char *name : {"m", "b", "z", "a/b", "B"})
            EXPECT_EQ(archive.fileData(QLatin1String(name)), QByteArray(name)) << name;
        EXPECT_EQ(archive.find("A/b"), nullptr);
        EXPECT_EQ(archive.find("c"), nullptr);
        EXPECT_FALSE(archive.remove("absent"));
        EXPECT_FALSE(archive.remove("DUP"));
        archive.addData("new", at(1), 0644, "c");
        EXPECT_EQ(archive.fileData("c"), QByteArray("new"));
        EXPECT_TRUE(archive.remove("b"));
        EXPECT_EQ(archive.find("b"), nullptr);
        EXPECT_NE(archive.find("B"), nullptr);
        // The index sorts an equal name loaded later first; remove takes the first in list order either way.
        EXPECT_EQ(archive.find("dup")->time(), quint32(indexed));
        EXPECT_TRUE(archive.remove("dup"));
        EXPECT_EQ(archive.fileData("dup"), QByteArray("2"));
        EXPECT_TRUE(archive.remove("dup"));
        EXPECT_EQ(archive.find("dup"), nullptr);
        EXPECT_EQ(archive.files().size(), 5u);
    }
}

// Three members of one name among others, told apart by their times.
void loadDuplicates(PackageArchive &archive, const QString &file)
{
    const QList<RawMember> members = {
        {"dup", "1", 0, 10},
        {"other", "o", 0, 0},
        {"dup", "2", 0, 20},
        {"dup", "3", 0, 30},
        {"last", "l", 0, 0},
    };
    writeWholeFile(file, v2Header(2) + zlibCompress(v2Body(members, 5), 6));
    archive.load(file);
}

// Without the sorted index, a refresh goes to the first member of its name
// in list order, in its place, also after remove() took the ones before it.
TEST_F(ArchiveTest, ARefreshGoesToTheFirstMemberOfItsName)
{
    PackageArchive archive;
    loadDuplicates(archive, path("dups.pkg"));
    ASSERT_TRUE(archive.remove("dup"));
    archive.addData("new", at(40), 0644, "dup");
    EXPECT_EQ(archive.files().at(1)->time(), 40u);
    EXPECT_EQ(archive.files().size(), 4u);
}

// Several names at once remove what the same names one by one would.
TEST_F(ArchiveTest, RemoveEachIsRemoveForEveryNameInOrder)
{
    PackageArchive archive;
    loadDuplicates(archive, path("dups.pkg"));
    const std::vector<bool> removed = archive.removeEach({"dup", "absent", "other", "dup", "other"});
    EXPECT_EQ(removed, (std::vector<bool>{true, false, true, true, false}));
    ASSERT_EQ(archive.files().size(), 2u);
    EXPECT_EQ(archive.files().front()->time(), 30u);
    EXPECT_EQ(archive.find("dup")->time(), 30u);
    EXPECT_EQ(archive.fileData("last"), QByteArray("l"));
}

TEST_F(ArchiveTest, ByteNamesPassThroughWhateverTheLocaleCodec)
{
    // Paths are one byte per character both ways, not the locale's encoding:
    // under a UTF-8 locale codec a Latin-1 name still reaches the system as is.
    const ScopedLocaleCodec utf8("UTF-8");
    const QByteArray names[] = {"caf\xe9", "caf\xc3\xa9.txt"}; // not UTF-8, and UTF-8 kept as bytes
    const QByteArray directory = pathBytes(path(""));
    PackageArchive archive;
    for (const QByteArray &name : names) {
        FILE *file = fopen((directory + name).constData(), "wb");
        ASSERT_NE(file, nullptr) << name.constData();
        fputs(name.constData(), file);
        fclose(file);
        archive.addFile(pathFromBytes(directory + name), pathFromBytes(name));
    }
    archive.save(path("names.pkg"));
    PackageArchive loaded(path("names.pkg"));
    loaded.extractAll(path("out"), false);
    for (const QByteArray &name : names) {
        EXPECT_EQ(loaded.fileData(pathFromBytes(name)), name);
        // Removed by bytes: the temporary directory's own cleanup would decode them.
        EXPECT_EQ(::unlink((directory + "out/" + name).constData()), 0) << name.constData();
        EXPECT_EQ(::unlink((directory + name).constData()), 0) << name.constData();
    }
}

TEST_F(ArchiveTest, WildcardsMatchWholeNamesCaseSensitively)
{
    PackageArchive archive;
    for (const char *name : {"a.c", "src/a.c", "src/b.h", "A.C", "doc/cpu_package.xml", "x_package.xml", "[x]"})
        archive.addData(name, at(1), 0644, QLatin1String(name));
    const std::pair<const char *, QStringList> cases[] = {
        {"*.c", {"a.c", "src/a.c"}},
        {"*.C", {"A.C"}},
        {"src/*", {"src/a.c", "src/b.h"}},
        {"src", {}},
        {"?.c", {"a.c"}},
        {"*/*", {"src/a.c", "src/b.h", "doc/cpu_package.xml"}},
        {"*_package.xml", {"doc/cpu_package.xml", "x_package.xml"}},
    };
    for (const auto &[pattern, expected] : cases) {
        QStringList got;
        for (PackageArchiveFile *m : archive.match(QLatin1String(pattern)))
            got << m->name();
        EXPECT_EQ(got, expected) << pattern;
        PackageArchiveFile *first = archive.findFirst(QLatin1String(pattern));
        EXPECT_EQ(first ? first->name() : QString(), expected.value(0)) << pattern;
    }
    EXPECT_EQ(archive.findPackageDescription()->name(), QStringLiteral("doc/cpu_package.xml"));
    EXPECT_NE(archive.find("[x]"), nullptr); // find takes no pattern
}

TEST_F(ArchiveTest, ParentComponents)
{
    const std::pair<const char *, bool> cases[] = {
        {"a/b", false},
        {"..", true},
        {"../x", true},
        {"a/../b", true},
        {"a/..", true},
        {"x//..//..//evil", true},
        {"..a/b..", false},
        {"a/.../b", false},
        {"./a", false},
    };
    for (const auto &[name, outside] : cases)
        EXPECT_EQ(PackageArchive::hasParentComponent(QLatin1String(name)), outside) << name;
}

TEST_F(ArchiveTest, BodyOrderSortsArchiveMembersByOffset)
{
    const quint32 data = 20 + 3 * 19;
    const QByteArray body = QByteArray("\3\0\0\0", 4) + QByteArray(16, '\0') +
                            v2Record("x", data + 2, 1, 0644, 0) +
                            v2Record("y", data + 1, 1, 0644, 0) +
                            v2Record("z", data, 1, 0644, 0) + "ZYX";
    writeWholeFile(path("rev.pkg"), v2Header(2) + zlibCompress(body, 6));
    PackageArchive archive(path("rev.pkg"));
    archive.addData("m", at(1), 0644, "memory");
    QStringList order;
    for (PackageArchiveFile *m : archive.filesInBodyOrder())
        order << m->name() + QLatin1Char('=') + QString::fromLatin1(archive.fileData(m));
    EXPECT_EQ(order, QStringList({"z=Z", "y=Y", "x=X", "memory=m"}));
}

TEST_F(ArchiveTest, Extraction)
{
    PackageArchive archive;
    archive.addData("read only", at(1234567890), RegularFile | 0444, "ro.txt")->mark();
    archive.addData("#!/bin/sh\n", at(1000), RegularFile | 04755, "deep/er/tool.sh");
    archive.addData(QByteArray(), at(86400), RegularFile | 0640, "empty");
    archive.addData("inside", at(5), RegularFile | 0600, "/abs/x"); // joined under the directory
    archive.addData("unmarked", at(1), 0644, "b")->mark();
    archive.find("b")->mark(false);
    archive.extractMarked(path("marked"), false);
    EXPECT_EQ(QDir(path("marked")).entryList(QDir::Files), QStringList{"ro.txt"});
    const mode_t oldMask = umask(0077); // the mode set afterwards does not depend on it
    archive.extractAll(path("out"), false);
    umask(oldMask);
    const std::tuple<const char *, const char *, mode_t, time_t> extracted[] = {
        {"ro.txt", "read only", 0444, 1234567890},
        {"deep/er/tool.sh", "#!/bin/sh\n", 0755, 1000}, // set-user-ID dropped
        {"empty", "", 0640, 86400},
        {"abs/x", "inside", 0600, 5},
    };
    for (const auto &[name, data, mode, time] : extracted) {
        const QString file = path("out/") + QLatin1String(name);
        struct stat st = statOf(file);
        EXPECT_EQ(st.st_mode, S_IFREG | mode) << name;
        EXPECT_EQ(st.st_mtime, time) << name;
        EXPECT_EQ(st.st_atime, time) << name;
        EXPECT_EQ(readWholeFile(file), QByteArray(data)) << name;
    }
    // Overwriting an existing file; a link there is replaced, never written through.
    PackageArchiveFile *m = archive.addData("new", at(10), RegularFile | 0644, "f");
    writeWholeFile(path("out/f"), "old contents");
    chmod(pathBytes(path("out/f")).constData(), 0444);
    EXPECT_EQ(thrownMessage([&] { archive.extractFileTo(m, path("out"), false); }),
              pathMessage("cannot overwrite file ", path("out/f")));
    EXPECT_EQ(readWholeFile(path("out/f")), QByteArray("old contents"));
    archive.extractFileTo(m, path("out"), true);
    EXPECT_EQ(readWholeFile(path("out/f")), QByteArray("new"));
    EXPECT_EQ(statOf(path("out/f")).st_mode & 07777, 0644u);
    ASSERT_EQ(symlink("target", pathBytes(path("out/link")).constData()), 0);
    PackageArchiveFile *link = archive.addData("x", at(1), 0644, "link");
    EXPECT_EQ(thrownMessage([&] { archive.extractFileTo(link, path("out"), false); }),
              pathMessage("cannot overwrite file ", path("out/link")));
    archive.extractFileTo(link, path("out"), true);
    EXPECT_TRUE(S_ISREG(statOf(path("out/link")).st_mode));
    EXPECT_FALSE(QFile::exists(path("out/target")));
    // A parent that is a file cannot hold the output.
    PackageArchiveFile *under = archive.addData("x", at(1), 0644, "f/under");
    EXPECT_EQ(thrownMessage([&] { archive.extractFileTo(under, path("out"), false); }),
              pathMessage("cannot create output file ", path("out/f/under")));
    archive.extractFileTo(nullptr, path("out"), false); // nothing happens
}

TEST_F(ArchiveTest, WhatTheFormatCannotHoldIsRefused)
{
    if (!makeSparse(path("4g"), 0x100000000LL) || !makeSparse(path("3g"), 0xC0000000LL))
        GTEST_SKIP() << "no sparse files here";
    PackageArchive archive;
    EXPECT_EQ(thrownMessage([&] { archive.addFile(path("4g"), "4g"); }), pathMessage("file too large ", path("4g")));
    EXPECT_TRUE(archive.files().empty());
    ASSERT_TRUE(makeSparse(path("4g"), 0xFFFFFFFFLL));
    EXPECT_EQ(archive.addFile(path("4g"), "4g")->size(), 0xFFFFFFFFu);
    archive.remove("4g");
    archive.addFile(path("3g"), "one");
    archive.addFile(path("3g"), "two");
    for (int version : {1, 2}) {
        archive.setVersion(version);
        EXPECT_EQ(thrownMessage([&] { archive.save(path("big.pkg")); }), "package too large");
        EXPECT_FALSE(QFile::exists(path("big.pkg"))); // refused before the file is made
    }
}

/// A zlib stream that accepts `budget` bytes, then writes short.
struct ShortStream : PackageArchiveCompressedGzOutputFile {
    int budget;
    ShortStream(FILE *file, int level, int b) : PackageArchiveCompressedGzOutputFile(file, level), budget(b) {}
    int writeBlock(const void *buffer, int length) override
    {
        const int n = std::min(length, budget);
        budget -= n;
        return n > 0 ? PackageArchiveCompressedGzOutputFile::writeBlock(buffer, n) : 0;
    }
};

/// Write faults: a full disk under every write of the file (through the hook),
/// or, with a budget, a short zlib stream (through the factory).
struct FaultyArchive : PackageArchive {
    bool fullDisk = false;
    bool unbuffered = false;
    int budget = -1;
    void openedForWriting(FILE *file) override
    {
        if (unbuffered)
            setvbuf(file, nullptr, _IONBF, 0);
        if (!fullDisk)
            return;
        int full = ::open("/dev/full", O_WRONLY);
        ASSERT_GE(full, 0);
        dup2(full, fileno(file));
        ::close(full);
    }
    std::unique_ptr<PackageArchiveIOFileInterface> createOutputFile(int method, FILE *file, int level) override
    {
        if (budget < 0)
            return PackageArchive::createOutputFile(method, file, level);
        return std::make_unique<ShortStream>(file, level, budget);
    }
};

TEST_F(ArchiveTest, EveryFailingWriteOfTheSaveHasItsMessage)
{
    struct Case {
        int version;
        int budget;
        const char *message;
    } shortWrites[] = {
        {2, 19, "cannot write header2"},
        {2, 20 + 17, "cannot write table of contents"},
        {2, 20 + 18 + 3, "cannot write table of contents filename"},
        {2, 20 + 18 + 6 + 99, "cannot write file"},
        {1, 7, "cannot write header2"},
        {1, 8 + 1039, "cannot write table of contents"},
        {1, 8 + 1040 + 99, "cannot write file"},
    };
    for (const Case &c : shortWrites) {
        SCOPED_TRACE(c.message);
        FaultyArchive archive;
        archive.budget = c.budget;
        archive.setVersion(c.version);
        archive.addData(QByteArray(100, 'd'), at(1), 0644, "member");
        EXPECT_EQ(thrownMessage([&] { archive.save(path("short.pkg")); }), c.message);
        // What was accepted was still finished as a complete zlib stream.
        EXPECT_EQ(zlibDecompress(readWholeFile(path("short.pkg")).mid(c.version == 2 ? 8 : 12)).size(), c.budget);
    }
    if (::access("/dev/full", W_OK) != 0)
        GTEST_SKIP() << "no /dev/full";
    struct Full {
        int version;
        int method;
        bool unbuffered;
        QByteArray data;
        const char *message;
    } fullDisk[] = {
        {2, 0, true, "x", "cannot write header"},
        {1, 0, true, "x", "cannot write header"},
        {2, 0, false, "small", "error writing to compressed stream"}, // at close, when the buffer is flushed
        {2, 1, false, "small", "error compressing stream"},           // bzip2 writes only when it closes
        {2, 1, false, realData(2000000), "error writing to compressed stream"},
    };
    for (const Full &c : fullDisk) {
        SCOPED_TRACE(testing::Message() << c.version << "/" << c.method << " " << c.message);
        FaultyArchive archive;
        archive.fullDisk = true;
        archive.unbuffered = c.unbuffered;
        archive.setVersion(c.version);
        archive.setCompression(c.method);
        archive.addData(c.data, at(1), 0644, "member");
        PackageSaveOptions options;
        options.sync = true;
        EXPECT_EQ(thrownMessage([&] { archive.save(path("full.pkg"), 6, options); }), c.message);
    }
}

} // namespace
