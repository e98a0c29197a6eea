// The executable's own path and the installation directory above it, seen by
// copies of this test program run from temporary installations.
#include "macros/installdirs.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace {

const char kReportVariable[] = "DURIV_INSTALLDIRS_REPORT";

// Not a test on its own: a copy of this program runs it to say where it
// believes it lives, one directory per line.
TEST(InstallationDirectories, DISABLED_Report)
{
    if (!qEnvironmentVariableIsSet(kReportVariable))
        GTEST_SKIP() << "run by the other tests of this suite";
    recordInstallationDirectories("argv0-is-not-used-when-the-link-is-readable");
    std::printf("exe=%s\ndir=%s\ninstall=%s\n", QFile::encodeName(executablePath()).constData(),
                QFile::encodeName(executableDirectory()).constData(),
                QFile::encodeName(installationDirectory()).constData());
}

struct Report {
    QString executable, directory, installation;
};

// Runs `program` (a copy of this test executable or a link to one) and reads its report.
Report reportOf(const QString &program)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QLatin1String(kReportVariable), QStringLiteral("1"));
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, {QStringLiteral("--gtest_filter=InstallationDirectories.DISABLED_Report"),
                            QStringLiteral("--gtest_also_run_disabled_tests")});
    Report report;
    if (!process.waitForFinished(60000) || process.exitCode() != 0) {
        ADD_FAILURE() << "cannot run " << program.toStdString();
        return report;
    }
    for (const QByteArray &line : process.readAllStandardOutput().split('\n')) {
        if (line.startsWith("exe="))
            report.executable = QFile::decodeName(line.mid(4));
        else if (line.startsWith("dir="))
            report.directory = QFile::decodeName(line.mid(4));
        else if (line.startsWith("install="))
            report.installation = QFile::decodeName(line.mid(8));
    }
    return report;
}

class InstalledCopy : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(temporary.isValid());
        // The temporary directory itself may sit behind a link (/tmp on some systems).
        root = QFileInfo(temporary.path()).canonicalFilePath();
        ASSERT_TRUE(QDir().mkpath(root + QStringLiteral("/opt/t/bin")));
        program = root + QStringLiteral("/opt/t/bin/duriv");
        ASSERT_TRUE(QFile::copy(QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget(), program));
        ASSERT_TRUE(QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }

    QTemporaryDir temporary;
    QString root;
    QString program;
};

TEST_F(InstalledCopy, InstallationIsOneLevelAboveTheRealExecutable)
{
    // A command link elsewhere (as /usr/bin/duriv of a package) and a linked
    // directory on the way both lead back to the real location.
    ASSERT_TRUE(QDir().mkpath(root + QStringLiteral("/usr/bin")));
    ASSERT_TRUE(QFile::link(program, root + QStringLiteral("/usr/bin/duriv")));
    ASSERT_TRUE(QFile::link(root + QStringLiteral("/opt/t"), root + QStringLiteral("/alias")));
    for (const QString &via :
         {program, root + QStringLiteral("/usr/bin/duriv"), root + QStringLiteral("/alias/bin/duriv")}) {
        const Report report = reportOf(via);
        EXPECT_EQ(QStringList({report.executable, report.directory, report.installation}),
                  QStringList({program, root + QStringLiteral("/opt/t/bin"), root + QStringLiteral("/opt/t")}))
            << via.toStdString();
    }
}

} // namespace
