// -x through the real binary: members on disk, the verbose lines, the
// overwrite option and names that would leave the output directory.
#include "tool/tests/testsupport.h"

#include <gtest/gtest.h>

namespace {

struct ExtractCommand : ::testing::Test {
    ToolRun extract(const QList<Member> &members, const QList<QByteArray> &arguments)
    {
        writePackage(sandbox.filePath("p.lxPackage"), members);
        return sandbox.run(arguments);
    }
    ToolSandbox sandbox;
};

// Each member lands below the directory with its bytes, permission bits and
// time (how modes are masked is the archive's own test); missing directories
// are made; further arguments are ignored.
TEST_F(ExtractCommand, WritesBytesModesAndTimes)
{
    const QList<Member> members = {
        {"a.txt", "alpha\n", 0100644, quint32(utcTime(2003, 4, 5, 6, 7, 8))},
        {"sub/dir/f.c", "int f;\n", 0100444, 0},
    };
    const ToolRun run = extract(members, {"-x", "p.lxPackage", "deep/out", "*.h", "other"});
    ASSERT_EQ(run.status, 0) << run.err.constData();
    EXPECT_EQ(run.out, QByteArray());
    EXPECT_EQ(run.err, QByteArray());
    for (const Member &m : members) {
        SCOPED_TRACE(m.name.constData());
        const QByteArray file = sandbox.full("deep/out/" + m.name);
        EXPECT_EQ(fileMode(file), m.mode);
        EXPECT_EQ(fileTime(file), time_t(m.time));
        EXPECT_EQ(fileBytes(file), m.data);
    }
    EXPECT_FALSE(sandbox.exists("other"));
}

TEST_F(ExtractCommand, VerboseLinesAndErrors)
{
    const QList<Member> members = {
        {"z", "1"},
        {"a/b", "2"},
        {"caf\xe9", "3"},
    };
    ToolRun run = extract(members, {"-v", "-x", "p.lxPackage", "out"});
    EXPECT_EQ(run.out, "Extracting z\nExtracting a/b\nExtracting caf\xe9\n");
    EXPECT_EQ(fileBytes(sandbox.full("out/caf\xe9")), "3"); // the Latin-1 byte reaches the file system
    // An empty name is no directory either: joined, it would mean the root.
    for (const QByteArray &last : {QByteArray("-v"), QByteArray("")}) {
        run = sandbox.run({"-v", "-x", "p.lxPackage", last});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, QByteArray());
        EXPECT_EQ(run.err, "error: output directory not specified\n");
    }
}

// Without -overwrite an existing file stops the command, keeping what came
// before; with it even a read-only file is replaced.
TEST_F(ExtractCommand, ExistingFiles)
{
    sandbox.writeFile("out/taken", "old content", 0444);
    const QList<Member> members = {
        {"first", "new first"},
        {"taken", "new taken"},
        {"last", "new last"},
    };
    ToolRun run = extract(members, {"-v", "-x", "p.lxPackage", "out"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "Extracting first\nExtracting taken\n");
    EXPECT_EQ(run.err, "error: cannot overwrite file out/taken\n");
    EXPECT_EQ(sandbox.readFile("out/first"), "new first");
    EXPECT_EQ(sandbox.readFile("out/taken"), "old content");
    EXPECT_FALSE(sandbox.exists("out/last"));
    run = sandbox.run({"-x", "p.lxPackage", "out", "-overwrite"});
    ASSERT_EQ(run.status, 0) << run.err.constData();
    EXPECT_EQ(sandbox.readFile("out/taken"), "new taken");
    EXPECT_EQ(sandbox.readFile("out/last"), "new last");
}

// A name with a ".." component is refused before anything of it is written;
// members before it stay, members after it are not extracted. Which names
// have such a component is the archive's own test.
TEST_F(ExtractCommand, ParentComponentIsRefused)
{
    const QList<Member> members = {
        {"before", "b"},
        {"x/../../evil", "escaped"},
        {"after", "a"},
    };
    writePackage(sandbox.filePath("p.lxPackage"), members);
    sandbox.makeDirectory("work/out");
    const ToolRun run = sandbox.run({"-v", "-x", "../p.lxPackage", "out"}, {sandbox.filePath("work"), {}, {}, {}});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "Extracting before\n");
    EXPECT_EQ(run.err, "error: cannot extract file outside output directory x/../../evil\n");
    EXPECT_EQ(sandbox.readFile("work/out/before"), "b");
    EXPECT_FALSE(sandbox.exists("work/out/after"));
    EXPECT_FALSE(sandbox.exists("work/evil"));
    EXPECT_FALSE(sandbox.exists("work/out/x"));
}

} // namespace
