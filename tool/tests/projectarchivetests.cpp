// duriv -hzr end to end: the binary copied into a temporary installation
// (<tmp>/bin/duriv, with the test's own <tmp>/targets), HOME in the sandbox.
#include "tool/projectarchive.h"
#include "tool/tests/testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

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

// A sandbox that also holds an installation of the binary.
class ProjectArchiveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        sandbox.makeDirectory(QStringLiteral("install/bin"));
        sandbox.makeDirectory(QStringLiteral("home"));
        sandbox.makeDirectory(QStringLiteral("work"));
        binary = sandbox.filePath(QStringLiteral("install/bin/duriv"));
        ASSERT_TRUE(QFile::copy(QString::fromLocal8Bit(durivBinary()), binary));
        sandbox.writeFile(QStringLiteral("install/targets/project_templates.xml"), kTemplates);
    }

    // Runs the installed copy in <sandbox>/work; arguments are UTF-8.
    ToolRun hzr(const QStringList &arguments) const
    {
        QProcess process;
        process.setWorkingDirectory(sandbox.filePath(QStringLiteral("work")));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), sandbox.filePath(QStringLiteral("home")));
        environment.remove(QStringLiteral("MARROWGATE_ROOT_USER_DIR"));
        environment.insert(QStringLiteral("TZ"), QStringLiteral("UTC"));
        process.setProcessEnvironment(environment);
        process.start(binary, QStringList{QStringLiteral("-hzr")} + arguments);
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

    // Member names of an archive, in order, read back with the packaged -t.
    QStringList members(const QString &archive) const
    {
        ToolRun list = sandbox.run({"-t", pathBytes(archive)});
        EXPECT_EQ(list.status, 0) << list.err.constData();
        QStringList names;
        const QList<QByteArray> lines = list.out.split('\n');
        for (const QByteArray &line : lines) {
            // "%s  %8lu  %s  %s": permissions, size, a 12-column date, name.
            if (line.size() < 12 || !line.startsWith('-'))
                continue;
            int at = 12;
            while (at < line.size() && line[at] == ' ')
                ++at;
            while (at < line.size() && line[at] != ' ')
                ++at;
            names << QString::fromLatin1(line.mid(at + 2 + 12 + 2));
        }
        return names;
    }

    QString work(const QString &relative) const
    {
        return sandbox.filePath(QStringLiteral("work/") + relative);
    }

    ToolSandbox sandbox;
    QString binary;
};

QByteArray solution(const QByteArray &body, const QByteArray &attributes = "")
{
    return "<!DOCTYPE Kestrel_Project_File>\n<solution Name=\"s\" version=\"2\"" + attributes +
           ">\n" + body + "</solution>\n";
}

} // namespace

TEST(RelativeFileName, ClimbsAndDescendsByPieces)
{
    EXPECT_EQ(relativeFileName("/a/b/src/main.c", "/a/b"), "src/main.c");
    EXPECT_EQ(relativeFileName("/a/common/u.c", "/a/b"), "../common/u.c");
    EXPECT_EQ(relativeFileName("/a/b/../common/u.c", "/a/b"), "../common/u.c");
    EXPECT_EQ(relativeFileName("/a/b/x.c", "/a/b/c/d"), "../../x.c");
    EXPECT_EQ(relativeFileName("/a/b/x.c", "/a/b/"), "x.c");
    // Pieces compare case-sensitively; nothing in common means no name.
    EXPECT_EQ(relativeFileName("/A/b/x.c", "/a/b"), QString());
    EXPECT_TRUE(relativeFileName("/opt/x.c", "/home/p").isNull());
    EXPECT_EQ(relativeFileName("x.c", "/anything"), "x.c");
}

TEST(DefaultArchiveName, StopsAtTheFirstDot)
{
    EXPECT_EQ(defaultArchiveName("dir/p.lxProject"), "p.lxArchive");
    EXPECT_EQ(defaultArchiveName("/x/a.b.lxProject"), "a.lxArchive");
    EXPECT_EQ(defaultArchiveName("plain"), "plain.lxArchive");
}

