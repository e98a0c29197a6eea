// duriv -hzr end to end, hostile inputs included: the binary copied into a
// temporary installation with its own targets directory, HOME in the
// sandbox, every run with a time limit so that a wait fails instead of hangs.
#include "tool/tests/testsupport.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

QByteArray solution(const QByteArray &body, const QByteArray &attributes = "")
{
    return R"(<!DOCTYPE Kestrel_Project_File>
<solution Name="s" version="2")" + attributes + ">\n" + body + "</solution>\n";
}

/// A solution body with one project listing `file`.
QByteArray projectListing(const QByteArray &file)
{
    return R"(  <project Name="app">
    <file file_name=")" + file + R"(" />
  </project>
)";
}

// Generous: these runs take milliseconds, and a run that waits is the fault.
constexpr unsigned kHangLimitSeconds = 60;

// A sandbox holding an installation of the binary with its own templates.
struct ProjectArchiveTest : ::testing::Test {
    void SetUp() override
    {
        sandbox.makeDirectory("install/bin");
        sandbox.makeDirectory("work");
        ASSERT_TRUE(QFile::copy(QString::fromLocal8Bit(durivBinary()), sandbox.filePath("install/bin/duriv")));
        sandbox.writeFile("install/targets/project_templates.xml", kTemplates);
    }
    // Runs the installed copy in <sandbox>/work, ended at the time limit.
    ToolRun hzr(const QList<QByteArray> &arguments, ToolRunOptions options = {}) const
    {
        options.workingDirectory = work("");
        options.binary = sandbox.full("install/bin/duriv");
        options.timeLimitSeconds = kHangLimitSeconds;
        return sandbox.run(QList<QByteArray>{"-hzr"} + arguments, options);
    }
    /// The sandbox as the tool names it: canonical, as system bytes.
    QByteArray root() const { return QFile::encodeName(QFileInfo(sandbox.path()).canonicalFilePath()); }
    QList<QByteArray> members(const QString &archive) const { return readPackage(work(archive)).names(); }
    QString work(const QString &relative) const { return sandbox.filePath("work/" + relative); }
    QByteArray workBytes(const QByteArray &relative) const { return sandbox.full("work/" + relative); }
    /// work/p.lxProject, listing src/main.c, and the file.
    void writeSmallProject() const
    {
        sandbox.writeFile("work/p.lxProject", solution(projectListing("src/main.c")));
        sandbox.writeFile("work/src/main.c", "int main;\n");
    }
    ToolSandbox sandbox;
};

