// Turning the file, directory and wildcard arguments of the changing commands
// into the list of paths to add.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

/// Receives the path of a directory that the walk skipped because it is one
/// of the directories it is already inside (a link back to a parent).
using DirectoryLoopHandler = std::function<void(const QString &path)>;

/// Receives the path of every directory whose entries the walk or a wildcard
/// read, as the expansion spells it.
using DirectoryListedHandler = std::function<void(const QString &path)>;

/// The most entries the walk of one directory argument may list in
/// directories it has listed before (reached again through links): links
/// that lead twice to the next directory would otherwise double the paths at
/// every level, with no loop to stop them. A tree without such links is
/// never limited.
inline constexpr quint64 MaxRepeatedWalkEntries = quint64(1) << 17;

/// The order in which a directory's entries are taken.
enum class EntryOrder {
    FileSystem, ///< as the file system delivers them
    Bytes,      ///< sorted by the bytes of their names, for reproducible packages
};

struct ExpansionOptions {
    /// Compared exactly with each path the walk builds.
    QStringList excludePaths;
    EntryOrder order = EntryOrder::FileSystem;
    DirectoryListedHandler onDirectoryListed;
    /// Null: "warning: directory loop at %s\n" on stderr.
    DirectoryLoopHandler onDirectoryLoop;
    quint64 maxRepeatedEntries = MaxRepeatedWalkEntries;
};

/// Expands `arguments` in order. A regular file (links followed) is taken as
/// typed; a directory is walked (hidden entries skipped, the excluded paths
/// left out); anything else is a directory part and a list of wildcard
/// patterns matched without regard to case against the regular files of that
/// directory. Every directory's entries are taken in `options.order`. Paths
/// are Latin-1, one character per byte, and every member name is the path
/// exactly as built. Throws HException "can't open " + directory when a
/// pattern's directory or a directory of the walk cannot be listed, and
/// "directory walk limit of N repeated entries exceeded in " + directory
/// argument once the walk of that argument has listed more than
/// `options.maxRepeatedEntries` entries in directories it had listed before.
QStringList expandFileArguments(const QStringList &arguments, const ExpansionOptions &options = {});

/// The patterns of one wildcard component: split at ";" when it holds one,
/// else at blanks; each trimmed, empty ones dropped.
QStringList splitWildcardPatterns(const QString &component);
