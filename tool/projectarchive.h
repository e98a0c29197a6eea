// The pieces of the project archive command that have rules of their own.
#pragma once

#include <QString>

/// The name of `filePath` relative to `baseDirectory`: pieces of both absolute
/// forms compared case-sensitively, "../" for each base piece past the common
/// ones. A null string when the two share no leading piece.
QString relativeFileName(const QString &filePath, const QString &baseDirectory);

/// The project file's base name (up to the first ".") + ".lxArchive", with no
/// directory.
QString defaultArchiveName(const QString &projectPath);
