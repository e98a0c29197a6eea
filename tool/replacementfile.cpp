// Writing a replacement file: exclusive creation, the permissions of the file
// it replaces, sync, one rename.
#include "tool/replacementfile.h"

#include "package/packagearchive.h"

#include <QFile>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

/// Restores the process umask when the save is over, however it ends.
class UmaskScope {
public:
    explicit UmaskScope(mode_t mask) : m_previous(umask(mask)) {}
    ~UmaskScope() { umask(m_previous); }

    UmaskScope(const UmaskScope &) = delete;
    UmaskScope &operator=(const UmaskScope &) = delete;

private:
    mode_t m_previous;
};

/// Gives the freshly written file bits that its creation mode (0666 at
/// most) could not carry, such as execute bits.
void applyPermissions(const QByteArray &path, mode_t bits)
{
    const int fd = open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat info;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & 07777) != bits)
        fchmod(fd, bits);
    close(fd);
}

void syncDirectory(const QString &directory)
{
    const int fd = open(QFile::encodeName(directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    fsync(fd);
    close(fd);
}

} // namespace

std::optional<mode_t> regularFilePermissions(const QString &path)
{
    struct stat info;
    if (stat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return info.st_mode & 07777;
}

void saveReplacementFile(PackageArchive &archive, const QString &path, int level,
                         std::optional<mode_t> bits)
{
    PackageSaveOptions options;
    options.exclusive = true;
    options.sync = true;
    if (!bits) {
        archive.save(path, level, options);
        return;
    }
    {
        // Created no more open than the file it replaces, so a private file
        // is never readable by others while its replacement is written.
        UmaskScope mask(0777 & ~*bits);
        archive.save(path, level, options);
    }
    applyPermissions(QFile::encodeName(path), *bits);
}

bool renameIntoPlace(const QString &path, const QString &targetPath)
{
    if (rename(QFile::encodeName(path).constData(), QFile::encodeName(targetPath).constData()) != 0)
        return false;
    syncDirectory(parentDirectory(targetPath));
    return true;
}

QString parentDirectory(const QString &path)
{
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return QStringLiteral(".");
    if (slash == 0)
        return QStringLiteral("/");
    return path.left(slash);
}
