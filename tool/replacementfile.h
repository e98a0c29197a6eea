// An archive written whole into a new file that then takes the place of
// another with one rename, so the file being replaced is never opened for
// writing: the save step of the package commands and the project archive
// command both write this way.
#pragma once

#include <QString>

#include <optional>
#include <sys/types.h>

class PackageArchive;

/// The permission bits (07777) of the regular file at `path`, links
/// followed; none when no regular file is there.
std::optional<mode_t> regularFilePermissions(const QString &path);

/// Saves `archive` at compression `level` into the new file `path`: created
/// exclusively, never through a link (an existing name fails the save with
/// "cannot open output file"), flushed and synced to disk; with the
/// permission bits `bits` when given, else the creation mode the umask
/// allows. A failed save leaves nothing at `path` and goes on as the save's
/// HException.
void saveReplacementFile(PackageArchive &archive, const QString &path, int level,
                         std::optional<mode_t> bits);

/// Renames `path` over `targetPath` in one step and syncs their directory,
/// so the new name survives a crash. False when the rename fails; both names
/// then stay as they were.
bool renameIntoPlace(const QString &path, const QString &targetPath);

/// The directory part of a path as the system is given it: "." for a bare
/// name, "/" for a name directly under the root.
QString parentDirectory(const QString &path);
