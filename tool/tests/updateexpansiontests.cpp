// How -c and -r turn file, directory and wildcard arguments into member
// names, seen in the "Adding" lines under -v and in the stored names.
#include "tool/tests/testsupport.h"

#include "package/hexception.h"
#include "tool/expansion.h"

#include <QDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QList<QByteArray> sorted(QList<QByteArray> list)
{
    std::sort(list.begin(), list.end());
    return list;
}

struct ExpansionTest : ::testing::Test {
    void file(const QByteArray &relative, const QByteArray &bytes = "x")
    {
        sandbox.writeFile(QString::fromLatin1(relative), bytes);
    }
    void link(const QByteArray &target, const QByteArray &relative)
    {
        ASSERT_EQ(symlink(target.constData(), sandbox.full(relative).constData()), 0) << relative.constData();
    }
    /// Runs -c -v with `options` and the package (outside the tree, so "."
    /// does not find it); expects success and returns the "Adding" paths,
    /// after checking the package holds them once each.
    QList<QByteArray> create(const QList<QByteArray> &arguments, const QList<QByteArray> &options = {})
    {
        const QByteArray package = elsewhere.full("p.lxPackage");
        const ToolRun run = sandbox.run(QList<QByteArray>{"-c", "-v"} + options + QList<QByteArray>{package} + arguments);
        EXPECT_EQ(run.status, 0) << run.err.constData();
        lastError = run.err;
        EXPECT_TRUE(run.out.endsWith("Saving " + package + ".part\n")) << run.out.constData();
        QList<QByteArray> unique;
        for (const QByteArray &path : addedPaths(run.out))
            if (!unique.contains(path))
                unique.append(path);
        EXPECT_EQ(readPackage(QString::fromLatin1(package)).names(), unique);
        return addedPaths(run.out);
    }
    ToolSandbox sandbox, elsewhere;
    QByteArray lastError;
};

