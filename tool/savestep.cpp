// The save step: the package is written whole to "<package>.part" and renamed
// over the package, so at every instant the old package or the complete new
// one is on disk. The directory lock makes the ".part" name ours: a stale one
// left by a killed run can be removed, and a concurrent update waits instead
// of writing the same file.
#include "tool/savestep.h"

#include "package/hexception.h"
#include "package/packagearchive.h"
#include "package/packagedescriptionfile.h"
#include "tool/commands.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kBzip2Compression = 1;
// The first version that can hold bzip2 bodies.
constexpr int kBzip2MinimumVersion = 2;

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

void setVersion(PackageArchive &archive, int version, bool verbose)
{
    if (verbose)
        std::printf("Setting file format to version %d\n", version);
    archive.setVersion(version);
}

void settleFormat(PackageArchive &archive, const ToolOptions &options)
{
    if (options.formatVersion != -1) {
        int version = options.formatVersion;
        if (options.useBzip2) {
            archive.setCompression(kBzip2Compression);
            if (version < kBzip2MinimumVersion)
                version = kBzip2MinimumVersion;
        }
        setVersion(archive, version, options.verbose);
    } else if (options.useBzip2) {
        archive.setCompression(kBzip2Compression);
        setVersion(archive, kBzip2MinimumVersion, options.verbose);
    }
}

/// The permission bits of the package being replaced; false when there is
/// no regular file of that name.
bool existingPermissions(const QByteArray &packagePath, mode_t *bits)
{
    struct stat info;
    if (stat(packagePath.constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    *bits = info.st_mode & 07777;
    return true;
}

/// Gives the freshly written temporary file bits that its creation mode
/// (0666 at most) could not carry, such as execute bits.
void applyPermissions(const QByteArray &temporaryPath, mode_t bits)
{
    const int fd = open(temporaryPath.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat info;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & 07777) != bits)
        fchmod(fd, bits);
    close(fd);
}

void syncDirectory(const QString &directory)
{
    const int fd = open(directory.toLatin1().constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    fsync(fd);
    close(fd);
}

void writeTemporaryFile(PackageArchive &archive, const QString &packagePath,
                        const QString &temporaryPath, int level)
{
    const QByteArray temporaryBytes = temporaryPath.toLatin1();
    // Only a run killed before its rename leaves this behind; under the lock
    // nobody else is writing it. unlink removes a planted link, not its target.
    unlink(temporaryBytes.constData());

    PackageSaveOptions saveOptions;
    saveOptions.exclusive = true;
    saveOptions.sync = true;

    mode_t bits = 0;
    if (!existingPermissions(packagePath.toLatin1(), &bits)) {
        archive.save(temporaryPath, level, saveOptions);
        return;
    }
    {
        // Created no more open than the old package, so a private package
        // is never readable by others while its copy is being written.
        UmaskScope mask(0777 & ~bits);
        archive.save(temporaryPath, level, saveOptions);
    }
    applyPermissions(temporaryBytes, bits);
}

} // namespace

PackageLock::PackageLock(int directoryDescriptor) : m_descriptor(directoryDescriptor) {}

PackageLock::~PackageLock()
{
    // Closing the last descriptor releases the flock.
    if (m_descriptor >= 0)
        close(m_descriptor);
}

QString packageDirectory(const QString &packagePath)
{
    const int slash = packagePath.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return QStringLiteral(".");
    if (slash == 0)
        return QStringLiteral("/");
    return packagePath.left(slash);
}

QString temporaryPackagePath(const QString &packagePath)
{
    return packagePath + QStringLiteral(".part");
}

std::unique_ptr<PackageLock> lockPackageDirectory(const QString &packagePath)
{
    const QByteArray directory = packageDirectory(packagePath).toLatin1();
    const int fd = open(directory.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return std::make_unique<PackageLock>(-1);
    int result;
    do {
        result = flock(fd, LOCK_EX);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        close(fd);
        return std::make_unique<PackageLock>(-1);
    }
    return std::make_unique<PackageLock>(fd);
}

void savePackage(PackageArchive &archive, const QString &packagePath, const ToolOptions &options)
{
    const QString temporaryPath = temporaryPackagePath(packagePath);
    try {
        // A malformed description stops the save before anything is written.
        PackageDescriptionFile description;
        description.load(archive);

        settleFormat(archive, options);

        if (options.verbose) {
            std::printf("Saving %s\n", temporaryPath.toLatin1().constData());
            std::fflush(stdout);
        }
        writeTemporaryFile(archive, packagePath, temporaryPath, options.compressLevel);

        // Closes the old package before it is replaced.
        archive.clear();

        // One rename: there is no moment without a package. A failure here
        // leaves the old package and the complete temporary file, unreported.
        if (rename(temporaryPath.toLatin1().constData(), packagePath.toLatin1().constData()) == 0)
            syncDirectory(packageDirectory(packagePath));
    } catch (...) {
        unlink(temporaryPath.toLatin1().constData());
        throw;
    }
}
