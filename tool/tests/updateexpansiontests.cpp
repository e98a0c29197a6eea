// How -c and -r turn file, directory and wildcard arguments into member
// names, through the real binary: the "Adding" lines under -v and the names
// stored in the package must both be the paths exactly as built.
#include "tool/tests/testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray kPackage = "pkg.lxPackage";

QList<QByteArray> sorted(QList<QByteArray> list)
{
    std::sort(list.begin(), list.end());
    return list;
}

QList<QByteArray> withoutDuplicates(const QList<QByteArray> &list)
{
    QList<QByteArray> result;
    for (const QByteArray &item : list) {
        if (!result.contains(item))
            result.append(item);
    }
    return result;
}

class ExpansionTest : public ::testing::Test {
protected:
    QByteArray full(const QByteArray &relative) const { return sandbox.full(relative); }

    void file(const QByteArray &relative, const QByteArray &bytes = "x")
    {
        sandbox.writeFile(QString::fromLatin1(relative), bytes);
    }

    void link(const QByteArray &target, const QByteArray &relative)
    {
        ASSERT_EQ(symlink(target.constData(), full(relative).constData()), 0) << relative.constData();
    }

    /// Runs -c -v with `arguments` after the package name and `options`
    /// before it; expects success and returns the "Adding" paths, after
    /// checking that the package holds exactly those names (once each).
    QList<QByteArray> create(const QList<QByteArray> &arguments,
                             const QList<QByteArray> &options = {})
    {
        ToolRun run = sandbox.run(QList<QByteArray>{"-c", "-v"} + options + QList<QByteArray>{kPackage} +
                                  arguments);
        EXPECT_EQ(run.status, 0) << run.err.constData();
        lastError = run.err;
        const QList<QByteArray> added = addedPaths(run.out);
        EXPECT_TRUE(run.out.endsWith("Saving " + kPackage + ".part\n")) << run.out.constData();
        EXPECT_EQ(readPackage(sandbox.filePath(QString::fromLatin1(kPackage))).names(),
                  withoutDuplicates(added));
        return added;
    }

    ToolSandbox sandbox;
    QByteArray lastError;
};

// A directory argument keeps its spelling: relative, "./"-prefixed,
// absolute, and one trailing "/" dropped.
TEST_F(ExpansionTest, DirectoryArgumentPrefixesMembersAsTyped)
{
    file("dir/a.c");
    file("dir/sub/b.c");
    const QByteArray absolute = full("dir");
    const struct {
        QByteArray argument;
        QByteArray prefix;
    } cases[] = {
        {"dir", "dir/"},
        {"./dir", "./dir/"},
        {"dir/", "dir/"},
        {"dir//", "dir//"},
        {absolute, absolute + "/"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.argument.constData());
        EXPECT_EQ(sorted(create({c.argument})),
                  (QList<QByteArray>{c.prefix + "a.c", c.prefix + "sub/b.c"}));
        EXPECT_EQ(lastError, QByteArray());
    }
}

// The current directory as the argument: "." and "./" both give "./" names.
TEST_F(ExpansionTest, CurrentDirectoryArgument)
{
    file("dir/a.c");
    file("top.h");
    ToolSandbox elsewhere;
    const QByteArray package = pathBytes(elsewhere.filePath("p.lxPackage"));
    for (const QByteArray &argument : {QByteArray("."), QByteArray("./")}) {
        SCOPED_TRACE(argument.constData());
        const ToolRun run = sandbox.run({"-c", "-v", package, argument});
        EXPECT_EQ(run.status, 0) << run.err.constData();
        EXPECT_EQ(sorted(addedPaths(run.out)), (QList<QByteArray>{"./dir/a.c", "./top.h"}));
        EXPECT_EQ(sorted(readPackage(elsewhere.filePath("p.lxPackage")).names()),
                  (QList<QByteArray>{"./dir/a.c", "./top.h"}));
    }
}

// Entries come in the order the file system delivers them, not sorted, and
// a subdirectory is walked where it stands in that order.
TEST_F(ExpansionTest, WalkKeepsDirectoryOrder)
{
    const char *names[] = {"zeta.c", "alpha.c", "Mid.h", "beta", "07.txt", "omega.s",
                           "gamma.c", "delta.xml", "_u.c", "kappa"};
    for (const char *name : names)
        file("dir/" + QByteArray(name));
    file("dir/inner/one.c");
    file("dir/inner/two.c");

    QList<QByteArray> expected;
    for (const QByteArray &entry : readdirOrder(full("dir"))) {
        if (entry == "inner") {
            for (const QByteArray &inner : readdirOrder(full("dir/inner")))
                expected.append("dir/inner/" + inner);
        } else {
            expected.append("dir/" + entry);
        }
    }
    EXPECT_EQ(create({"dir"}), expected);
}

