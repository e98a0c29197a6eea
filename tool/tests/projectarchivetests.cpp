// duriv -hzr end to end: the binary copied into a temporary installation
// with its own targets directory, HOME in the sandbox.
#include "tool/projectarchive.h"
#include "tool/tests/testsupport.h"

#include <QFile>

#include <gtest/gtest.h>


namespace {

const char kTemplates[] = R"xml(<!DOCTYPE Project_Templates_File>
<projects>
  <project template_name="Exe" type="Executable">
    <folder name="Source Files" filter="c;h">
      <file name="$(ProjectDir)/startup.c" />
      <file name="$(StudioDir)/source/crt0.s" expand="no" />
    </folder>
    <configuration name="$(Configuration)" />
  </project>
</projects>
)xml";

// A sandbox holding an installation of the binary with its own templates.
struct ProjectArchiveTest : ::testing::Test {
    void SetUp() override
    {
        sandbox.makeDirectory("install/bin");
        sandbox.makeDirectory("work");
        ASSERT_TRUE(QFile::copy(QString::fromLocal8Bit(durivBinary()), sandbox.filePath("install/bin/duriv")));
        sandbox.writeFile("install/targets/project_templates.xml", kTemplates);
    }
    // Runs the installed copy in <sandbox>/work.
    ToolRun hzr(const QList<QByteArray> &arguments) const
    {
        return sandbox.run(QList<QByteArray>{"-hzr"} + arguments,
                           {work(""), {}, {}, sandbox.full("install/bin/duriv")});
    }
    QList<QByteArray> members(const QString &archive) const { return readPackage(work(archive)).names(); }
    QString work(const QString &relative) const { return sandbox.filePath("work/" + relative); }
    ToolSandbox sandbox;
};

QByteArray solution(const QByteArray &body, const QByteArray &attributes = "")
{
    return "<!DOCTYPE Kestrel_Project_File>\n<solution Name=\"s\" version=\"2\"" + attributes +
           ">\n" + body + "</solution>\n";
}

// Pieces compare case-sensitively; nothing in common means no name (null).
TEST(ProjectArchiveNames, RelativeAndDefaultNames)
{
    const char *relative[][3] = { // the common cases are in the end-to-end test below
        {"/a/b/../common/u.c", "/a/b", "../common/u.c"}, {"/a/b/x.c", "/a/b/c/d", "../../x.c"},
        {"/a/b/x.c", "/a/b/", "x.c"}, {"/A/b/x.c", "/a/b", nullptr}, {"x.c", "/anything", "x.c"}};
    for (const auto &c : relative) {
        const QString name = relativeFileName(c[0], c[1]);
        EXPECT_EQ(name, QString(c[2])) << c[0] << " " << c[1];
        EXPECT_EQ(name.isNull(), !c[2]) << c[0] << " " << c[1];
    }
    EXPECT_EQ(defaultArchiveName("plain"), "plain.lxArchive");
}

