// duriv -hzr given hostile project inputs: special files where the project's
// own files belong, and load commands that misbehave. Every run has a time
// limit, so a tool that waits for ever fails the test instead of hanging it.
#include "tool/tests/testsupport.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>

namespace {

// Far beyond what a run takes; reached only by a tool that waits for something.
constexpr unsigned kTimeLimitSeconds = 30;

// A sandbox holding an installation of the binary (for its configuration
// file) and a working directory with the solution p.lxProject.
struct ProjectInputTest : ::testing::Test {
    void SetUp() override
    {
        sandbox.makeDirectory("install/bin");
        sandbox.makeDirectory("work");
        ASSERT_TRUE(QFile::copy(QString::fromLocal8Bit(durivBinary()), sandbox.filePath("install/bin/duriv")));
    }
    // `duriv -hzr p.lxProject` from the installation, in <sandbox>/work, ended at the time limit.
    ToolRun hzr() const
    {
        ToolRunOptions options;
        options.workingDirectory = sandbox.filePath("work");
        options.binary = sandbox.full("install/bin/duriv");
        options.timeLimitSeconds = kTimeLimitSeconds;
        return sandbox.run({"-hzr", "p.lxProject"}, options);
    }
    void writeSolution(const QByteArray &attributes, const QByteArray &body = "") const
    {
        sandbox.writeFile("work/p.lxProject", R"(<!DOCTYPE Kestrel_Project_File>
<solution Name="s" version="2")" + attributes + ">\n" + body + "</solution>\n");
    }
    void makeFifo(const QString &relative) const
    {
        ASSERT_EQ(::mkfifo(sandbox.full(relative.toLatin1()).constData(), 0644), 0);
    }
    // A sandbox path as the tool names it: from its canonical current or installation directory.
    QByteArray canonical(const QString &directory, const QByteArray &rest) const
    {
        return pathBytes(QFileInfo(sandbox.filePath(directory)).canonicalFilePath()) + rest;
    }
    ToolSandbox sandbox;
};

// Nesting deeper than any call stack holds: the elements are walked, not recursed.
TEST_F(ProjectInputTest, DeepSolutionIsArchived)
{
    const int depth = 20000;
    sandbox.writeFile("work/deep.c", "int deep;\n");
    writeSolution("", QByteArray(R"(<folder Name="f">)").repeated(depth) + R"(<file file_name="deep.c"/>)"
                          + QByteArray("</folder>").repeated(depth));
    const ToolRun run = hzr();
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out + run.err, QByteArray());
    EXPECT_EQ(readPackage(sandbox.filePath("work/p.lxArchive")).names(), (QList<QByteArray>{"p.lxProject", "deep.c"}));
}

// Just past a nesting limit: one error line, status 1, no archive.
TEST_F(ProjectInputTest, NestingPastALimitIsOneErrorLine)
{
    sandbox.writeFile("work/self.xml", R"(<part><include filename="self.xml"/></part>)");
    const struct {
        const char *name;
        QByteArray body;
        QByteArray error;
    } cases[] = {
        {"include", R"(<include filename="self.xml"/>)",
         "error: include nesting limit of 32 files exceeded in " + canonical("work", "/self.xml") + "\n"},
        {"expression", R"(<ifex expression=")" + QByteArray(256, '(') + "1" + QByteArray(256, ')') + R"("/>)",
         "error: expression nesting limit of 256 levels exceeded in " + canonical("work", "/p.lxProject") + "\n"},
    };
    for (const auto &c : cases) {
        writeSolution("", c.body);
        const ToolRun run = hzr();
        EXPECT_EQ(run.status, 1) << c.name;
        EXPECT_EQ(run.err, c.error) << c.name;
        EXPECT_EQ(run.out, QByteArray()) << c.name;
        EXPECT_FALSE(sandbox.exists("work/p.lxArchive")) << c.name;
    }
}

