// -x through the real binary: bytes, modes and times on disk, created
// directories, the overwrite rules and names that would leave the output.
#include "tool/tests/testsupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

struct ExtractCommand : ::testing::Test {
    ToolRun extract(const QList<Member> &members, const QList<QByteArray> &arguments)
    {
        writePackage(sandbox.filePath("p.lxPackage"), members);
        return sandbox.run(arguments);
    }
    ToolSandbox sandbox;
};

// Only the permission bits reach the file; set-id and sticky bits do not.
// Missing directories are made; further arguments are ignored.
TEST_F(ExtractCommand, WritesBytesModesAndTimes)
{
    const QList<Member> members = {
        {"a.txt", "alpha\n", 0100644, quint32(utcTime(2003, 4, 5, 6, 7, 8))}, {"ro.txt", "read only", 0100444, 0},
        {"run.sh", "#!/bin/sh\n", 0100755, quint32(utcTime(2030, 7, 1, 12))}, {"none", "no bits", 0, 10},
        {"empty", "", 0100600, 11}, {"setid", "s", 0106755, 12}, {"sub/dir/f.c", "int f;\n", 0100644, 0},
        {"/abs/x", "inside", 0100644, 0}, // a leading slash stays inside
        {"..hidden", "1"}, {"a..b/c", "2"}, {"x/.../y", "3"}, {"./dot", "4"}, // dots that are not ".."
    };
    const ToolRun run = extract(members, {"-x", "p.lxPackage", "deep/out", "*.h", "other"});
    ASSERT_EQ(run.status, 0) << run.err.constData();
    EXPECT_EQ(run.out + run.err, QByteArray());
    for (const Member &m : members) {
        SCOPED_TRACE(m.name.constData());
        const QByteArray name = m.name.startsWith("./") ? m.name.mid(2) : m.name;
        const QByteArray file = sandbox.full("deep/out/" + (name.startsWith('/') ? name.mid(1) : name));
        EXPECT_TRUE(S_ISREG(fileMode(file)));
        EXPECT_EQ(fileMode(file) & 07777, m.mode & 0777);
        EXPECT_EQ(fileTime(file), time_t(m.time));
        EXPECT_EQ(fileBytes(file), m.data);
    }
    EXPECT_FALSE(sandbox.exists("other"));
    // The legacy form keeps only "read-only or not".
    writePackage(sandbox.filePath("p1.lxPackage"), {{"rw", "1", 0100640}, {"ro", "2", 0100555}}, 1);
    ASSERT_EQ(sandbox.run({"-x", "p1.lxPackage", "legacy"}).status, 0);
    EXPECT_EQ(fileMode(sandbox.full("legacy/rw")), S_IFREG | 0666);
    EXPECT_EQ(fileMode(sandbox.full("legacy/ro")), S_IFREG | 0444);
}

TEST_F(ExtractCommand, VerboseLinesAndErrors)
{
    ToolRun run = extract({{"z", "1"}, {"a/b", "2"}, {"caf\xe9", "3"}}, {"-v", "-x", "p.lxPackage", "out"});
    EXPECT_EQ(run.out, "Extracting z\nExtracting a/b\nExtracting caf\xe9\n");
    EXPECT_EQ(fileBytes(sandbox.full("out/caf\xe9")), "3"); // the Latin-1 byte reaches the file system
    // An empty name is no directory either: joined, it would mean the root.
    for (const QByteArray &last : {QByteArray("-v"), QByteArray("")}) {
        run = sandbox.run({"-v", "-x", "p.lxPackage", last});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, QByteArray());
        EXPECT_EQ(run.err, "error: output directory not specified\n");
    }
    sandbox.writeFile("plain", "not a directory");
    run = sandbox.run({"-x", "p.lxPackage", "plain"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "error: cannot create output file plain/z\n");
}

// Without -overwrite an existing file stops the command, keeping what came
// before; with it even a read-only file is replaced.
TEST_F(ExtractCommand, ExistingFiles)
{
    const quint32 time = quint32(utcTime(2001, 1, 1));
    sandbox.writeFile("out/taken", "a longer old content", 0444, utcTime(1990, 1, 1));
    ToolRun run = extract({{"first", "new first", 0644, time}, {"taken", "new taken", 0100640, time},
                           {"last", "new last", 0644, time}}, {"-v", "-x", "p.lxPackage", "out"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "Extracting first\nExtracting taken\n");
    EXPECT_EQ(run.err, "error: cannot overwrite file out/taken\n");
    EXPECT_EQ(sandbox.readFile("out/first"), "new first");
    EXPECT_EQ(sandbox.readFile("out/taken"), "a longer old content");
    EXPECT_EQ(fileTime(sandbox.full("out/taken")), utcTime(1990, 1, 1));
    EXPECT_FALSE(sandbox.exists("out/last"));
    run = sandbox.run({"-x", "p.lxPackage", "out", "-overwrite"});
    ASSERT_EQ(run.status, 0) << run.err.constData();
    EXPECT_EQ(sandbox.readFile("out/taken"), "new taken");
    EXPECT_EQ(fileMode(sandbox.full("out/taken")) & 07777, 0640u);
    EXPECT_EQ(fileTime(sandbox.full("out/taken")), time_t(time));
    EXPECT_EQ(sandbox.readFile("out/last"), "new last");
}

// A name with a ".." component is refused before anything of it is written;
// members before it stay, members after it are not extracted.
TEST_F(ExtractCommand, ParentComponentIsRefused)
{
    for (const char *name : {"../escaped", "x/../../evil", "x/..", "..", "/../escaped", "x//..//..//evil"}) {
        SCOPED_TRACE(name);
        ToolSandbox box;
        writePackage(box.filePath("p.lxPackage"), {{"before", "b"}, {name, "escaped"}, {"after", "a"}});
        box.makeDirectory("work/out");
        const ToolRun run = box.run({"-v", "-x", "../p.lxPackage", "out"}, {box.filePath("work"), {}, {}, {}});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "Extracting before\n");
        EXPECT_EQ(run.err, "error: cannot extract file outside output directory " + QByteArray(name) + "\n");
        EXPECT_EQ(box.readFile("work/out/before"), "b");
        EXPECT_FALSE(box.exists("work/out/after"));
        for (const char *escape : {"work/escaped", "escaped", "work/out/escaped", "work/evil", "evil",
                                   "work/out/x/evil", "work/x/evil", "x/evil"})
            EXPECT_FALSE(box.exists(escape)) << escape;
    }
}

} // namespace
