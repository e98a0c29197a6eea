// The save step: the package is written whole to "<package>.part" and renamed
// over the package, so at every instant the old package or the complete new
// one is on disk. The directory lock makes the ".part" name ours: a stale one
// left by a killed run can be removed, and a concurrent update waits instead
// of writing the same file.
#include "tool/savestep.h"

#include "package/packagearchive.h"
#include "package/packagedescriptionfile.h"
#include "package/pathbytes.h"
#include "tool/replacementfile.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

constexpr int kBzip2Compression = 1;
// The first version that can hold bzip2 bodies.
constexpr int kBzip2MinimumVersion = 2;

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

void writeTemporaryFile(PackageArchive &archive, const QString &packagePath,
                        const QString &temporaryPath, int level)
{
    // Only a run killed before its rename leaves this behind; under the lock
    // nobody else is writing it. unlink removes a planted link, not its target.
    unlink(pathBytes(temporaryPath).constData());
    saveReplacementFile(archive, temporaryPath, level, regularFilePermissions(packagePath));
}

} // namespace

QString temporaryPackagePath(const QString &packagePath)
{
    return packagePath + QStringLiteral(".part");
}

std::unique_ptr<PackageLock> lockPackageDirectory(const QString &packagePath)
{
    OwnedDescriptor directory(open(pathBytes(parentDirectory(packagePath)).constData(),
                                   O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    int result = -1;
    if (directory.isOpen()) {
        do
            result = flock(directory.get(), LOCK_EX);
        while (result != 0 && errno == EINTR);
    }
    return std::make_unique<PackageLock>(result == 0 ? directory.release() : -1);
}

void savePackage(PackageArchive &archive, const QString &packagePath, const ToolOptions &options)
{
    // A malformed description stops the save before anything is written.
    PackageDescriptionFile description;
    description.load(archive);

    settleFormat(archive, options);
    archive.setCompressionThreads(options.compressionThreads);

    const QString temporaryPath = temporaryPackagePath(packagePath);
    if (options.verbose) {
        std::printf("Saving %s\n", temporaryPath.toLatin1().constData());
        std::fflush(stdout);
    }
    // A failed save leaves no temporary file behind.
    writeTemporaryFile(archive, packagePath, temporaryPath, options.compressLevel);

    // Closes the old package before it is replaced.
    archive.clear();

    // One rename: there is no moment without a package. A failure here
    // leaves the old package and the complete temporary file, unreported.
    renameIntoPlace(temporaryPath, packagePath);
}
