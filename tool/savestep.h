// The save step shared by -c, -r and -d, and the lock that serialises
// updates of packages in one directory.
#pragma once

#include "package/owneddescriptor.h"
#include "tool/tooloptions.h"

#include <QString>

#include <memory>

class PackageArchive;

/// An advisory lock (flock, exclusive) on the directory that holds a package,
/// released when destroyed. The directory stays in place while the package in
/// it is renamed over, so every updater locks the same object. A lock that
/// could not be taken (no such directory, or a file system without flock)
/// holds nothing; the steps that follow report the real problem.
class PackageLock {
public:
    /// Takes ownership of `directoryDescriptor` (-1 for none).
    explicit PackageLock(int directoryDescriptor) : m_directory(directoryDescriptor) {}

    bool isHeld() const { return m_directory.isOpen(); }

private:
    /// Closing the last descriptor of the directory releases the flock.
    OwnedDescriptor m_directory;
};

/// Locks the directory that holds `packagePath` (advisory flock, blocking).
std::unique_ptr<PackageLock> lockPackageDirectory(const QString &packagePath);

/// The temporary file that a save writes before it replaces the package.
QString temporaryPackagePath(const QString &packagePath);

/// Saves `archive` as `packagePath`: checks the package description, settles
/// the format version and compression from `options` (printing "Setting file
/// format to version %d" under -v), prints "Saving %s" with the temporary
/// name under -v, writes and syncs the temporary file (a stale one is removed
/// first; it is created exclusively, never through a link, with the old
/// package's permission bits), clears the archive and renames the temporary
/// file over the package in one step. Any error leaves the package untouched
/// and no temporary file of this run, and goes on as HException; a ".part"
/// this run did not create is left alone. The caller holds the package's
/// lock.
void savePackage(PackageArchive &archive, const QString &packagePath, const ToolOptions &options);
