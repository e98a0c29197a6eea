// The pieces of the project archive command that have rules of their own.
#pragma once

#include <QString>

class PackageArchive;

/// The project file's base name (up to the first ".") + ".lxArchive", with no
/// directory.
QString defaultArchiveName(const QString &projectPath);

/// Writes `archive` (its defaults: no format or level of the options) as
/// `outputPath` (one character per byte, as the package library takes
/// paths), complete before anything at that name changes. A regular
/// file, a missing name or a link there is replaced by a synced new file
/// renamed into place, keeping a replaced file's permission bits; a device
/// or FIFO gets the finished archive copied into it and stays what it is.
/// Throws "cannot overwrite input file " + `outputPath` when the output is
/// one of the archive's disk files (device and inode compared, links
/// followed), "cannot open output file" for an empty name, a directory or a
/// name that cannot take the file, "cannot write to output file " +
/// `outputPath` when copying into a device or FIFO fails, and the save's
/// errors; a failure leaves no file of this run behind.
void writeProjectArchive(PackageArchive &archive, const QString &outputPath);