// Directories keep their spelling (one trailing "/" dropped; "." and "./"
// give "./" names); patterns get
// "./" when bare and their directory part as typed, take ";" or blank
// separated lists, ignore letter case and match regular files only; hidden
// entries are never walked or matched; exclusions are whole paths as the
// walk spells them and act only inside the walk.
TEST_F(ExpansionTest, ArgumentsPatternsAndExclusions)
{
    const char *names[] = {
        "dir/a.c",
        "dir/sub/b.c",
        "dir/sub/deep/c.c",
        "dir/gen/d.c",
        "dir/.hidden.c",
        "dir/.git/config",
        "a.c",
        "b.C",
        "c.h",
        "d.txt",
        "note with blank.txt",
        ".dot.c",
        "src/f.c",
        "src/g.H",
    };
    for (const char *name : names)
        file(name);
    sandbox.makeDirectory("m.c");
    const QList<QByteArray> all = {"a.c", "gen/d.c", "sub/b.c", "sub/deep/c.c"};
    const auto in = [&](const QByteArray &prefix, const QList<QByteArray> &names) {
        QList<QByteArray> result;
        for (const QByteArray &name : names)
            result.append(prefix + name);
        return result;
    };
    const QList<QByteArray> top = {"./a.c", "./b.C", "./c.h", "./d.txt", "./note with blank.txt", "./src/f.c",
                                   "./src/g.H"};
    const struct {
        QList<QByteArray> arguments;
        QList<QByteArray> excludes;
        QList<QByteArray> expected;
    } cases[] = {
        {{"dir"}, {}, in("dir/", all)},
        {{"dir/"}, {}, in("dir/", all)},
        {{"dir//"}, {}, in("dir//", all)},
        {{"."}, {}, top + in("./dir/", all)},
        {{"*.C"}, {}, {"./a.c", "./b.C"}},
        {{".*"}, {}, {}},
        {{"*.c;*.h"}, {}, {"./a.c", "./b.C", "./c.h"}},
        {{"*.c *.h"}, {}, {"./a.c", "./b.C", "./c.h"}},
        {{" *.h ; *.TXT "}, {}, {"./c.h", "./d.txt", "./note with blank.txt"}},
        {{"src/*.h"}, {}, {"src/g.H"}},
        {{"missing.c"}, {}, {}},
        {{"dir"}, {"dir/sub"}, {"dir/a.c", "dir/gen/d.c"}},
        {{"dir"}, {"dir/sub", "dir/gen"}, {"dir/a.c"}},
        {{"dir"}, {"dir/gen/d.c"}, {"dir/a.c", "dir/sub/b.c", "dir/sub/deep/c.c"}},
        {{"dir"}, {"./dir/sub"}, in("dir/", all)},
        {{"dir"}, {"dir/sub/"}, in("dir/", all)},
        {{"dir"}, {"DIR/SUB"}, in("dir/", all)},
        {{"./dir"}, {"./dir/sub"}, {"./dir/a.c", "./dir/gen/d.c"}},
        {{"dir"}, {"dir"}, in("dir/", all)},
        {{"dir/sub/b.c"}, {"dir/sub/b.c"}, {"dir/sub/b.c"}},
        {{"dir/sub/*.c"}, {"dir/sub/b.c"}, {"dir/sub/b.c"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE((c.arguments + c.excludes).join('|').constData());
        QList<QByteArray> options;
        for (const QByteArray &exclude : c.excludes)
            options << "-exclude" << exclude;
        EXPECT_EQ(sorted(create(c.arguments, options)), sorted(c.expected));
        EXPECT_EQ(lastError, QByteArray());
    }
    // Every argument expands on its own: repeats are added again (one member).
    EXPECT_EQ(create({"a.c", "a.c"}), (QList<QByteArray>{"a.c", "a.c"}));
    EXPECT_EQ(create({"dir/gen", "a.c", "*.c", "dir/gen/d.c"}),
              (QList<QByteArray>{"dir/gen/d.c", "a.c", "./a.c", "./b.C", "dir/gen/d.c"}));
}

// Walks and patterns deliver entries in the file system's order, not sorted,
// and a subdirectory is walked where it stands in that order.
TEST_F(ExpansionTest, DirectoryOrderIsKept)
{
    const char *names[] = {
        "zeta.c",
        "alpha.c",
        "Mid.h",
        "beta",
        "07.txt",
        "omega.s",
        "gamma.c",
        "_u.c",
        "kappa",
        "inner/one.c",
        "inner/two.c",
    };
    for (const char *name : names)
        file("dir/" + QByteArray(name));
    QList<QByteArray> walk;
    QList<QByteArray> pattern;
    for (const QByteArray &entry : readdirOrder(sandbox.full("dir"))) {
        for (const QByteArray &inner : entry == "inner" ? readdirOrder(sandbox.full("dir/inner")) : QList<QByteArray>{""})
            walk.append("dir/" + entry + (inner.isEmpty() ? "" : "/" + inner));
        if (entry.endsWith(".c"))
            pattern.append("dir/" + entry);
    }
    EXPECT_EQ(create({"dir"}), walk);
    EXPECT_EQ(create({"dir/*.c"}), pattern);
}

// Links are followed: a linked file is added under the link's name, a linked
// directory is walked; dangling links and other kinds of file are left out.
// A link back to a directory the walk is inside is skipped with a warning.
TEST_F(ExpansionTest, LinksAreFollowed)
{
    file("target.c", "target bytes");
    file("other/x.c");
    file("dir/real.c");
    link("../target.c", "dir/linked.c");
    link("../other", "dir/linkeddir");
    link("nowhere", "dir/dangling.c");
    ASSERT_EQ(mkfifo(sandbox.full("dir/fifo.c").constData(), 0644), 0);
    link("target.c", "top.c");
    EXPECT_EQ(sorted(create({"dir"})), (QList<QByteArray>{"dir/linked.c", "dir/linkeddir/x.c", "dir/real.c"}));
    EXPECT_EQ(create({"top.c"}), QList<QByteArray>{"top.c"});
    EXPECT_EQ(readPackage(elsewhere.filePath("p.lxPackage")).members.value(0).data, QByteArray("target bytes"));
    EXPECT_EQ(sorted(create({"dir/*.c"})), (QList<QByteArray>{"dir/linked.c", "dir/real.c"}));
    file("loop/a.c");
    file("loop/sub/b.c");
    link("..", "loop/sub/up");
    link(".", "loop/self");
    link(sandbox.full("loop"), "loop/sub/absolute");
    link("sub", "loop/twin");
    EXPECT_EQ(sorted(create({"loop"})), (QList<QByteArray>{"loop/a.c", "loop/sub/b.c", "loop/twin/b.c"}));
    QList<QByteArray> warnings = lastError.split('\n');
    warnings.removeAll(QByteArray());
    const QByteArray loop = "warning: directory loop at loop/";
    EXPECT_EQ(sorted(warnings), (QList<QByteArray>{loop + "self", loop + "sub/absolute", loop + "sub/up",
                                                   loop + "twin/absolute", loop + "twin/up"}));
}

// Links that lead twice to the next directory double the paths at every
// level without a loop; the walk of an argument stops once it has listed
// more entries in directories it had listed before than its limit allows.
TEST_F(ExpansionTest, DoublingLinksStopTheWalkAtItsLimit)
{
    const int levels = 3;
    file("tree/d3/leaf.c");
    for (int i = 0; i < levels; ++i) {
        sandbox.makeDirectory(QStringLiteral("tree/d%1").arg(i));
        for (const char *name : {"a", "b"})
            link("../d" + QByteArray::number(i + 1), "tree/d" + QByteArray::number(i) + "/" + name);
    }
    const QString current = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(sandbox.path()));
    // Listed again: d1 once and d2 three times (two entries each), d3 seven
    // times (one). An argument given twice is walked twice, each within the limit.
    ExpansionOptions options;
    options.maxRepeatedEntries = 1 * 2 + 3 * 2 + 7 * 1;
    EXPECT_EQ(expandFileArguments({"tree/d0", "tree/d0"}, options).size(), 16);
    options.maxRepeatedEntries -= 1;
    std::string message;
    try {
        expandFileArguments({"tree/d0"}, options);
    } catch (const HException &error) {
        message = error.what();
    }
    EXPECT_EQ(message, "directory walk limit of 14 repeated entries exceeded in tree/d0");
    QDir::setCurrent(current);
}

// Latin-1 and broken UTF-8 names pass the walk, patterns and file arguments.
TEST_F(ExpansionTest, NamesAreBytes)
{
    const QByteArray latin1 = "dir/caf\xe9.c";
    const QByteArray broken = "dir/na\xefve dir/bad\xc3(\xff.h";
    const QByteArray valid = "dir/gr\xc3\xbc\xc3\x9f" "e.c";
    for (const QByteArray &name : {latin1, broken, valid})
        file(name);
    EXPECT_EQ(sorted(create({"dir"})), sorted({latin1, broken, valid}));
    EXPECT_EQ(create({"dir/CAF*"}), QList<QByteArray>{latin1});
    EXPECT_EQ(create({broken}), QList<QByteArray>{broken});
    EXPECT_EQ(create({"dir/*\xc3\xbc*"}), QList<QByteArray>{valid});
}

} // namespace
