// The save step of -c, -r and -d through the real binary: header bytes,
// -readonly, -d, and failures that leave the directory exactly as it was.
#include "tool/tests/testsupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray kPackage = "pkg.lxPackage";
const QByteArray kPart = "pkg.lxPackage.part";
const QByteArray kSaving = "Saving pkg.lxPackage.part\n";
const QByteArray kVersion1Magic("\x7a\xf4\x31\xb2\x01\x00\x00\x00", 8);
const QByteArray kVersion2Zlib("\xb1\xc6\xf5\x71\x02\x00\x00\x00", 8);
const QByteArray kVersion2Bzip2("\xb1\xc6\xf5\x71\x02\x10\x00\x00", 8);

struct SaveTest : ::testing::Test {
    QByteArray full(const QByteArray &relative) const { return sandbox.full(relative); }
    QString package() const { return sandbox.filePath(QString::fromLatin1(kPackage)); }
    QByteArray packageBytes() const { return fileBytes(full(kPackage)); }
    void file(const QByteArray &relative, const QByteArray &bytes = "x", mode_t mode = 0644)
    {
        sandbox.writeFile(QString::fromLatin1(relative), bytes, mode, utcTime(2021, 3, 4, 5, 6, 7));
    }
    ToolRun run(const QList<QByteArray> &arguments) const { return sandbox.run(arguments); }
    /// Runs a command that must fail and change nothing on disk.
    ToolRun expectFailureChangesNothing(const QList<QByteArray> &arguments, const QByteArray &error = "")
    {
        const auto before = directorySnapshot(pathBytes(sandbox.path()));
        const ToolRun result = run(arguments);
        EXPECT_EQ(result.status, 1);
        if (!error.isEmpty()) {
            EXPECT_EQ(result.err, error);
        }
        EXPECT_EQ(directorySnapshot(pathBytes(sandbox.path())), before);
        return result;
    }
    ToolSandbox sandbox;
};

// With only the package name an empty package is written; over an old file
// the old one is never read (here it is not even a package).
TEST_F(SaveTest, CreateWritesEmptyPackageAndIgnoresOldFile)
{
    file(kPackage, "not a package at all");
    const ToolRun result = run({"-c", kPackage});
    EXPECT_EQ(result.status, 0) << result.err.constData();
    EXPECT_EQ(readPackage(package()).members.size(), 0);
}

// -format and -bzip2 on a new package, seen in the first bytes; -v
// prints "Adding", then "Setting" only when asked, then "Saving" with the
// temporary name.
TEST_F(SaveTest, FormatAndCompressionOfNewPackage)
{
    file("a.c", "some member bytes");
    const QByteArray unsupported = "error: unsupported package file version\n";
    const struct {
        QList<QByteArray> options;
        QByteArray settingLine; ///< empty: no "Setting" line
        QByteArray header;      ///< empty: the save fails
    } cases[] = {
        {{}, "", kVersion1Magic},
        {{"-bzip2"}, "2", kVersion2Bzip2},
        {{"-format", "1"}, "1", kVersion1Magic},
        {{"-format", "2"}, "2", kVersion2Zlib},
        {{"-format", "1", "-bzip2"}, "2", kVersion2Bzip2},
        {{"-bzip2", "-format", "0"}, "2", kVersion2Bzip2},
        {{"-format", "two"}, "0", ""},
        {{"-format", "-1"}, "", kVersion1Magic}, // -1 is no -format at all
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.options.join(' ').constData());
        unlink(full(kPackage).constData());
        const ToolRun result = run(QList<QByteArray>{"-c", "-v"} + c.options + QList<QByteArray>{kPackage, "a.c"});
        const QByteArray setting = "Setting file format to version " + c.settingLine + '\n';
        EXPECT_EQ(result.out, "Adding a.c\n" + (c.settingLine.isEmpty() ? "" : setting) + kSaving);
        EXPECT_FALSE(pathExists(full(kPart)));
        EXPECT_EQ(result.status, c.header.isEmpty() ? 1 : 0);
        EXPECT_EQ(result.err, c.header.isEmpty() ? unsupported : QByteArray());
        EXPECT_EQ(pathExists(full(kPackage)), !c.header.isEmpty());
        if (c.header.isEmpty())
            continue;
        EXPECT_EQ(packageBytes().left(8), c.header);
    }
}