// Hidden files and directories are never walked into or matched.
TEST_F(ExpansionTest, HiddenEntriesAreSkipped)
{
    file("dir/.hidden.c");
    file("dir/.git/config");
    file("dir/seen.c");
    file(".dot.c");
    file("plain.c");
    EXPECT_EQ(create({"dir"}), QList<QByteArray>{"dir/seen.c"});
    EXPECT_EQ(create({"*.c"}), QList<QByteArray>{"./plain.c"});
    EXPECT_EQ(create({".*"}), QList<QByteArray>{});
}

struct WildcardCase {
    QByteArray argument;
    QList<QByteArray> expected;
};

// Patterns: "./" for a bare pattern, the directory part as typed otherwise,
// ";" or blank separated lists, letter case ignored, only regular files.
TEST_F(ExpansionTest, WildcardPatterns)
{
    file("a.c");
    file("b.C");
    file("c.h");
    file("d.txt");
    file("note with blank.txt");
    sandbox.makeDirectory("m.c");
    file("src/f.c");
    file("src/g.H");
    file("src/sub/deep.h");

    const WildcardCase cases[] = {
        {"*.c", {"./a.c", "./b.C"}},
        {"*.C", {"./a.c", "./b.C"}},
        {"*.c;*.h", {"./a.c", "./b.C", "./c.h"}},
        {"*.c *.h", {"./a.c", "./b.C", "./c.h"}},
        {" *.h ; *.TXT ", {"./c.h", "./d.txt", "./note with blank.txt"}},
        {"?.TXT", {"./d.txt"}},
        {"[ab].c", {"./a.c", "./b.C"}},
        {"src/*.h", {"src/g.H"}},
        {"./src/*", {"./src/f.c", "./src/g.H"}},
        {"src/sub/*", {"src/sub/deep.h"}},
        {"nothing*", {}},
        {"missing.c", {}},
        {"src/missing.c", {}},
    };
    for (const WildcardCase &c : cases) {
        SCOPED_TRACE(c.argument.constData());
        EXPECT_EQ(sorted(create({c.argument})), c.expected);
    }
}

// A pattern's matches come in directory order as well.
TEST_F(ExpansionTest, WildcardKeepsDirectoryOrder)
{
    for (const char *name : {"q.c", "a.c", "x.c", "m.c", "b.h", "k.c", "c.c"})
        file("src/" + QByteArray(name));
    QList<QByteArray> expected;
    for (const QByteArray &entry : readdirOrder(full("src"))) {
        if (entry.endsWith(".c"))
            expected.append("src/" + entry);
    }
    EXPECT_EQ(create({"src/*.c"}), expected);
}

// The pattern's directory must exist; the error comes before any member is
// added, even when earlier arguments were fine, and nothing is written.
TEST_F(ExpansionTest, MissingWildcardDirectoryFailsBeforeAdding)
{
    file("a.c");
    const struct {
        QByteArray argument;
        QByteArray message;
    } cases[] = {
        {"nodir/*.c", "error: can't open nodir\n"},
        {"nodir/sub/x.c", "error: can't open nodir/sub\n"},
        {"a.c/x", "error: can't open a.c\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.argument.constData());
        const ToolRun run = sandbox.run({"-c", "-v", kPackage, "a.c", c.argument});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, QByteArray());
        EXPECT_EQ(run.err, c.message);
        EXPECT_FALSE(sandbox.exists(QString::fromLatin1(kPackage)));
        EXPECT_FALSE(sandbox.exists(QString::fromLatin1(kPackage + ".part")));
    }
}

struct ExclusionCase {
    const char *label;
    QList<QByteArray> arguments;
    QList<QByteArray> excludes;
    QList<QByteArray> expected;
};

// Exclusions are whole paths as the walk spells them, and act only inside
// the walk.
TEST_F(ExpansionTest, Exclusions)
{
    file("dir/a.c");
    file("dir/sub/b.c");
    file("dir/sub/deep/c.c");
    file("dir/gen/d.c");
    const ExclusionCase cases[] = {
        {"subdirectory", {"dir"}, {"dir/sub"}, {"dir/a.c", "dir/gen/d.c"}},
        {"two", {"dir"}, {"dir/sub", "dir/gen"}, {"dir/a.c"}},
        {"file in walk", {"dir"}, {"dir/gen/d.c"}, {"dir/a.c", "dir/sub/b.c", "dir/sub/deep/c.c"}},
        {"other spelling", {"dir"}, {"./dir/sub"}, {"dir/a.c", "dir/gen/d.c", "dir/sub/b.c", "dir/sub/deep/c.c"}},
        {"trailing slash", {"dir"}, {"dir/sub/"}, {"dir/a.c", "dir/gen/d.c", "dir/sub/b.c", "dir/sub/deep/c.c"}},
        {"letter case", {"dir"}, {"DIR/SUB"}, {"dir/a.c", "dir/gen/d.c", "dir/sub/b.c", "dir/sub/deep/c.c"}},
        {"dot spelling", {"./dir"}, {"./dir/sub"}, {"./dir/a.c", "./dir/gen/d.c"}},
        {"argument itself", {"dir"}, {"dir"}, {"dir/a.c", "dir/gen/d.c", "dir/sub/b.c", "dir/sub/deep/c.c"}},
        {"file argument", {"dir/sub/b.c"}, {"dir/sub/b.c"}, {"dir/sub/b.c"}},
        {"wildcard result", {"dir/sub/*.c"}, {"dir/sub/b.c"}, {"dir/sub/b.c"}},
    };
    for (const ExclusionCase &c : cases) {
        SCOPED_TRACE(c.label);
        QList<QByteArray> options;
        for (const QByteArray &exclude : c.excludes)
            options << "-exclude" << exclude;
        EXPECT_EQ(sorted(create(c.arguments, options)), c.expected);
    }
}