// Macro names, files on another branch, duplicates and configuration
// children are left out; names are the paths' UTF-8 bytes; a dynamic folder
// adds what its filter matches, the template (from the installation's
// targets) its expanded file and the import its own files, resolved with its
// macros; the description comes last.
TEST_F(ProjectArchiveTest, ArchivesTheSolutionItsBranchAndItsDescription)
{
    const QByteArray utf8 = "src/d\xc3\xa9mo \xe2\x82\xac.c";
    sandbox.writeFile("work/proj/p.lxProject",
                      solution("  <project Name=\"app\" template_name=\"Exe\" template_configurations=\"Debug\">\n"
                               "    <folder Name=\"src\">\n"
                               "      <file file_name=\"src/main.c\" />\n      <file file_name=\"../common/util.c\" />\n"
                               "      <file file_name=\"$(ProjectDir)/macro.c\" />\n"
                               "      <file file_name=\"./src/main.c\" />\n      <file file_name=\"/etc/passwd\" />\n"
                               "      <file file_name=\"" + utf8 + "\" />\n    </folder>\n"
                               "    <folder Name=\"inc\" path=\"include\" filter=\"*.h\" recurse=\"Yes\" />\n"
                               "    <configuration Name=\"Debug\">\n"
                               "      <file file_name=\"debug_only.c\" />\n    </configuration>\n  </project>\n"
                               "  <import file_name=\"lib/lib.lxProject\" macros=\"LIB=ring\" />\n"));
    sandbox.writeFile("work/proj/lib/lib.lxProject",
                      solution("  <define name=\"SRC\" value=\"$(LIB).c\" />\n  <project Name=\"lib\">\n"
                               "    <file file_name=\"$(SRC)\" />\n"
                               "    <ifdef name=\"LIB\"><file file_name=\"ring.h\" /></ifdef>\n  </project>\n"));
    sandbox.writeFile("work/proj/src/main.c", "int main(void) { return 0; }\n", 0640, utcTime(2021, 3, 4, 5, 6, 7));
    sandbox.writeFile("work/common/util.c", "void util(void) {}\n");
    sandbox.writeFile("work/proj/" + QString::fromLatin1(utf8), "/* utf-8 name */\n");
    for (const char *other : {"include/sub/a.h", "startup.c", "lib/ring.c", "lib/ring.h", "macro.c", "debug_only.c",
                              "include/skip.txt"})
        sandbox.writeFile(QString("work/proj/") + other, QByteArray("bytes of ") + other);
    sandbox.writeFile("work/proj/p_package.xml", "<package name=\"p\" version=\"1\"/>\n");
    ToolRun run = hzr({"proj/p.lxProject"});
    ASSERT_EQ(run.status, 0) << run.err.constData();
    EXPECT_EQ(run.out + run.err, QByteArray());
    const StoredPackage stored = readPackage(work("p.lxArchive"));
    EXPECT_EQ(stored.names(), (QList<QByteArray>{"p.lxProject", "src/main.c", "../common/util.c", utf8,
                                                 "include/sub/a.h", "startup.c", "lib/lib.lxProject", "lib/ring.c",
                                                 "lib/ring.h", "p_package.xml"}));
    for (const Member &member : stored.members)
        EXPECT_EQ(member.data, fileBytes(sandbox.full("work/proj/" + member.name))) << member.name.constData();
    EXPECT_EQ(stored.members.value(1).time, quint32(utcTime(2021, 3, 4, 5, 6, 7)));
}

TEST_F(ProjectArchiveTest, OutputNames)
{
    sandbox.writeFile("work/deep/dir/a.b.lxProject", solution(""));
    ToolRun run = hzr({"deep/dir/a.b.lxProject"});
    ASSERT_EQ(run.status, 0) << run.err.constData();
    // The base name stops at the first "." and the archive lands here;
    // without a description beside the project there is no description member.
    EXPECT_EQ(members("a.lxArchive"), QList<QByteArray>{"a.b.lxProject"});
    sandbox.makeDirectory("work/out");
    run = hzr({"deep/dir/a.b.lxProject", "out/named.pkg", "ignored"});
    ASSERT_EQ(run.status, 0) << run.err.constData();
    EXPECT_EQ(members("out/named.pkg"), QList<QByteArray>{"a.b.lxProject"});
    // An existing archive is overwritten, with a new archive's defaults (the
    // legacy wrapper, zlib) whatever the options; -v prints nothing.
    sandbox.writeFile("work/a.lxArchive", "old bytes");
    run = hzr({"deep/dir/a.b.lxProject", "-compress", "0", "-bzip2", "-v", "-readonly"});
    ASSERT_EQ(run.status, 0) << run.err.constData();
    EXPECT_EQ(run.out, QByteArray());
    EXPECT_EQ(sandbox.readFile("work/a.lxArchive").left(4), QByteArray("\x7a\xf4\x31\xb2", 4));
}

// The loader's subject (the file name) is not printed; a listed file that
// cannot be read stops the command before anything is written.
TEST_F(ProjectArchiveTest, ErrorsLeaveNoArchive)
{
    const struct {
        const char *name;
        QByteArray text; ///< empty: no such file
        QByteArray error;
    } cases[] = {
        {"missing", "", "error:  does not exist\n"},
        {"t", solution("  <project Name=\"app\" template_name=\"NoSuch\" />\n"), "error: project template not found\n"},
        {"n", "<!DOCTYPE Other_File>\n<solution Name=\"x\"/>\n", "error:  not a solution file\n"},
        {"u", solution("  <project Name=\"app\">\n    <file file_name=\"gone.c\" />\n  </project>\n"),
         "error: cannot read " + pathBytes(work("gone.c")) + "\n"},
    };
    for (const auto &c : cases) {
        const QString name = QString("work/") + c.name;
        if (!c.text.isEmpty())
            sandbox.writeFile(name + ".lxProject", c.text);
        sandbox.writeFile(name + ".lxArchive", "previous");
        const ToolRun run = hzr({QByteArray(c.name) + ".lxProject"});
        EXPECT_EQ(run.status, 1) << c.name;
        EXPECT_EQ(run.err, c.error);
        EXPECT_EQ(sandbox.readFile(name + ".lxArchive"), "previous");
    }
}

} // namespace
