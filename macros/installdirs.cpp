// Where the running executable and its installation live.
#include "macros/installdirs.h"

#include <QDir>
#include <QFileInfo>

#include <unistd.h>

namespace {

struct InstallationDirectories {
    QString executable;
    QString executableDirectory;
    QString installation;
};

InstallationDirectories &directories()
{
    static InstallationDirectories dirs;
    return dirs;
}

// The canonical form of a directory; a directory that does not exist keeps
// its clean absolute form, so the recording never fails.
QString canonicalDirectory(const QString &path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(QFileInfo(path).absoluteFilePath()) : canonical;
}

} // namespace

void recordInstallationDirectories(const char *argv0)
{
    InstallationDirectories &dirs = directories();

    char buffer[1024];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
    // A link that fills the whole buffer may have been cut short.
    if (length > 0 && static_cast<size_t>(length) < sizeof buffer)
        dirs.executable = QFile::decodeName(QByteArray(buffer, static_cast<int>(length)));
    else
        dirs.executable = QFile::decodeName(argv0 ? argv0 : "");

    dirs.executableDirectory = canonicalDirectory(QFileInfo(dirs.executable).absolutePath());
    dirs.installation = canonicalDirectory(dirs.executableDirectory + QStringLiteral("/.."));
}

QString executablePath()
{
    return directories().executable;
}

QString executableDirectory()
{
    return directories().executableDirectory;
}

QString installationDirectory()
{
    return directories().installation;
}
