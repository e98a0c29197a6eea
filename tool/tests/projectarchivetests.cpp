// duriv -hzr end to end: the binary copied into a temporary installation
// with its own targets directory, HOME in the sandbox.
#include "tool/projectarchive.h"
#include "tool/tests/testsupport.h"

#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>

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
class ProjectArchiveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        sandbox.makeDirectory("install/bin");
        sandbox.makeDirectory("home");
        sandbox.makeDirectory("work");
        binary = sandbox.filePath("install/bin/duriv");
        ASSERT_TRUE(QFile::copy(QString::fromLocal8Bit(durivBinary()), binary));
        sandbox.writeFile("install/targets/project_templates.xml", kTemplates);
    }

    // Runs the installed copy in <sandbox>/work; arguments are UTF-8.
    ToolRun hzr(const QStringList &arguments) const
    {
        QProcess process;
        process.setWorkingDirectory(work(""));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("HOME", sandbox.filePath("home"));
        environment.remove("MARROWGATE_ROOT_USER_DIR");
        environment.insert("TZ", "UTC");
        process.setProcessEnvironment(environment);
        process.start(binary, QStringList{"-hzr"} + arguments);
        ToolRun run;
        if (!process.waitForFinished(60000)) {
            ADD_FAILURE() << "duriv -hzr did not finish";
            return run;
        }
        run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        run.out = process.readAllStandardOutput();
        run.err = process.readAllStandardError();
        return run;
    }

    // Member names of an archive, in order, read back with the library.
    QStringList members(const QString &archive) const
    {
        QStringList names;
        for (const QByteArray &name : readPackage(archive).names())
            names << QString::fromLatin1(name);
        return names;
    }

    QString work(const QString &relative) const { return sandbox.filePath("work/" + relative); }

    ToolSandbox sandbox;
    QString binary;
};

QByteArray solution(const QByteArray &body, const QByteArray &attributes = "")
{
    return "<!DOCTYPE Kestrel_Project_File>\n<solution Name=\"s\" version=\"2\"" + attributes +
           ">\n" + body + "</solution>\n";
}

} // namespace

// Pieces compare case-sensitively; nothing in common means no name.
TEST(ProjectArchiveNames, RelativeAndDefaultNames)
{
    const char *relative[][3] = {
        {"/a/b/src/main.c", "/a/b", "src/main.c"}, {"/a/common/u.c", "/a/b", "../common/u.c"},
        {"/a/b/../common/u.c", "/a/b", "../common/u.c"}, {"/a/b/x.c", "/a/b/c/d", "../../x.c"},
        {"/a/b/x.c", "/a/b/", "x.c"}, {"/A/b/x.c", "/a/b", nullptr}, {"/opt/x.c", "/home/p", nullptr},
        {"x.c", "/anything", "x.c"},
    };
    for (const auto &c : relative)
        EXPECT_EQ(relativeFileName(c[0], c[1]), c[2] ? QString(c[2]) : QString()) << c[0] << " " << c[1];
    EXPECT_TRUE(relativeFileName("/opt/x.c", "/home/p").isNull());
    EXPECT_EQ(defaultArchiveName("dir/p.lxProject"), "p.lxArchive");
    EXPECT_EQ(defaultArchiveName("/x/a.b.lxProject"), "a.lxArchive");
    EXPECT_EQ(defaultArchiveName("plain"), "plain.lxArchive");
}

TEST_F(ProjectArchiveTest, ArchivesTheSolutionItsBranchAndItsDescription)
{
    sandbox.writeFile("work/proj/p.lxProject",
                      solution("  <project Name=\"app\">\n    <folder Name=\"src\">\n"
                               "      <file file_name=\"src/main.c\" />\n"
                               "      <file file_name=\"../common/util.c\" />\n"
                               "      <file file_name=\"$(ProjectDir)/macro.c\" />\n"
                               "      <file file_name=\"./src/main.c\" />\n      <file file_name=\"/etc/passwd\" />\n"
                               "    </folder>\n    <configuration Name=\"Debug\">\n"
                               "      <file file_name=\"debug_only.c\" />\n    </configuration>\n  </project>\n"));
    sandbox.writeFile("work/proj/src/main.c", "int main(void) { return 0; }\n");
    sandbox.writeFile("work/common/util.c", "void util(void) {}\n");
    sandbox.writeFile("work/proj/macro.c", "/* named through a macro */\n");
    sandbox.writeFile("work/proj/debug_only.c", "/* below a configuration */\n");
    sandbox.writeFile("work/proj/p_package.xml", "<package name=\"p\" version=\"1\"/>\n");

    ToolRun run = hzr({"proj/p.lxProject"});
    ASSERT_EQ(run.status, 0) << run.err.constData();
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_TRUE(run.err.isEmpty());
    // Macro names, files on another branch, duplicates and configuration
    // children are left out; the description comes last.
    EXPECT_EQ(members(work("p.lxArchive")),
              QStringList({"p.lxProject", "src/main.c", "../common/util.c", "p_package.xml"}));

    // The member bytes are the files' bytes.
    EXPECT_EQ(readPackage(work("p.lxArchive")).members.value(2).data, "void util(void) {}\n");
}

