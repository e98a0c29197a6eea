// Writing members of a loaded archive out whole or not at all: to a byte sink
// (the output command) or to files below a directory (extraction).
#pragma once

#include "package/packagearchive.h"

#include <QByteArray>
#include <QSet>
#include <QString>

#include <vector>

/// Writes members so that nothing of a member whose bytes cannot all be read
/// reaches its destination. A member of up to WholeMemberBound bytes is read
/// into memory before anything of it is written; a larger one is checked
/// through first (writeTo()) or written under a temporary name that takes the
/// target's place when complete (extraction). Buffers and the output
/// directories known to exist are kept from one member to the next, so one
/// writer serves a whole command. Memory stays bounded by WholeMemberBound
/// plus one block, whatever the members' sizes.
class PackageMemberWriter {
public:
    /// The largest member held in memory whole.
    static constexpr quint32 WholeMemberBound = 2u << 20;
    /// The size of the reads that move a larger member.
    static constexpr int BlockSize = 256 * 1024;

    /// `spoolDirectory` is where writeTo() keeps a large member whose source
    /// cannot be read twice from a saved state (a bzip2 body, a disk file).
    explicit PackageMemberWriter(PackageArchive &archive, const QString &spoolDirectory = QStringLiteral("/tmp"));
    ~PackageMemberWriter();

    PackageMemberWriter(const PackageMemberWriter &) = delete;
    PackageMemberWriter &operator=(const PackageMemberWriter &) = delete;

    /// Hands all of the member's bytes to `sink`, in chunks of at most
    /// WholeMemberBound bytes (never an empty one), or none of them: a fetch
    /// error ("cannot read file " + name [+ " from archive"], "file changed
    /// while reading " + path, a stream error) comes before the first chunk.
    /// Above the bound, a body that can make a checkpoint (zlib, plain) is
    /// decoded twice, once to see every byte arrive and once more from the
    /// state saved at the member's start; any other source is copied into an
    /// unlinked file in the spool directory first ("cannot create temporary
    /// file in " or "cannot write temporary file in " + the directory).
    void writeTo(PackageArchiveFile *member, const PackageDataSink &sink);

    /// Writes the member to `outputPath`, as PackageArchive::extractFile()
    /// describes; a member that cannot be read whole leaves nothing behind,
    /// and an old file replaced with `overwrite` stays until the new one is
    /// complete.
    void extractFile(PackageArchiveFile *member, const QString &outputPath, bool overwrite);
    /// extractFile() to directory + "/" + name; nothing for a null member.
    void extractFileTo(PackageArchiveFile *member, const QString &directory, bool overwrite);

private:
    PackageArchiveIOFileInterface *body() const;
    /// Reads the whole member into m_whole and answers its size.
    int readWhole(PackageArchiveFile *member);
    char *block();
    void readTwice(PackageArchiveFile *member, const StreamCheckpoint &start, const PackageDataSink &sink);
    void spool(PackageArchiveFile *member, const PackageDataSink &sink);
    /// Creates the missing directories above `path`, asking the file system
    /// only about those not met before.
    void createParentDirectories(const QByteArray &path);

    PackageArchive &m_archive;
    QString m_spoolDirectory;
    std::vector<char> m_whole;
    std::vector<char> m_block;
    QSet<QByteArray> m_knownDirectories;
};