// Every argument expands on its own, so repeats are added again (one member,
// two lines), and arguments of all kinds mix in order.
TEST_F(ExpansionTest, ArgumentsExpandInOrder)
{
    file("a.c");
    file("dir/b.c");
    EXPECT_EQ(create({"a.c", "a.c"}), (QList<QByteArray>{"a.c", "a.c"}));
    EXPECT_EQ(create({"dir", "a.c", "*.c", "dir/b.c"}),
              (QList<QByteArray>{"dir/b.c", "a.c", "./a.c", "dir/b.c"}));
}

// Links are followed: a linked file is added under the link's name, a linked
// directory is walked; dangling links and other kinds of file are left out.
TEST_F(ExpansionTest, LinksAreFollowed)
{
    file("target.c", "target bytes");
    file("other/x.c");
    file("dir/real.c");
    link("../target.c", "dir/linked.c");
    link("../other", "dir/linkeddir");
    link("nowhere", "dir/dangling.c");
    ASSERT_EQ(mkfifo(full("dir/fifo.c").constData(), 0644), 0);
    link("target.c", "top.c");

    EXPECT_EQ(sorted(create({"dir"})),
              (QList<QByteArray>{"dir/linked.c", "dir/linkeddir/x.c", "dir/real.c"}));
    EXPECT_EQ(create({"top.c"}), QList<QByteArray>{"top.c"});
    EXPECT_EQ(readPackage(sandbox.filePath("pkg.lxPackage")).members.value(0).data,
              QByteArray("target bytes"));
    // The fifo and the dangling link match the pattern but are not regular files.
    EXPECT_EQ(sorted(create({"dir/*.c"})), (QList<QByteArray>{"dir/linked.c", "dir/real.c"}));
}

// A link back to a directory the walk is inside is skipped with a warning;
// a link to a directory elsewhere is walked normally.
TEST_F(ExpansionTest, DirectoryLoopIsSkippedWithWarning)
{
    file("dir/a.c");
    file("dir/sub/b.c");
    link("..", "dir/sub/up");
    link(".", "dir/self");
    link(full("dir"), "dir/sub/absolute");
    link("sub", "dir/twin");

    const QList<QByteArray> added = create({"dir"});
    EXPECT_EQ(sorted(added), (QList<QByteArray>{"dir/a.c", "dir/sub/b.c", "dir/twin/b.c"}));
    QList<QByteArray> warnings = lastError.split('\n');
    warnings.removeAll(QByteArray());
    EXPECT_EQ(sorted(warnings), (QList<QByteArray>{
                                    "warning: directory loop at dir/self",
                                    "warning: directory loop at dir/sub/absolute",
                                    "warning: directory loop at dir/sub/up",
                                    "warning: directory loop at dir/twin/absolute",
                                    "warning: directory loop at dir/twin/up",
                                }));
}

// Names are bytes: Latin-1 and broken UTF-8 names pass through the walk,
// the patterns and file arguments unchanged.
TEST_F(ExpansionTest, NamesAreBytes)
{
    const QByteArray latin1 = "caf\xe9.c";
    const QByteArray brokenUtf8 = "bad\xc3(\xff.h";
    const QByteArray validUtf8 = "gr\xc3\xbc\xc3\x9f" "e.c";
    file("dir/" + latin1, "latin1");
    file("dir/na\xefve dir/" + brokenUtf8);
    file("dir/" + validUtf8);

    EXPECT_EQ(sorted(create({"dir"})),
              sorted({"dir/" + latin1, "dir/na\xefve dir/" + brokenUtf8, "dir/" + validUtf8}));
    EXPECT_EQ(create({"dir/CAF*"}), QList<QByteArray>{"dir/" + latin1});
    EXPECT_EQ(create({"dir/na\xefve dir/" + brokenUtf8}), QList<QByteArray>{"dir/na\xefve dir/" + brokenUtf8});
    EXPECT_EQ(create({"dir/*\xc3\xbc*"}), QList<QByteArray>{"dir/" + validUtf8});
}

} // namespace
