// The executable's path and the installation above it, as copies of this program see them.
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

// Not a test on its own: a copy of this program runs it to say where it believes it lives.
TEST(InstallationDirectories, DISABLED_Report)
{
    if (!qEnvironmentVariableIsSet(kReportVariable))
        GTEST_SKIP() << "run by the other tests of this suite";
    recordInstallationDirectories("argv0-is-not-used-when-the-link-is-readable");
    const QStringList report = {executablePath(), executableDirectory(), installationDirectory()};
    std::printf("report=%s\n", QFile::encodeName(report.join('|')).constData());
}

// Runs `program` (a copy of this test executable or a link to one): executable, its directory, installation.
QStringList reportOf(const QString &program)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QLatin1String(kReportVariable), QStringLiteral("1"));
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, {QStringLiteral("--gtest_filter=InstallationDirectories.DISABLED_Report"),
                            QStringLiteral("--gtest_also_run_disabled_tests")});
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return {QStringLiteral("cannot run")};
    for (const QByteArray &line : process.readAllStandardOutput().split('\n')) {
        if (line.startsWith("report="))
            return QFile::decodeName(line.mid(7)).split('|');
    }
    return {QStringLiteral("no report")};
}

TEST(InstallationDirectories, OneLevelAboveTheRealExecutable)
{
    QTemporaryDir temporary;
    // The temporary directory itself may sit behind a link (/tmp on some systems).
    const QString root = QFileInfo(temporary.path()).canonicalFilePath();
    const QString program = root + QStringLiteral("/opt/t/bin/duriv");
    ASSERT_TRUE(QDir().mkpath(root + QStringLiteral("/opt/t/bin")));
    ASSERT_TRUE(QDir().mkpath(root + QStringLiteral("/usr/bin")));
    ASSERT_TRUE(QFile::copy(QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget(), program));
    ASSERT_TRUE(QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    // A command link elsewhere (as /usr/bin/duriv of a package) and a linked
    // directory on the way both lead back to the real location.
    ASSERT_TRUE(QFile::link(program, root + QStringLiteral("/usr/bin/duriv")));
    ASSERT_TRUE(QFile::link(root + QStringLiteral("/opt/t"), root + QStringLiteral("/alias")));
    const QStringList expected = {program, root + QStringLiteral("/opt/t/bin"), root + QStringLiteral("/opt/t")};
    for (const QString &via :
         {program, root + QStringLiteral("/usr/bin/duriv"), root + QStringLiteral("/alias/bin/duriv")})
        EXPECT_EQ(reportOf(via), expected) << via.toStdString();
}

} // namespace