// A loaded package keeps its form unless asked; -d without names rewrites
// it; without -v nothing is printed.
TEST_F(SaveTest, FormatOfUpdatedPackage)
{
    file("new.c", "new");
    const struct {
        int version, compression;
        QList<QByteArray> arguments;
        QByteArray header;
    } cases[] = {
        {2, 1, {"-r", kPackage, "new.c"}, kVersion2Bzip2},
        {1, 0, {"-r", kPackage, "new.c"}, kVersion1Magic},
        {1, 0, {"-d", "-bzip2", kPackage}, kVersion2Bzip2},
        {2, 1, {"-r", "-format", "1", kPackage, "new.c"}, kVersion1Magic}, // drops bzip2
        {2, 1, {"-r", "-format", "2", kPackage, "new.c"}, kVersion2Bzip2},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.version << "/" << c.compression << " " << c.arguments.join(' ').constData());
        writePackage(package(), {{"old.c", "old", 0100644, 1000}}, c.version, c.compression);
        const ToolRun result = run(c.arguments);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.out + result.err, QByteArray());
        EXPECT_EQ(packageBytes().left(8), c.header);
        const StoredPackage stored = readPackage(package());
        ASSERT_EQ(stored.members.size(), c.arguments.contains("new.c") ? 2 : 1);
        EXPECT_EQ(stored.members[0].name, QByteArray("old.c"));
    }
}

// The level reaches the codec: zlib records it in its header's level bits,
// bzip2 in its block-size digit; the legacy wrapper is 12 bytes. Without
// -compress the archive's default applies; the last -compress wins. How the
// archive clamps levels is its own test.
TEST_F(SaveTest, CompressionLevelReachesTheStream)
{
    file("a.c", QByteArray(5000, 'a'));
    const std::pair<QList<QByteArray>, QByteArray> cases[] = {
        {{"-compress", "0", "-compress", "6"}, "\x78\x9c"},
        {{"-format", "2", "-compress", "0"}, "\x78\x01"},
        {{"-bzip2"}, "BZh7"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.first.join(' ').constData());
        const ToolRun result = run(c.first + QList<QByteArray>{"-c", kPackage, "a.c"});
        EXPECT_EQ(result.status, 0) << result.err.constData();
        const int body = packageBytes().startsWith(kVersion1Magic) ? 12 : 8;
        EXPECT_EQ(packageBytes().mid(body, c.second.size()), c.second);
    }
}

// -readonly clears the write bits and nothing else, also on a member that
// -r refreshes; without it the mode is stored as it is on disk.
TEST_F(SaveTest, ReadOnlyClearsWriteBits)
{
    const QList<quint32> plain = {0100644, 0100755, 0100640};
    const QList<quint32> readOnly = {0100444, 0100555, 0100440};
    QList<QByteArray> names;
    for (quint32 mode : plain) {
        names.append("f" + QByteArray::number(mode & 0777, 8));
        file(names.last(), "bytes", mode & 0777);
    }
    const auto storedModes = [&]() {
        QList<quint32> modes;
        for (const Member &member : readPackage(package()).members)
            modes.append(member.mode);
        return modes;
    };
    const std::pair<QList<QByteArray>, QList<quint32>> runs[] = {
        {{"-c", "-format", "2"}, plain},
        {{"-r", "-readonly"}, readOnly},
    };
    for (const auto &[options, modes] : runs) {
        ASSERT_EQ(run(options + QList<QByteArray>{kPackage} + names).status, 0) << options.join(' ').constData();
        EXPECT_EQ(storedModes(), modes) << options.join(' ').constData();
    }
}