// A configuration file is refused like any faulty one: its line, then the archive.
TEST_F(ProjectInputTest, ConfigurationNestedPastTheLimitGetsTheDiagnosticLine)
{
    writeSolution("");
    sandbox.writeFile("install/bin/config.xml", "<!DOCTYPE Studio_Configuration_File>\n"
                                                    + QByteArray("<a>").repeated(257) + QByteArray("</a>").repeated(257));
    const ToolRun run = hzr();
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "error: cannot load configuration file - nesting limit of 256 levels exceeded in "
                           + canonical("install", "/bin/config.xml") + "\n");
    EXPECT_EQ(run.err, QByteArray());
    EXPECT_EQ(readPackage(sandbox.filePath("work/p.lxArchive")).names(), QList<QByteArray>{"p.lxProject"});
}

// Files that include the next one twice: past the include limit the run
// stops with one line and writes nothing.
TEST_F(ProjectInputTest, IncludesPastTheLimitAreOneErrorLineAndNoArchive)
{
    for (int i = 1; i <= 12; ++i)
        sandbox.writeFile(QStringLiteral("work/t%1.xml").arg(i),
                          i < 12 ? QStringLiteral(R"(<t><include filename="t%1.xml"/><include filename="t%1.xml"/></t>)")
                                       .arg(i + 1)
                                       .toLatin1()
                                 : QByteArray("<leaf/>"));
    // 4095 includes below the first: within the limit.
    writeSolution("", R"(<include filename="t1.xml"/>)");
    EXPECT_EQ(hzr().status, 0);
    ASSERT_TRUE(QFile::remove(sandbox.filePath("work/p.lxArchive")));
    writeSolution("", R"(<include filename="t1.xml"/><include filename="t1.xml"/>)");
    const ToolRun run = hzr();
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "error: include limit of 4096 files exceeded in " + canonical("work", "/t1.xml") + "\n");
    EXPECT_FALSE(sandbox.exists("work/p.lxArchive"));
}

TEST_F(ProjectInputTest, FifoAsIncludeFileIsSkippedLikeAnUnreadableOne)
{
    writeSolution("", R"(<include filename="inc.xml" />)");
    makeFifo("work/inc.xml");
    const ToolRun run = hzr();
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out + run.err, QByteArray());
    EXPECT_EQ(readPackage(sandbox.filePath("work/p.lxArchive")).names(), QList<QByteArray>{"p.lxProject"});
}

TEST_F(ProjectInputTest, FifoAsConfigurationFileGetsTheDiagnosticLine)
{
    writeSolution("");
    makeFifo("install/bin/config.xml");
    const ToolRun run = hzr();
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "error: cannot load configuration file - Cannot open " +
                           canonical("install", "/bin/config.xml") + " for reading\n");
    EXPECT_EQ(run.err, QByteArray());
}

TEST_F(ProjectInputTest, FifoAsSolutionFileCannotBeAccessed)
{
    makeFifo("work/p.lxProject");
    const ToolRun run = hzr();
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "error:  cannot access\n");
    EXPECT_FALSE(sandbox.exists("work/p.lxArchive"));
}

TEST_F(ProjectInputTest, LoadCommandWithoutAProgramWord)
{
    writeSolution(R"( load_command="&gt; out.txt")");
    const ToolRun run = hzr();
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "error: solution load command \"\" not found\n");
}

TEST_F(ProjectInputTest, LoadCommandOutputFileThatCannotBeOpened)
{
    writeSolution(R"( load_command="echo hi &gt; missing/out.txt")");
    const ToolRun run = hzr();
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "error: cannot open load command output file " + canonical("work", "/missing/out.txt") + "\n");
}

// The child would hold the program's output for far longer than the time limit.
TEST_F(ProjectInputTest, LoadCommandBackgroundChildIsNotWaitedFor)
{
    writeSolution(R"( load_command="sh -c 'sleep 300 &amp; echo $! &gt; child.pid'")");
    const ToolRun run = hzr();
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out + run.err, QByteArray());
    const pid_t child = sandbox.readFile("work/child.pid").trimmed().toInt();
    ASSERT_GT(child, 0);
    ::kill(child, SIGKILL);
}

} // namespace