TEST_F(ProjectArchiveTest, ArchivesTheSolutionItsBranchAndItsDescription)
{
    sandbox.writeFile("work/proj/p.lxProject",
                      solution("  <project Name=\"app\">\n"
                               "    <folder Name=\"src\">\n"
                               "      <file file_name=\"src/main.c\" />\n"
                               "      <file file_name=\"../common/util.c\" />\n"
                               "      <file file_name=\"$(ProjectDir)/macro.c\" />\n"
                               "      <file file_name=\"./src/main.c\" />\n"
                               "      <file file_name=\"/etc/passwd\" />\n"
                               "    </folder>\n"
                               "    <configuration Name=\"Debug\">\n"
                               "      <file file_name=\"debug_only.c\" />\n"
                               "    </configuration>\n"
                               "  </project>\n"));
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
    ToolRun out = sandbox.run({"-f", pathBytes(work("p.lxArchive")), "*util.c"});
    EXPECT_EQ(out.out, "void util(void) {}\n");
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
    EXPECT_EQ(members(work("out/named.pkg")), QStringList({"a.b.lxProject"}));
    // Without a description beside the project there is no description member.
    EXPECT_FALSE(members(work("out/named.pkg")).contains("a.b_package.xml"));

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
                               "template_configurations=\"Debug;Release\">\n"
                               "    <folder Name=\"Source Files\">\n"
                               "      <file file_name=\"main.c\" />\n"
                               "    </folder>\n"
                               "  </project>\n"
                               "  <import file_name=\"lib/lib.lxProject\" macros=\"LIB=ring\" />\n"));
    sandbox.writeFile("work/proj/main.c", "int main(void) { return 0; }\n");
    sandbox.writeFile("work/proj/startup.c", "void _start(void) {}\n");
    sandbox.writeFile("work/proj/lib/lib.lxProject",
                      solution("  <define name=\"SRC\" value=\"$(LIB).c\" />\n"
                               "  <project Name=\"lib\">\n"
                               "    <file file_name=\"$(SRC)\" />\n"
                               "    <ifdef name=\"LIB\"><file file_name=\"ring.h\" /></ifdef>\n"
                               "  </project>\n"));
    sandbox.writeFile("work/proj/lib/ring.c", "int ring;\n");
    sandbox.writeFile("work/proj/lib/ring.h", "extern int ring;\n");

    ToolRun run = hzr({"proj/p.lxProject"});
    ASSERT_EQ(run.status, 0) << run.err.constData();
    // The template's expanded file is archived, its unexpanded one is not; the
    // import's preprocessor sections resolve with the import's macros.
    const QStringList names = members(work("p.lxArchive"));
    EXPECT_EQ(names, QStringList({"p.lxProject", "main.c", "startup.c", "lib/lib.lxProject",
                                  "lib/ring.c", "lib/ring.h"}));
}

TEST_F(ProjectArchiveTest, ErrorsLeaveNoArchive)
{
    ToolRun run = hzr({"missing.lxProject"});
    EXPECT_EQ(run.status, 1);
    // The loader's subject (the file name) is not printed.
    EXPECT_EQ(run.err, "error:  does not exist\n");

    sandbox.writeFile("work/t.lxProject",
                      solution("  <project Name=\"app\" template_name=\"NoSuch\" />\n"));
    run = hzr({"t.lxProject"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "error: project template not found\n");
    EXPECT_FALSE(sandbox.exists("work/t.lxArchive"));

    sandbox.writeFile("work/n.lxProject", "<!DOCTYPE Other_File>\n<solution Name=\"x\"/>\n");
    run = hzr({"n.lxProject"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "error:  not a solution file\n");

    // A listed file that cannot be read stops the command before anything is written.
    sandbox.writeFile("work/u.lxProject",
                      solution("  <project Name=\"app\">\n"
                               "    <file file_name=\"gone.c\" />\n"
                               "  </project>\n"));
    sandbox.writeFile("work/u.lxArchive", "previous");
    run = hzr({"u.lxProject"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "error: cannot read " + pathBytes(work("gone.c")) + "\n");
    EXPECT_EQ(sandbox.readFile("work/u.lxArchive"), "previous");
}

TEST_F(ProjectArchiveTest, ExtractionReproducesTheProject)
{
    const QString utf8Name = QString::fromUtf8("src/d\xc3\xa9mo \xe2\x82\xac.c");
    sandbox.writeFile("work/proj/p.lxProject",
                      solution("  <project Name=\"app\">\n"
                               "    <file file_name=\"src/main.c\" />\n"
                               "    <file file_name=\"" + utf8Name.toUtf8() + "\" />\n"
                               "    <folder Name=\"inc\" path=\"include\" filter=\"*.h\" "
                               "recurse=\"Yes\" />\n"
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
    for (const QString &file : {QStringLiteral("p.lxProject"), QStringLiteral("src/main.c"),
                                utf8Name, QStringLiteral("include/sub/a.h")}) {
        QFile original(work("proj/" + file));
        QFile copy(work("copy/" + file));
        ASSERT_TRUE(original.open(QIODevice::ReadOnly)) << qPrintable(file);
        ASSERT_TRUE(copy.open(QIODevice::ReadOnly)) << qPrintable(file);
        EXPECT_EQ(original.readAll(), copy.readAll()) << qPrintable(file);
    }
    const QByteArray main = QFile::encodeName(work("copy/src/main.c"));
    // A new archive is written in the legacy form, whose records carry no
    // mode: a writable member comes back 0666.
    EXPECT_EQ(fileMode(main) & 0777, 0666u);
    EXPECT_EQ(fileTime(main), utcTime(2021, 3, 4, 5, 6, 7));
}