// -r refreshes a member in place and appends new ones; -d removes exact
// names only, warning about each missing one, and still saves with status 0.
TEST_F(SaveTest, ReplaceAndRemove)
{
    const QList<Member> members = {
        {"a.c", "old", 0100644, 10},
        {"b.c", "b", 0100644, 10},
        {"dir/d.c", "d", 0100644, 10},
    };
    writePackage(package(), members);
    file("a.c", "fresh a");
    file("c.c", "c");
    ToolRun result = run({"-v", "-r", kPackage, "c.c", "a.c", "a.c"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "Adding c.c\nAdding a.c\nAdding a.c\n" + kSaving);
    const StoredPackage stored = readPackage(package());
    EXPECT_EQ(stored.names(), (QList<QByteArray>{"a.c", "b.c", "dir/d.c", "c.c"}));
    EXPECT_EQ(stored.members.value(0).data, QByteArray("fresh a"));
    result = run({"-v", "-d", kPackage, "dir/d.c", "missing.c", "*.c", "A.C", "dir/d.c"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "Removing dir/d.c\nRemoving missing.c\nRemoving *.c\nRemoving A.C\nRemoving dir/d.c\n" + kSaving);
    EXPECT_EQ(result.err, "warning: cannot remove missing.c\nwarning: cannot remove *.c\n"
                          "warning: cannot remove A.C\nwarning: cannot remove dir/d.c\n");
    EXPECT_EQ(readPackage(package()).names(), (QList<QByteArray>{"a.c", "b.c", "c.c"}));
    EXPECT_FALSE(pathExists(full(kPart)));
}

// Every failure leaves the old package byte for byte and no ".part" file.
TEST_F(SaveTest, FailuresChangeNothing)
{
    file("a.c");
    file("bad_package.xml", R"(<package name="x")");
    file("good.c");
    ASSERT_EQ(run({"-c", "-format", "2", kPackage, "a.c"}).status, 0);
    expectFailureChangesNothing({"-d", "-format", "9", kPackage, "a.c"}, "error: unsupported package file version\n");
    // A failure after the temporary file was made.
    expectFailureChangesNothing({"-r", "-bzip2", "-compress", "0", kPackage, "good.c"},
                                "error: cannot initialise deflate\n");
    // A pattern's directory must exist; the error comes before anything is added.
    const std::pair<QByteArray, QByteArray> missing[] = {
        {"nodir/*.c", "nodir"},
        {"nodir/sub/x.c", "nodir/sub"},
    };
    for (const auto &[argument, directory] : missing) {
        const ToolRun result =
            expectFailureChangesNothing({"-r", "-v", kPackage, "good.c", argument}, "error: can't open " + directory + "\n");
        EXPECT_EQ(result.out, QByteArray());
    }
    // The description is checked before anything is written, for -c over an
    // existing package as well; a ".part" this run did not make stays.
    file(kPart, "not this run's");
    for (const QByteArray &command : {QByteArray("-r"), QByteArray("-c")}) {
        const ToolRun result = expectFailureChangesNothing({command, "-v", kPackage, "good.c", "bad_package.xml"});
        EXPECT_EQ(result.out, "Adding good.c\nAdding bad_package.xml\n");
        EXPECT_TRUE(result.err.startsWith("error: cannot load package description file: bad_package.xml - "))
            << result.err.constData();
    }
    unlink(full(kPart).constData());
    // A listed file that cannot be opened stops -r after its "Adding" line
    // (root opens everything).
    file("locked.c", "secret", 0000);
    if (geteuid() != 0) {
        const ToolRun result = expectFailureChangesNothing({"-r", "-v", kPackage, "a.c", "locked.c"},
                                                           "error: cannot read locked.c\n");
        EXPECT_EQ(result.out, "Adding a.c\nAdding locked.c\n");
    }
    // A directory in the way of the temporary file.
    sandbox.makeDirectory(QString::fromLatin1(kPart));
    expectFailureChangesNothing({"-r", kPackage, "good.c"}, "error: cannot open output file\n");
}

// A failed rename is not reported: the command ends with status 0, whatever
// is in the package's place stays, and the complete temporary file remains.
TEST_F(SaveTest, FailedRenameLeavesTheTemporaryFile)
{
    file("a.c", "member");
    file(kPackage + "/inside", "a directory in the package's place");
    const ToolRun result = run({"-c", kPackage, "a.c"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out + result.err, QByteArray());
    EXPECT_EQ(fileBytes(full(kPackage + "/inside")), QByteArray("a directory in the package's place"));
    EXPECT_EQ(readPackage(sandbox.filePath(QString::fromLatin1(kPart))).names(), QList<QByteArray>{"a.c"});
}

// A package whose description is malformed cannot be updated, but still
// lists and extracts.
TEST_F(SaveTest, MalformedDescriptionBlocksUpdatesOnly)
{
    const QList<Member> members = {
        {"x_package.xml", "<broken", 0100644, 10},
        {"a.c", "a", 0100644, 10},
    };
    writePackage(package(), members);
    const ToolRun removed = expectFailureChangesNothing({"-d", kPackage, "a.c"});
    EXPECT_TRUE(removed.err.startsWith("error: cannot load package description file: x_package.xml - "));
    const ToolRun listed = run({"-t", kPackage});
    EXPECT_EQ(listed.status, 0);
    EXPECT_TRUE(listed.out.endsWith("2 Files, 8 Bytes\n")) << listed.out.constData();
    EXPECT_EQ(run({"-x", kPackage, "out"}).status, 0);
    EXPECT_EQ(fileBytes(full("out/a.c")), QByteArray("a"));
    // Removing the broken description itself makes the package savable.
    const ToolRun fixed = run({"-d", kPackage, "x_package.xml"});
    EXPECT_EQ(fixed.status, 0) << fixed.err.constData();
    EXPECT_EQ(readPackage(package()).names(), QList<QByteArray>{"a.c"});
}

// The replaced package keeps its permission bits; a new one gets the
// creation mode the umask allows.
TEST_F(SaveTest, PermissionBitsAreKept)
{
    file("a.c");
    ASSERT_EQ(run({"-c", kPackage, "a.c"}).status, 0);
    const mode_t mask = umask(022);
    umask(mask);
    EXPECT_EQ(fileMode(full(kPackage)) & 07777, 0666 & ~mask);
    for (mode_t bits : {0600, 0755}) {
        ASSERT_EQ(chmod(full(kPackage).constData(), bits), 0);
        for (const QByteArray &command : {QByteArray("-r"), QByteArray("-c")}) {
            EXPECT_EQ(run({command, kPackage, "a.c"}).status, 0);
            EXPECT_EQ(fileMode(full(kPackage)), S_IFREG | bits) << command.constData() << " " << bits;
        }
    }
}

// A ".part" left by a killed run is replaced, never written through: a
// planted link keeps its target untouched and is not followed to create one.
TEST_F(SaveTest, StaleOrPlantedTemporaryFileIsNeverWrittenThrough)
{
    file("a.c", "member");
    file("victim", "precious");
    ASSERT_EQ(run({"-c", kPackage, "a.c"}).status, 0);
    for (const QByteArray &target : {QByteArray(), QByteArray("victim"), QByteArray("ghost"), full("victim")}) {
        SCOPED_TRACE(target.constData());
        if (target.isEmpty())
            file(kPart, "stale half-written package", 0600);
        else
            ASSERT_EQ(symlink(target.constData(), full(kPart).constData()), 0);
        const ToolRun result = run({"-r", kPackage, "a.c"});
        EXPECT_EQ(result.status, 0) << result.err.constData();
        EXPECT_FALSE(pathExists(full(kPart)));
        EXPECT_FALSE(pathExists(full("ghost")));
        EXPECT_EQ(fileBytes(full("victim")), QByteArray("precious"));
        EXPECT_TRUE(S_ISREG(fileMode(full(kPackage))));
        EXPECT_EQ(readPackage(package()).members.value(0).data, QByteArray("member"));
    }
}

} // namespace
