// -x through the real binary: bytes, modes and times on disk, created
// directories, the overwrite rules and the refusal of names that leave the
// output directory.
#include "tool/tests/testpackages.h"
#include "tool/tests/testsupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

QString latin1(const char *bytes)
{
    return QString::fromLatin1(bytes);
}

class ExtractCommand : public ::testing::Test {
protected:
    QByteArray path(const QString &relative) const { return pathBytes(sandbox.filePath(relative)); }

    ToolSandbox sandbox;
};

TEST_F(ExtractCommand, WritesBytesModesAndTimes)
{
    struct Expected {
        const char *name;
        QByteArray data;
        quint32 mode;
        time_t time;
    };
    const Expected members[] = {
        {"a.txt", "alpha\n", 0100644, utcTime(2003, 4, 5, 6, 7, 8)},
        {"ro.txt", "read only", 0100444, utcTime(1980, 1, 1)},
        {"run.sh", "#!/bin/sh\n", 0100755, utcTime(2030, 7, 1, 12)},
        {"none", "no bits", 0, utcTime(2010, 10, 10)},
        {"empty", "", 0100600, utcTime(2011, 11, 11)},
        // Only the permission bits reach the file; set-id and sticky bits do not.
        {"setid", "s", 0106755, utcTime(2012, 12, 12)},
    };
    QList<TestMember> list;
    for (const Expected &m : members)
        list.append({latin1(m.name), m.data, m.mode, m.time});
    writeTestPackage(sandbox.filePath("p.lxPackage"), list);

    const ToolRun run = sandbox.run({"-x", "p.lxPackage", "out"});
    ASSERT_EQ(run.status, 0) << run.err.constData();
    EXPECT_EQ(run.out, QByteArray());
    EXPECT_EQ(run.err, QByteArray());
    for (const Expected &m : members) {
        SCOPED_TRACE(m.name);
        const QByteArray file = path(QStringLiteral("out/") + latin1(m.name));
        const mode_t mode = fileMode(file);
        EXPECT_TRUE(S_ISREG(mode));
        EXPECT_EQ(mode & 07777, (m.mode & 0777)) << std::oct << mode;
        EXPECT_EQ(fileTime(file), m.time);
        EXPECT_EQ(sandbox.readFile(QStringLiteral("out/") + latin1(m.name)), m.data);
    }
}

TEST_F(ExtractCommand, CreatesMissingDirectoriesOnTheWay)
{
    writeTestPackage(sandbox.filePath("p.lxPackage"),
                     {{latin1("sub/dir/f.c"), "int f;\n", 0100644, utcTime(2005, 5, 5)},
                      {latin1("sub/g.c"), "int g;\n", 0100644, utcTime(2005, 5, 5)}});
    const ToolRun run = sandbox.run({"-x", "p.lxPackage", "deep/out"});
    ASSERT_EQ(run.status, 0) << run.err.constData();
    EXPECT_TRUE(S_ISDIR(fileMode(path("deep/out/sub/dir"))));
    EXPECT_EQ(sandbox.readFile("deep/out/sub/dir/f.c"), "int f;\n");
    EXPECT_EQ(sandbox.readFile("deep/out/sub/g.c"), "int g;\n");
}

TEST_F(ExtractCommand, VerbosePrintsOneLinePerMemberInArchiveOrder)
{
    writeTestPackage(sandbox.filePath("p.lxPackage"),
                     {{latin1("z"), "1", 0644, 0}, {latin1("a/b"), "2", 0644, 0},
                      {latin1("caf\xe9"), "3", 0644, 0}});
    const ToolRun run = sandbox.run({"-v", "-x", "p.lxPackage", "out"});
    ASSERT_EQ(run.status, 0) << run.err.constData();
    EXPECT_EQ(run.out, "Extracting z\nExtracting a/b\nExtracting caf\xe9\n");
    // The Latin-1 name reaches the file system as the same byte.
    EXPECT_EQ(sandbox.readFile(latin1("out/caf\xe9")), "3");
}