// Macro names, files on another branch, duplicates and configuration
// children are left out; names are the paths' UTF-8 bytes; a dynamic folder
// adds what its filter matches, the template (from the installation's
// targets) its expanded file and the import its own files; the description
// comes last.
TEST_F(ProjectArchiveTest, ArchivesTheSolutionItsBranchAndItsDescription)
{
    const QByteArray utf8 = "src/d\xc3\xa9mo \xe2\x82\xac.c";
    sandbox.writeFile("work/proj/p.lxProject", solution(R"(  <project Name="app" template_name="Exe" template_configurations="Debug">
    <folder Name="src">
      <file file_name="src/main.c" />
      <file file_name="../common/util.c" />
      <file file_name="$(ProjectDir)/macro.c" />
      <file file_name="./src/main.c" />
      <file file_name="/etc/passwd" />
      <file file_name=")" + utf8 + R"(" />
    </folder>
    <folder Name="inc" path="include" filter="*.h" recurse="Yes" />
    <configuration Name="Debug">
      <file file_name="debug_only.c" />
    </configuration>
  </project>
  <import file_name="lib/lib.lxProject" />
)"));
    sandbox.writeFile("work/proj/lib/lib.lxProject", solution(projectListing("ring.c")));
    sandbox.writeFile("work/proj/src/main.c", "int main(void) { return 0; }\n");
    sandbox.writeFile("work/common/util.c", "void util(void) {}\n");
    sandbox.writeFile("work/proj/" + QString::fromLatin1(utf8), "/* utf-8 name */\n");
    for (const char *other : {"include/sub/a.h", "startup.c", "lib/ring.c", "macro.c", "debug_only.c",
                              "include/skip.txt"})
        sandbox.writeFile(QString("work/proj/") + other, QByteArray("bytes of ") + other);
    sandbox.writeFile("work/proj/p_package.xml", R"(<package name="p" version="1"/>)");
    ToolRun run = hzr({"proj/p.lxProject"});
    ASSERT_EQ(run.status, 0) << run.err.constData();
    EXPECT_EQ(run.out + run.err, QByteArray());
    const StoredPackage stored = readPackage(work("p.lxArchive"));
    EXPECT_EQ(stored.names(), (QList<QByteArray>{"p.lxProject", "src/main.c", "../common/util.c", utf8,
                                                 "include/sub/a.h", "startup.c", "lib/lib.lxProject", "lib/ring.c",
                                                 "p_package.xml"}));
    for (const Member &member : stored.members)
        EXPECT_EQ(member.data, fileBytes(sandbox.full("work/proj/" + member.name))) << member.name.constData();
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
        {"u", solution(projectListing("gone.c")),
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

// An output that is the project file, or through a link a listed source, is
// refused before anything is written, named as given.
TEST_F(ProjectArchiveTest, OutputThatIsAnInputIsRefused)
{
    writeSmallProject();
    ASSERT_EQ(symlink("src/main.c", workBytes("main.link").constData()), 0);
    for (const QByteArray &output : {QByteArray("p.lxProject"), QByteArray("main.link")}) {
        const auto before = directorySnapshot(workBytes(""));
        const ToolRun run = hzr({"p.lxProject", output});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, "error: cannot overwrite input file " + output + "\n");
        EXPECT_EQ(directorySnapshot(workBytes("")), before);
    }
}

// The archive is completed beside the output and renamed over it: an old
// output keeps its permission bits, a link at the output name is replaced
// and not written through, an empty name is one error line, and a failure
// after the new file was made (a member name too long for the format)
// leaves the old output and no stray file.
TEST_F(ProjectArchiveTest, OutputIsReplacedWholeOrNotAtAll)
{
    writeSmallProject();
    sandbox.writeFile("work/p.lxArchive", "previous", 0640);
    ToolRun run = hzr({"p.lxProject"});
    ASSERT_EQ(run.status, 0) << run.err.constData();
    EXPECT_EQ(members("p.lxArchive"), (QList<QByteArray>{"p.lxProject", "src/main.c"}));
    EXPECT_EQ(fileMode(workBytes("p.lxArchive")), mode_t(S_IFREG | 0640));

    sandbox.writeFile("work/elsewhere", "not an input");
    ASSERT_EQ(symlink("elsewhere", workBytes("out.link").constData()), 0);
    run = hzr({"p.lxProject", "out.link"});
    ASSERT_EQ(run.status, 0) << run.err.constData();
    EXPECT_EQ(members("out.link"), (QList<QByteArray>{"p.lxProject", "src/main.c"}));
    EXPECT_EQ(sandbox.readFile("work/elsewhere"), "not an input");

    run = hzr({"p.lxProject", ""});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "error: cannot open output file\n");

    const QByteArray piece(250, 'd');
    const QByteArray tooLong = piece + "/" + piece + "/" + piece + "/" + piece + "/" + piece + "/f.c";
    sandbox.writeFile("work/p.lxProject", solution(projectListing(tooLong)));
    sandbox.writeFile("work/" + QString::fromLatin1(tooLong), "x");
    const auto before = directorySnapshot(workBytes(""));
    run = hzr({"p.lxProject"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "error: filename too long\n");
    EXPECT_EQ(directorySnapshot(workBytes("")), before);
}

// A FIFO or a device at the output name is written in place and never
// replaced: a FIFO with a reader gets what a file would and stays a FIFO; a
// device that fails the write (/dev/full, through a link) stays too. The
// private copy made first in TMPDIR is gone either way.
TEST_F(ProjectArchiveTest, FifoOrDeviceOutputIsWrittenInPlace)
{
    writeSmallProject();
    sandbox.makeDirectory("tmp");
    ToolRunOptions options;
    options.environment = {{"TMPDIR", sandbox.full("tmp")}};
    ASSERT_EQ(hzr({"p.lxProject"}).status, 0);

    ASSERT_EQ(mkfifo(workBytes("out.fifo").constData(), 0644), 0);
    // Open before the run, so the tool's open does not wait; the small
    // archive fits the pipe's buffer.
    const int reader = open(workBytes("out.fifo").constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    ToolRun run = hzr({"p.lxProject", "out.fifo"}, options);
    EXPECT_EQ(run.status, 0) << run.err.constData();
    QByteArray received;
    char buffer[4096];
    for (ssize_t n; (n = read(reader, buffer, sizeof buffer)) > 0;)
        received.append(buffer, int(n));
    close(reader);
    EXPECT_EQ(received, sandbox.readFile("work/p.lxArchive"));
    EXPECT_TRUE(S_ISFIFO(fileMode(workBytes("out.fifo"))));
    EXPECT_EQ(readdirOrder(sandbox.full("tmp")), QList<QByteArray>());

    ASSERT_EQ(symlink("/dev/full", workBytes("full").constData()), 0);
    run = hzr({"p.lxProject", "full"}, options);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "error: cannot write to output file full\n");
    EXPECT_TRUE(S_ISLNK(fileMode(workBytes("full"))));
    EXPECT_TRUE(S_ISCHR(fileMode("/dev/full")));
    EXPECT_EQ(readdirOrder(sandbox.full("tmp")), QList<QByteArray>());
}

// A FIFO or a link to /dev/zero (a directory takes the same way) in a listed
// file's or the description's place cannot be read: one line, no archive, no
// waiting (the time limit turns a hang into a failure). A FIFO as the
// solution file gets the loader's line, without its subject.
TEST_F(ProjectArchiveTest, ListedFilesThatAreNotFilesAreUnreadable)
{
    ASSERT_EQ(mkfifo(workBytes("fifo.c").constData(), 0644), 0);
    ASSERT_EQ(symlink("/dev/zero", workBytes("zero.c").constData()), 0);
    ASSERT_EQ(mkfifo(workBytes("desc_package.xml").constData(), 0644), 0);
    const struct {
        QByteArray project, listed, unreadable;
    } cases[] = {
        {"fifo", "fifo.c", workBytes("fifo.c")},
        {"zero", "zero.c", workBytes("zero.c")},
        {"desc", "", "./desc_package.xml"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.project.constData());
        const QByteArray body = c.listed.isEmpty() ? QByteArray() : projectListing(c.listed);
        sandbox.writeFile("work/" + QString::fromLatin1(c.project) + ".lxProject", solution(body));
        const ToolRun run = hzr({c.project + ".lxProject"});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, "error: cannot read " + c.unreadable + "\n");
        EXPECT_FALSE(pathExists(workBytes(c.project + ".lxArchive")));
    }
    const ToolRun run = hzr({"fifo.c"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "error:  cannot access\n");
    EXPECT_FALSE(pathExists(workBytes("fifo.lxArchive")));
}

// Under SOURCE_DATE_EPOCH the members' later times are the variable's and
// the packages' template files are read in byte order, so the last in that
// order wins whatever the directory's own order; without it, the last that
// the directory delivers wins and the files keep their times.
TEST_F(ProjectArchiveTest, SourceDateEpochLimitsTimesAndOrdersTemplateFiles)
{
    const QString packages = "user/Varnix Lodestar for RISC-V/v3/packages/";
    const time_t late = utcTime(2030, 1, 1);
    for (int i = 0; i < 8; ++i) {
        const QByteArray file = "f" + QByteArray::number(i) + ".c";
        sandbox.writeFile(packages + "p" + QString::number(i) + "/XML/project_templates.xml",
                          R"(<projects><project template_name="T" type="Executable"><file name=")" + file +
                              R"("/></project></projects>)");
        sandbox.writeFile("work/" + QString::fromLatin1(file), file, 0644, late);
    }
    sandbox.writeFile("work/p.lxProject", solution(R"(  <project Name="app" template_name="T"/>
)"), 0644, late);
    ToolRunOptions options;
    options.environment = {
        {"MARROWGATE_ROOT_USER_DIR", sandbox.full("user")},
        {"SOURCE_DATE_EPOCH", "1700000000"},
    };
    ToolRun run = hzr({"p.lxProject"}, options);
    ASSERT_EQ(run.status, 0) << run.err.constData();
    StoredPackage stored = readPackage(work("p.lxArchive"));
    EXPECT_EQ(stored.names(), (QList<QByteArray>{"p.lxProject", "f7.c"}));
    for (const Member &member : stored.members)
        EXPECT_EQ(member.time, 1700000000u) << member.name.constData();

    options.environment.removeLast();
    run = hzr({"p.lxProject"}, options);
    ASSERT_EQ(run.status, 0) << run.err.constData();
    const QByteArray lastListed = readdirOrder(sandbox.full(pathBytes(packages))).last();
    stored = readPackage(work("p.lxArchive"));
    EXPECT_EQ(stored.names(), (QList<QByteArray>{"p.lxProject", "f" + lastListed.mid(1) + ".c"}));
    for (const Member &member : stored.members)
        EXPECT_EQ(time_t(member.time), late) << member.name.constData();
}

// DURIV_DEPFILE names, after the archive, the installation's configuration
// file (here the directory it would appear in), the files the load read, the
// directories it listed (the packages' templates, the dynamic folder), the
// description's place and every archived file.
TEST_F(ProjectArchiveTest, DependencyFileNamesEverythingTheArchiveIsMadeFrom)
{
    sandbox.writeFile("work/proj/p.lxProject", solution(R"(  <project Name="app" template_name="Exe" template_configurations="Debug">
    <include filename="inc.xml"/>
    <folder Name="inc" path="include" filter="*.h"/>
  </project>
  <import file_name="lib/lib.lxProject"/>
)"));
    sandbox.writeFile("work/proj/inc.xml", R"(<file file_name="src/main.c"/>)");
    sandbox.writeFile("work/proj/lib/lib.lxProject", solution(projectListing("ring.c")));
    for (const char *file : {"src/main.c", "include/a.h", "startup.c", "lib/ring.c"})
        sandbox.writeFile(QString("work/proj/") + file, file);
    const QByteArray root = this->root();
    ToolRunOptions options;
    options.environment = {{"MARROWGATE_ROOT_USER_DIR", root + "/user"}, {"DURIV_DEPFILE", "../p.d"}};
    const ToolRun run = hzr({"proj/p.lxProject"}, options);
    ASSERT_EQ(run.status, 0) << run.err.constData();

    QByteArray expected = root + "/work/p.lxArchive: \\\n " +
                          root + "/install/bin \\\n " +
                          root + "/work/proj/p.lxProject \\\n " +
                          root + "/work/proj/inc.xml \\\n " +
                          root + "/work/proj/lib/lib.lxProject \\\n " +
                          root + "/install/targets/project_templates.xml \\\n " +
                          root + "/user/Varnix\\ Lodestar\\ for\\ RISC-V/v3/packages \\\n " +
                          root + "/work/proj/include \\\n " +
                          root + "/work/proj";
    const QList<QByteArray> names = members("p.lxArchive");
    EXPECT_EQ(names.size(), 6);
    for (const QByteArray &name : names) {
        if (name != "p.lxProject" && name != "lib/lib.lxProject")
            expected += " \\\n " + root + "/work/proj/" + name;
    }
    EXPECT_EQ(sandbox.readFile("p.d"), expected + "\n");
}

// A load that fails is one line on standard error and leaves no archive:
// a nesting limit of the preprocessor (its limits are its own tests) and the
// load command's own failures.
TEST_F(ProjectArchiveTest, FailedLoadIsOneErrorLineAndNoArchive)
{
    sandbox.writeFile("work/self.xml", R"(<part><include filename="self.xml"/></part>)");
    const struct {
        QByteArray attributes, body, error;
    } cases[] = {
        {"", R"(<include filename="self.xml"/>)",
         "error: include nesting limit of 32 files exceeded in " + root() + "/work/self.xml\n"},
        {R"( load_command="&gt; out.txt")", "", "error: solution load command \"\" not found\n"},
        {R"( load_command="echo hi &gt; missing/out.txt")", "",
         "error: cannot open load command output file " + root() + "/work/missing/out.txt\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.error.constData());
        sandbox.writeFile("work/p.lxProject", solution(c.body, c.attributes));
        const ToolRun run = hzr({"p.lxProject"});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, c.error);
        EXPECT_EQ(run.out, QByteArray());
        EXPECT_FALSE(pathExists(workBytes("p.lxArchive")));
    }
}

// A FIFO as an included file is skipped like an unreadable one; as the
// configuration file it gets the diagnostic line on standard output; the
// archive is written either way.
TEST_F(ProjectArchiveTest, FifoAsIncludeOrConfigurationFileIsNotRead)
{
    sandbox.writeFile("work/p.lxProject", solution(R"(<include filename="inc.xml" />)"));
    ASSERT_EQ(mkfifo(workBytes("inc.xml").constData(), 0644), 0);
    ASSERT_EQ(mkfifo(sandbox.full("install/bin/config.xml").constData(), 0644), 0);
    const ToolRun run = hzr({"p.lxProject"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "error: cannot load configuration file - Cannot open " + root() +
                           "/install/bin/config.xml for reading\n");
    EXPECT_EQ(run.err, QByteArray());
    EXPECT_EQ(members("p.lxArchive"), QList<QByteArray>{"p.lxProject"});
}

} // namespace
