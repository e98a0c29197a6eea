// Writing a replacement file: exclusive creation, the permissions of the file
// it replaces, sync, one rename.
#include "tool/replacementfile.h"

#include "package/owneddescriptor.h"
#include "package/packagearchive.h"
#include "package/pathbytes.h"

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
void applyPermissions(const QString &path, mode_t bits)
{
    const OwnedDescriptor file(open(pathBytes(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info;
    if (file.isOpen() && fstat(file.get(), &info) == 0 && S_ISREG(info.st_mode) &&
        (info.st_mode & 07777) != bits)
        fchmod(file.get(), bits);
}

void syncDirectory(const QString &directory)
{
    const OwnedDescriptor file(open(pathBytes(directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (file.isOpen())
        fsync(file.get());
}

} // namespace

std::optional<mode_t> regularFilePermissions(const QString &path)
{
    struct stat info;
    if (stat(pathBytes(path).constData(), &info) != 0 || !S_ISREG(info.st_mode))
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
    applyPermissions(path, *bits);
}

bool renameIntoPlace(const QString &path, const QString &targetPath)
{
    if (rename(pathBytes(path).constData(), pathBytes(targetPath).constData()) != 0)
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