TEST_F(ExtractCommand, OutputDirectoryIsRequired)
{
    writeTestPackage(sandbox.filePath("p.lxPackage"), {{latin1("a"), "1", 0644, 0}});
    // An empty name is no directory either: joined, it would mean the root.
    for (const QList<QByteArray> &arguments :
         {QList<QByteArray>{"-v", "-x", "p.lxPackage"}, QList<QByteArray>{"-v", "-x", "p.lxPackage", ""}}) {
        const ToolRun run = sandbox.run(arguments);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, QByteArray());
        EXPECT_EQ(run.err, "error: output directory not specified\n");
        EXPECT_FALSE(sandbox.exists("a"));
    }
}

TEST_F(ExtractCommand, ExistingFileStopsTheCommandWithoutOverwrite)
{
    writeTestPackage(sandbox.filePath("p.lxPackage"),
                     {{latin1("first"), "new first", 0644, utcTime(2001, 1, 1)},
                      {latin1("taken"), "new taken", 0644, utcTime(2001, 1, 1)},
                      {latin1("last"), "new last", 0644, utcTime(2001, 1, 1)}});
    sandbox.writeFile("out/taken", "old", 0444, utcTime(1990, 1, 1));

    const ToolRun run = sandbox.run({"-v", "-x", "p.lxPackage", "out"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "Extracting first\nExtracting taken\n");
    EXPECT_EQ(run.err, "error: cannot overwrite file out/taken\n");
    // What came before stays; the old file is untouched; nothing after it.
    EXPECT_EQ(sandbox.readFile("out/first"), "new first");
    EXPECT_EQ(sandbox.readFile("out/taken"), "old");
    EXPECT_EQ(fileTime(path("out/taken")), utcTime(1990, 1, 1));
    EXPECT_FALSE(sandbox.exists("out/last"));
}

TEST_F(ExtractCommand, OverwriteReplacesEvenAReadOnlyFile)
{
    writeTestPackage(sandbox.filePath("p.lxPackage"),
                     {{latin1("taken"), "new taken", 0100640, utcTime(2001, 1, 1)},
                      {latin1("last"), "new last", 0644, utcTime(2001, 1, 1)}});
    sandbox.writeFile("out/taken", "a longer old content", 0444, utcTime(1990, 1, 1));

    const ToolRun run = sandbox.run({"-x", "p.lxPackage", "out", "-overwrite"});
    ASSERT_EQ(run.status, 0) << run.err.constData();
    EXPECT_EQ(sandbox.readFile("out/taken"), "new taken");
    EXPECT_EQ(fileMode(path("out/taken")) & 07777, 0640u);
    EXPECT_EQ(fileTime(path("out/taken")), utcTime(2001, 1, 1));
    EXPECT_EQ(sandbox.readFile("out/last"), "new last");
}

TEST_F(ExtractCommand, FurtherArgumentsAreIgnored)
{
    writeTestPackage(sandbox.filePath("p.lxPackage"),
                     {{latin1("a.c"), "a", 0644, 0}, {latin1("b.h"), "b", 0644, 0}});
    const ToolRun run = sandbox.run({"-x", "p.lxPackage", "out", "*.h", "other"});
    ASSERT_EQ(run.status, 0) << run.err.constData();
    EXPECT_EQ(sandbox.readFile("out/a.c"), "a");
    EXPECT_EQ(sandbox.readFile("out/b.h"), "b");
    EXPECT_FALSE(sandbox.exists("other"));
}

TEST_F(ExtractCommand, UncreatableTargetIsReported)
{
    writeTestPackage(sandbox.filePath("p.lxPackage"), {{latin1("a"), "1", 0644, 0}});
    // The output "directory" is a regular file, so nothing can be created below it.
    sandbox.writeFile("plain", "not a directory");
    const ToolRun run = sandbox.run({"-x", "p.lxPackage", "plain"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "error: cannot create output file plain/a\n");
}

TEST_F(ExtractCommand, LeadingSlashStaysInsideTheOutputDirectory)
{
    writeTestPackage(sandbox.filePath("p.lxPackage"), {{latin1("/abs/x"), "inside", 0644, 0}});
    const ToolRun run = sandbox.run({"-x", "p.lxPackage", "out"});
    ASSERT_EQ(run.status, 0) << run.err.constData();
    EXPECT_EQ(sandbox.readFile("out/abs/x"), "inside");
}

struct ParentCase {
    const char *label;
    const char *name;
};

class ExtractParentComponent : public ExtractCommand,
                               public ::testing::WithParamInterface<ParentCase> {};

// A name with a ".." component is refused before anything of it is written;
// members before it stay, members after it are not extracted.
TEST_P(ExtractParentComponent, IsRefusedBeforeAnythingIsWritten)
{
    const QString name = latin1(GetParam().name);
    writeTestPackage(sandbox.filePath("p.lxPackage"),
                     {{latin1("before"), "b", 0644, 0},
                      {name, "escaped", 0644, 0},
                      {latin1("after"), "a", 0644, 0}});
    sandbox.makeDirectory("work/out");
    const ToolRun run = sandbox.run({"-v", "-x", "../p.lxPackage", "out"},
                                    ToolRunOptions{sandbox.filePath("work"), {}, {}, {}});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "Extracting before\n");
    EXPECT_EQ(run.err, "error: cannot extract file outside output directory " +
                           QByteArray(GetParam().name) + "\n");
    EXPECT_EQ(sandbox.readFile("work/out/before"), "b");
    EXPECT_FALSE(sandbox.exists("work/out/after"));
    // Nothing landed anywhere the name could reach.
    for (const char *escape : {"work/escaped", "escaped", "work/out/escaped", "work/evil", "evil",
                               "work/out/x/evil", "work/x/evil", "x/evil"})
        EXPECT_FALSE(sandbox.exists(latin1(escape))) << escape;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExtractParentComponent,
    ::testing::Values(ParentCase{"Leading", "../escaped"}, ParentCase{"Nested", "x/../../evil"},
                      ParentCase{"Trailing", "x/.."}, ParentCase{"Alone", ".."},
                      ParentCase{"AfterSlash", "/../escaped"},
                      ParentCase{"DoubledSlash", "x//..//..//evil"}),
    [](const ::testing::TestParamInfo<ParentCase> &info) { return std::string(info.param.label); });

// Dots that are not a whole ".." component are ordinary names.
TEST_F(ExtractCommand, DotsInsideNamesAreOrdinary)
{
    writeTestPackage(sandbox.filePath("p.lxPackage"),
                     {{latin1("..hidden"), "1", 0644, 0}, {latin1("a..b/c"), "2", 0644, 0},
                      {latin1("x/.../y"), "3", 0644, 0}, {latin1("./dot"), "4", 0644, 0}});
    const ToolRun run = sandbox.run({"-x", "p.lxPackage", "out"});
    ASSERT_EQ(run.status, 0) << run.err.constData();
    EXPECT_EQ(sandbox.readFile("out/..hidden"), "1");
    EXPECT_EQ(sandbox.readFile("out/a..b/c"), "2");
    EXPECT_EQ(sandbox.readFile("out/x/.../y"), "3");
    EXPECT_EQ(sandbox.readFile("out/dot"), "4");
}

// Members of every archive form extract the same way.
TEST(ExtractCommandFormats, EveryFormExtracts)
{
    for (TestFormat format : {TestFormat::Version1, TestFormat::Version2Zlib, TestFormat::Version2Bzip2}) {
        ToolSandbox sandbox;
        QByteArray big;
        for (int i = 0; i < 100000; ++i)
            big += QByteArray::number(i * 7919 % 10007) + ',';
        writeTestPackage(sandbox.filePath("p.lxPackage"),
                         {{latin1("one"), "1", 0644, utcTime(2004, 4, 4)},
                          {latin1("big/data.csv"), big, 0644, utcTime(2004, 4, 4)},
                          {latin1("two"), "22", 0644, utcTime(2004, 4, 4)}},
                         format);
        const ToolRun run = sandbox.run({"-x", "p.lxPackage", "out"});
        ASSERT_EQ(run.status, 0) << run.err.constData();
        EXPECT_EQ(sandbox.readFile("out/one"), "1");
        EXPECT_EQ(sandbox.readFile("out/big/data.csv"), big);
        EXPECT_EQ(sandbox.readFile("out/two"), "22");
    }
}

} // namespace