TEST_F(ProjectArchiveTest, OutputNames)
{
    sandbox.writeFile("work/deep/dir/a.b.lxProject", solution(""));
    ToolRun run = hzr({"deep/dir/a.b.lxProject"});
    ASSERT_EQ(run.status, 0) << run.err.constData();
    // The base name stops at the first "." and the archive lands here.
    EXPECT_TRUE(sandbox.exists("work/a.lxArchive"));
    EXPECT_EQ(members(work("a.lxArchive")), QStringList({"a.b.lxProject"}));

    run = hzr({"deep/dir/a.b.lxProject", "out/named.pkg", "ignored"});
    EXPECT_NE(run.status, 0) << "no directory out/ exists";
    EXPECT_FALSE(sandbox.exists("work/out/named.pkg"));
    sandbox.makeDirectory("work/out");
    run = hzr({"deep/dir/a.b.lxProject", "out/named.pkg", "ignored"});
    ASSERT_EQ(run.status, 0) << run.err.constData();
    // Without a description beside the project there is no description member.
    EXPECT_EQ(members(work("out/named.pkg")), QStringList({"a.b.lxProject"}));

    // An existing archive of that name is overwritten.
    sandbox.writeFile("work/a.lxArchive", "old bytes");
    run = hzr({"deep/dir/a.b.lxProject", "-compress", "0", "-bzip2", "-v", "-readonly"});
    ASSERT_EQ(run.status, 0) << run.err.constData();
    EXPECT_TRUE(run.out.isEmpty()) << "-v has no effect here";
    const QByteArray header = sandbox.readFile("work/a.lxArchive").left(4);
    // A new archive's defaults (the legacy wrapper, zlib) whatever the options.
    EXPECT_EQ(header, QByteArray("\x7a\xf4\x31\xb2", 4));
}

TEST_F(ProjectArchiveTest, TemplatesAndImportsReachTheArchive)
{
    sandbox.writeFile("work/proj/p.lxProject",
                      solution("  <project Name=\"app\" template_name=\"Exe\" "
                               "template_configurations=\"Debug;Release\">\n    <folder Name=\"Source Files\">\n"
                               "      <file file_name=\"main.c\" />\n    </folder>\n  </project>\n"
                               "  <import file_name=\"lib/lib.lxProject\" macros=\"LIB=ring\" />\n"));
    sandbox.writeFile("work/proj/main.c", "int main(void) { return 0; }\n");
    sandbox.writeFile("work/proj/startup.c", "void _start(void) {}\n");
    sandbox.writeFile("work/proj/lib/lib.lxProject",
                      solution("  <define name=\"SRC\" value=\"$(LIB).c\" />\n  <project Name=\"lib\">\n"
                               "    <file file_name=\"$(SRC)\" />\n"
                               "    <ifdef name=\"LIB\"><file file_name=\"ring.h\" /></ifdef>\n  </project>\n"));
    sandbox.writeFile("work/proj/lib/ring.c", "int ring;\n");
    sandbox.writeFile("work/proj/lib/ring.h", "extern int ring;\n");

    ToolRun run = hzr({"proj/p.lxProject"});
    ASSERT_EQ(run.status, 0) << run.err.constData();
    // The template's expanded file is archived, its unexpanded one is not; the
    // import's preprocessor sections resolve with the import's macros.
    EXPECT_EQ(members(work("p.lxArchive")), QStringList({"p.lxProject", "main.c", "startup.c", "lib/lib.lxProject",
                                  "lib/ring.c", "lib/ring.h"}));
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
        const ToolRun run = hzr({QString(c.name) + ".lxProject"});
        EXPECT_EQ(run.status, 1) << c.name;
        EXPECT_EQ(run.err, c.error);
        EXPECT_EQ(sandbox.readFile(name + ".lxArchive"), "previous");
    }
}

TEST_F(ProjectArchiveTest, ExtractionReproducesTheProject)
{
    const QString utf8Name = QString::fromUtf8("src/d\xc3\xa9mo \xe2\x82\xac.c");
    sandbox.writeFile("work/proj/p.lxProject",
                      solution("  <project Name=\"app\">\n    <file file_name=\"src/main.c\" />\n"
                               "    <file file_name=\"" + utf8Name.toUtf8() + "\" />\n"
                               "    <folder Name=\"inc\" path=\"include\" filter=\"*.h\" recurse=\"Yes\" />\n"
                               "  </project>\n"));
    sandbox.writeFile("work/proj/src/main.c", "int main(void) { return 0; }\n", 0640,
                      utcTime(2021, 3, 4, 5, 6, 7));
    // The sandbox takes names as bytes, one character each.
    sandbox.writeFile("work/proj/" + QString::fromLatin1(utf8Name.toUtf8()), "/* utf-8 name */\n");
    sandbox.writeFile("work/proj/include/sub/a.h", "#define A 1\n");
    sandbox.writeFile("work/proj/include/skip.txt", "not a header\n");

    ToolRun run = hzr({"proj/p.lxProject"});
    ASSERT_EQ(run.status, 0) << run.err.constData();
    QStringList names = members(work("p.lxArchive"));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, QStringList({"include/sub/a.h", "p.lxProject",
                                  QString::fromLatin1(utf8Name.toUtf8()), "src/main.c"}));

    ToolRun extract = sandbox.run({"-x", pathBytes(work("p.lxArchive")), pathBytes(work("copy"))});
    ASSERT_EQ(extract.status, 0) << extract.err.constData();
    for (const QString &file : {QString("p.lxProject"), QString("src/main.c"), utf8Name, QString("include/sub/a.h")}) {
        const QByteArray original = fileBytes(QFile::encodeName(work("proj/" + file)));
        EXPECT_FALSE(original.isEmpty()) << qPrintable(file);
        EXPECT_EQ(fileBytes(QFile::encodeName(work("copy/" + file))), original) << qPrintable(file);
    }
    const QByteArray main = QFile::encodeName(work("copy/src/main.c"));
    // A new archive is the legacy form, whose records carry no mode: 0666.
    EXPECT_EQ(fileMode(main) & 0777, 0666u);
    EXPECT_EQ(fileTime(main), utcTime(2021, 3, 4, 5, 6, 7));
}
