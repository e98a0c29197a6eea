// The dependency file a build asks for with DURIV_DEPFILE: the rule's form
// and names, and what -c and -r list in it.
#include "package/hexception.h"
#include "tool/dependencyfile.h"
#include "tool/tests/testsupport.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <functional>

namespace {

std::string thrownMessage(const std::function<void()> &f)
{
    try {
        f();
    } catch (const HException &error) {
        return error.message().toStdString();
    }
    return "<no exception>";
}

// Names are absolute, without "." pieces or doubled "/", and escaped as
// make reads them.
TEST(DependencyFileTest, NamesAreAbsoluteAndEscapedForMake)
{
    ToolSandbox sandbox;
    const struct {
        QByteArray input;
        QByteArray written;
    } rows[] = {
        {"relative/x.c", QFile::encodeName(QDir::currentPath()) + "/relative/x.c"},
        {"/d/./e//f/", "/d/e/f"},
        {"/d/../e", "/d/../e"},
        {"/d/with space.c", "/d/with\\ space.c"},
        {"/d/tab\there", "/d/tab\\\there"},
        {"/d/back\\ slash", "/d/back\\\\\\ slash"},
        {"/d/trailing\\", "/d/trailing\\"},
        {"/d/hash#1", "/d/hash\\#1"},
        {"/d/dollar$x", "/d/dollar$$x"},
        {"/d/colon:c", "/d/colon:c"},
        {"/d/caf\xe9", "/d/caf\xe9"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.input.constData());
        DependencyFile file(sandbox.filePath("out.d"), "/t");
        file.add(pathFromBytes(row.input));
        file.write();
        EXPECT_EQ(sandbox.readFile("out.d"), "/t: \\\n " + row.written + "\n");
    }
}

// One input per continued line, each once, in the order added; the target
// is named the same way.
TEST(DependencyFileTest, OneRuleWithEachInputOnce)
{
    ToolSandbox sandbox;
    DependencyFile file(sandbox.filePath("out.d"), "/out dir/p.lxPackage");
    file.add("/in/b");
    file.add("/in/a");
    file.add("/in/./b");
    file.write();
    EXPECT_EQ(sandbox.readFile("out.d"), "/out\\ dir/p.lxPackage: \\\n /in/b \\\n /in/a\n");

    DependencyFile empty(sandbox.filePath("empty.d"), "/t");
    empty.write();
    EXPECT_EQ(sandbox.readFile("empty.d"), "/t:\n");
}

// No path, no file; a name make cannot read and a file that cannot be
// written are errors, and leave nothing behind.
TEST(DependencyFileTest, FailuresAndTheFileNotAskedFor)
{
    ToolSandbox sandbox;
    DependencyFile none(QString(), "/t");
    none.add("/in/line\nbreak");
    none.write();
    EXPECT_EQ(readdirOrder(pathBytes(sandbox.path())), QList<QByteArray>());

    DependencyFile file(sandbox.filePath("out.d"), "/t");
    EXPECT_EQ(thrownMessage([&] { file.add("/in/line\nbreak"); }),
              "cannot list in dependency file /in/line\nbreak");
    EXPECT_EQ(thrownMessage([&] { DependencyFile(sandbox.filePath("out.d"), "/t\r"); }),
              "cannot list in dependency file /t\r");

    const QString missing = sandbox.filePath("missing/out.d");
    DependencyFile unwritable(missing, "/t");
    EXPECT_EQ(thrownMessage([&] { unwritable.write(); }),
              "cannot write dependency file " + pathBytes(missing).toStdString());
    EXPECT_EQ(readdirOrder(pathBytes(sandbox.path())), QList<QByteArray>());
}

// -c lists every directory it walked or matched a wildcard in and every file
// it added, and writes the rule only once the package is in place.
TEST(DependencyFileTest, CreateListsDirectoriesAndFiles)
{
    ToolSandbox sandbox;
    sandbox.writeFile("src/a.c", "a");
    sandbox.writeFile("src/gen/g.c", "g");
    sandbox.writeFile("src/sub/b.c", "b");
    sandbox.writeFile("inc/x.h", "x");
    sandbox.writeFile("notes.txt", "n");
    ToolRunOptions options;
    options.environment = {{"DURIV_DEPFILE", "build/p.d"}, {"SOURCE_DATE_EPOCH", "0"}};
    sandbox.makeDirectory("build");
    const QList<QByteArray> arguments = {"-c", "build/p.lxPackage", "-exclude", "src/gen", "src", "inc/*.h",
                                         "notes.txt"};
    const ToolRun run = sandbox.run(arguments, options);
    ASSERT_EQ(run.status, 0) << run.err.constData();
    const QByteArray root = pathBytes(sandbox.path());
    EXPECT_EQ(sandbox.readFile("build/p.d"), root + "/build/p.lxPackage: \\\n " +
                                                 root + "/src \\\n " +
                                                 root + "/src/sub \\\n " +
                                                 root + "/inc \\\n " +
                                                 root + "/src/a.c \\\n " +
                                                 root + "/src/sub/b.c \\\n " +
                                                 root + "/inc/x.h \\\n " +
                                                 root + "/notes.txt\n");

    const ToolRun failed = sandbox.run({"-c", "build/q.lxPackage", "nowhere/*.c"}, options);
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(failed.err, "error: can't open nowhere\n");
    EXPECT_FALSE(sandbox.exists("build/q.lxPackage"));
    EXPECT_TRUE(sandbox.readFile("build/p.d").startsWith(root + "/build/p.lxPackage:"));
}

} // namespace
