// Helpers for the tests of -c, -r and -d: what a package holds, the state of
// a directory, and the lines the commands print.
#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include <sys/types.h>

/// One member as the archive library reads it back.
struct StoredMember {
    QByteArray name;
    quint32 size = 0;
    quint32 mode = 0;
    quint32 time = 0;
    QByteArray data;
};

/// What a package file holds, loaded in-process with the archive library.
struct StoredPackage {
    int version = 0;
    int compression = 0;
    QList<StoredMember> members;

    QList<QByteArray> names() const;
};

/// Loads `path` (absolute, ASCII) and every member's bytes. A load failure
/// is a test failure and an empty result.
StoredPackage readPackage(const QString &path);

/// Saves `members` (names Latin-1, data, mode and time as given) as a package
/// of that version and compression, with the archive library.
void writePackage(const QString &path, const QList<StoredMember> &members, int version = 2,
                  int compression = 0);

/// The whole file, read as bytes; an empty array when it cannot be read.
QByteArray fileBytes(const QByteArray &path);
/// Whether anything (a link included, dangling or not) has that name.
bool pathExists(const QByteArray &path);

/// Every entry below `directory` (recursively, links not followed) with its
/// bytes ("->" + target for a link, "<dir>" for a directory), to show that a
/// failed command changed nothing.
QMap<QByteArray, QByteArray> directorySnapshot(const QByteArray &directory);

/// Removes `path` and everything below it, by bytes: the temporary
/// directories of the tests cannot remove names that are not UTF-8 themselves.
void removeTree(const QByteArray &path);

/// The visible entry names of a directory in the order readdir gives them.
QList<QByteArray> readdirOrder(const QByteArray &directory);

/// "Adding %s\n" for each path, in order.
QByteArray addingLines(const QList<QByteArray> &paths);

/// The paths of the "Adding %s" lines of a run's standard output, in order.
QList<QByteArray> addedPaths(const QByteArray &standardOutput);

/// The current process umask (read without changing it for good).
mode_t currentUmask();

/// `size` bytes that no compressor can shrink, the same for the same seed.
QByteArray incompressibleBytes(int size, quint32 seed);
