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
