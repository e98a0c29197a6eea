// The package archive in memory: its members, where their bytes come from,
// lookup by name and wildcard, extraction, and loading and saving the file.
// The code behind it is split by job: packagearchive.cpp (the member list),
// packagearchivefile.cpp (members and their bytes), packageformat.cpp (the
// file format), packageextraction.cpp (writing members to disk), with
// packagememberwriter.h (members written out whole or not at all).
#pragma once

#include "package/hexception.h"
#include "package/packagearchiveiofile.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class SegmentedBody;

/// One member's record: name, size, mode, time and the source of its bytes.
class PackageArchiveFileEntry {
public:
    /// Where a member's bytes come from.
    enum Source {
        SourceNone = 0,
        SourceArchive = 1,  ///< the loaded archive's body, at offset()
        SourceDiskFile = 2, ///< the file at diskPath()
        SourceMemory = 3,   ///< data()
    };

    /// `time` is in seconds since 1970-01-01 00:00:00 UTC, as stored on disk.
    PackageArchiveFileEntry(const QString &name, quint32 size, quint32 mode, quint32 time);

    int source() const { return m_source; }
    void setSource(int source) { m_source = source; }
    const QString &name() const { return m_name; }
    const QString &diskPath() const { return m_diskPath; }
    void setDiskPath(const QString &path) { m_diskPath = path; }
    quint32 offset() const { return m_offset; }
    void setOffset(quint32 offset) { m_offset = offset; }
    quint32 size() const { return m_size; }
    void setSize(quint32 size) { m_size = size; }
    quint32 mode() const { return m_mode; }
    void setMode(quint32 mode) { m_mode = mode; }
    quint32 time() const { return m_time; }
    void setTime(quint32 time) { m_time = time; }
    bool isMarked() const { return m_marked; }
    void setMarked(bool marked) { m_marked = marked; }
    const QByteArray &data() const { return m_data; }
    /// Also makes the source SourceMemory and the size the data's length.
    void setData(const QByteArray &data);
    /// Drops held bytes (when the member's source changes away from memory).
    void clearData() { m_data = QByteArray(); }

private:
    int m_source = SourceNone;
    QString m_name;
    QString m_diskPath;
    quint32 m_offset = 0;
    quint32 m_size;
    quint32 m_mode;
    quint32 m_time;
    bool m_marked = false;
    QByteArray m_data;
};

/// A member of an archive; owned by its PackageArchive.
class PackageArchiveFile {
public:
    /// The write bits of a mode: a member without any of them is read-only.
    static constexpr quint32 WriteBits = 0222;
    /// The mode bits a member keeps from a disk file and gives an extracted
    /// one: permissions and the three high file-type bits (set-user-ID,
    /// set-group-ID, sticky and the FIFO bit are dropped).
    static constexpr quint32 KeptModeBits = 0xE1FF;

    PackageArchiveFile(const QString &name, quint32 size, quint32 mode, quint32 time);
    virtual ~PackageArchiveFile();

    PackageArchiveFile(const PackageArchiveFile &) = delete;
    PackageArchiveFile &operator=(const PackageArchiveFile &) = delete;

    PackageArchiveFileEntry *entry() { return m_entry.get(); }
    const PackageArchiveFileEntry *entry() const { return m_entry.get(); }

    const QString &name() const { return m_entry->name(); }
    quint32 size() const { return m_entry->size(); }
    void setSize(quint32 size) { m_entry->setSize(size); }
    /// The whole stored mode value (file type and permission bits).
    quint32 mode() const { return m_entry->mode(); }
    void setMode(quint32 mode) { m_entry->setMode(mode); }
    /// The modification time; stored with second resolution as 32-bit seconds.
    QDateTime lastModified() const;
    /// Keeps the low 32 bits of the seconds since 1970 UTC.
    void setLastModified(const QDateTime &time);
    /// The raw stored time: seconds since 1970-01-01 00:00:00 UTC.
    quint32 time() const { return m_entry->time(); }
    void setTime(quint32 time) { m_entry->setTime(time); }
    /// True when the mode has none of the WriteBits.
    bool isReadOnly() const { return (m_entry->mode() & WriteBits) == 0; }
    bool isMarked() const { return m_entry->isMarked(); }
    void mark(bool marked = true) { m_entry->setMarked(marked); }

    int source() const { return m_entry->source(); }
    const QString &diskPath() const { return m_entry->diskPath(); }
    quint32 offset() const { return m_entry->offset(); }

private:
    std::unique_ptr<PackageArchiveFileEntry> m_entry;
};

/// The archive's private record.
class PackageArchiveData {
public:
    PackageArchiveData();
    virtual ~PackageArchiveData();

    /// The loaded archive's body, kept open for fetching member bytes; may be null.
    std::unique_ptr<PackageArchiveIOFileInterface> body;
    /// The members in archive order.
    std::vector<std::unique_ptr<PackageArchiveFile>> files;
    /// The same members ordered by name; empty unless load() was asked to build it.
    std::vector<PackageArchiveFile *> sortedIndex;
    /// The members of each name in list order, so that finding the first one
    /// and removing it take no scan of the list.
    QHash<QString, std::vector<PackageArchiveFile *>> byName;
    int version = 1;
    int compression = 0;
    /// The latest modification time a member added from now on may store.
    std::optional<quint32> latestMemberTime;
    /// Worker threads that compress a zlib body at save; 0: one per online core.
    int compressionThreads = 0;
};

/// How save() creates and completes the output file. The defaults are
/// fopen(path, "wb") and a plain fclose.
struct PackageSaveOptions {
    /// Create the file with open(O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0666)
    /// (the umask applies), so an existing file or a planted link is never
    /// written through; the open failing raises "cannot open output file".
    /// A save that fails after creating the file removes it again.
    bool exclusive = false;
    /// fflush and fsync the file before closing it; a failure raises
    /// "error writing to compressed stream".
    bool sync = false;
};

/// Receives a member's bytes in order, in chunks of at most
/// PackageArchive::ChunkSize bytes (never an empty chunk). It may throw to stop.
using PackageDataSink = std::function<void(const char *data, int length)>;

/// An ordered list of members plus the format version and compression method
/// used by save(). Loading reads only the table of contents; member bytes are
/// fetched on demand from the body stream, which stays open until clear().
///
/// Every failure is an HException with the message named below.
class PackageArchive : public QObject {
    Q_OBJECT

public:
    /// Size of every buffer that moves member bytes.
    static constexpr int ChunkSize = 16384;

    /// Empty archive (version 1, zlib); loads `path` (offset 0, no index) when it is not empty.
    explicit PackageArchive(const QString &path = QString());
    ~PackageArchive() override;

    /// Deletes every member and destroys the body stream (closing its file).
    /// Version and compression stay.
    void clear();

    /// Reads the table of contents of the archive that starts at byte
    /// `archiveOffset` of the file; bit 0 of `keepSortedIndex` builds the name
    /// index used by find(). Member bytes are not read. Throws
    /// path + " does not exist", "unsupported package file format",
    /// "unsupported package file version", "unsupported compression algorithm",
    /// "bad header", "bad table of contents" or a stream error; on failure the
    /// archive is left cleared.
    void load(const QString &path, qint32 archiveOffset = 0, int keepSortedIndex = 0);

    /// Writes the archive in the form of version(): a negative level means 7, above
    /// 9 means 9. Reads each member's bytes once, in chunks, from its source.
    /// The output path must not be the loaded file itself. Throws the messages
    /// of the format ("cannot open output file", "cannot write header", ...,
    /// "filename too long", "cannot write file"), "package too large" when the
    /// body would not fit 32-bit offsets (checked before the file is touched),
    /// "file changed while reading " + path for a disk member whose size
    /// differs from the one addFile() saw, and the stream and fetch errors.
    /// On failure the stream is finished and closed and the partial file is
    /// left on disk for the caller to remove (unless the save was exclusive:
    /// see PackageSaveOptions).
    void save(const QString &path, int level = -1);
    void save(const QString &path, int level, const PackageSaveOptions &options);

    /// The recognition step of load() and isPackageFile(): opens the file,
    /// positions it, calls openedForReading() and reads the header. Returns the
    /// body stream, positioned at the start of a version-2 body (or after the
    /// magic and count of a legacy body), or null when the file cannot be opened or
    /// has no known form. Sets the archive's compression from a version-2
    /// header; `versionOut` becomes 1 or 2 (0 when null is returned) and
    /// `countOut` the legacy member count.
    std::unique_ptr<PackageArchiveIOFileInterface>
    openArchiveFile(const QString &path, qint32 archiveOffset, int &versionOut, quint32 &countOut);

    /// Whether the file has a known header. Reads only the header (and the
    /// first 8 decompressed bytes of the wrapped legacy form); a file whose
    /// header raises an error counts as not a package.
    static bool isPackageFile(const QString &path);

    /// The members in archive order (for a loaded archive, also body order).
    const std::vector<std::unique_ptr<PackageArchiveFile>> &files() const { return d->files; }
    /// The members ordered for cheap fetching: SourceArchive members by body
    /// offset (ties in list order), then every other member in list order.
    QList<PackageArchiveFile *> filesInBodyOrder() const;

    int version() const { return d->version; }
    void setVersion(int version) { d->version = version; }
    int compression() const { return d->compression; }
    void setCompression(int method) { d->compression = method; }
    /// Members that addFile() and addData() add or refresh from now on store
    /// a modification time later than `seconds` as `seconds`, so that packing
    /// the same files again gives the same bytes; members already in the
    /// archive keep theirs. Without a value (the default) every member keeps
    /// its own time. clear() keeps the setting.
    void setLatestMemberTime(std::optional<quint32> seconds) { d->latestMemberTime = seconds; }
    std::optional<quint32> latestMemberTime() const { return d->latestMemberTime; }
    /// How many worker threads compress the segments of a zlib body when
    /// saving: one per online core (0, the default), or fewer when `threads`
    /// is lower; 1 means none. The bytes saved are the same whatever the
    /// number. clear() keeps the setting.
    void setCompressionThreads(int threads) { d->compressionThreads = threads; }
    int compressionThreads() const { return d->compressionThreads; }

    /// The first member whose name equals `name` exactly (case matters), or null.
    PackageArchiveFile *find(const QString &name) const;
    /// The first member, in list order, whose whole name matches the wildcard
    /// (`*` crosses "/", case-sensitive), or null.
    PackageArchiveFile *findFirst(const QString &pattern) const;
    /// findFirst("*_package.xml").
    PackageArchiveFile *findPackageDescription() const;
    /// Every member whose whole name matches the wildcard, in list order.
    QList<PackageArchiveFile *> match(const QString &pattern) const;

    /// Records the disk file's size, mode (st_mode & KeptModeBits) and time
    /// (no later than latestMemberTime()) as member `name`, refreshing an
    /// existing member of that name in place; its bytes are read at save.
    /// Throws "cannot read " + diskPath when it cannot be opened, "file too
    /// large " + diskPath when it holds 4 GiB or more.
    PackageArchiveFile *addFile(const QString &diskPath, const QString &name);
    PackageArchiveFile *addFile(const QString &path);
    /// As addFile(), with a copy of `bytes` as the member's bytes and `time`
    /// (no later than latestMemberTime()).
    PackageArchiveFile *addData(const QByteArray &bytes, const QDateTime &time, quint32 mode,
                                const QString &name);
    /// Removes and deletes the first member named exactly `name`; false when none.
    bool remove(const QString &name);
    /// remove() for each name in order, with one pass over the list however
    /// many names there are; whether each one removed a member.
    std::vector<bool> removeEach(const QStringList &names);

    /// A member's whole bytes (empty for null or SourceNone). The buffer grows
    /// as bytes arrive. Throws "cannot read file " + name (disk file cannot be
    /// opened) or "cannot read file " + name + " from archive" (body too short).
    QByteArray fileData(PackageArchiveFile *member);
    QByteArray fileData(const QString &name);
    /// The same bytes handed to `sink` in chunks of at most ChunkSize, with
    /// the same errors; a disk file is read once and must still have the size
    /// that addFile() saw ("file changed while reading " + path otherwise).
    /// Memory use is bounded by the chunk, not by the member's size.
    void readFileData(PackageArchiveFile *member, const PackageDataSink &sink);

    /// Writes the member to `outputPath`: refuses an existing file unless
    /// `overwrite` ("cannot overwrite file " + path), creates missing parent
    /// directories, creates the file 0600, writes the bytes, sets access and
    /// modification time, then the mode (member mode & KeptModeBits). Throws
    /// "cannot create output file ", "cannot write to output file ", "cannot
    /// set mode of output file " (each + path) or a fetch error. Nothing is
    /// left of a member that fails: it is read whole first, or written under
    /// a temporary name beside the target that replaces the old file (with
    /// `overwrite`) only when complete. See PackageMemberWriter, which does it.
    void extractFile(PackageArchiveFile *member, const QString &outputPath, bool overwrite);
    /// extractFile() to directory + "/" + name; nothing for a null member.
    /// Member names are used as they stand: see hasParentComponent().
    void extractFileTo(PackageArchiveFile *member, const QString &directory, bool overwrite);
    /// extractFileTo() for every member, in list order.
    void extractAll(const QString &directory, bool overwrite);
    /// extractFileTo() for every marked member, in list order.
    void extractMarked(const QString &directory, bool overwrite);

    /// Whether a member name has a ".." path component (so that extracting it
    /// below a directory could land outside it).
    static bool hasParentComponent(const QString &name);

    // Stream factories and file hooks. Overriding them is how callers (and
    // tests) change the streams or reach the open FILE: a write fault can be
    // injected by putting a failing descriptor under fileno(file) in
    // openedForWriting() (every later write then fails as on a full disk), or
    // by returning from createOutputFile() a stream that accepts fewer bytes.

    /// Method 0: zlib, 1: bzip2, on `file` at its current position; else
    /// "unsupported compression algorithm". The stream owns `file` from the
    /// call on: the file is closed also when the factory throws.
    virtual std::unique_ptr<PackageArchiveIOFileInterface> createInputFile(int method, FILE *file);
    /// As createInputFile(), for compressing at `level`.
    virtual std::unique_ptr<PackageArchiveIOFileInterface> createOutputFile(int method, FILE *file,
                                                                             int level);
    /// Called by save() right after the output file is opened; does nothing.
    virtual void openedForWriting(FILE *file);
    /// Called by openArchiveFile() right after opening and positioning; does nothing.
    virtual void openedForReading(FILE *file);

private:
    friend class PackageMemberWriter; // reads members from the body stream

    void buildSortedIndex();
    void indexNames();
    void writeMembers(PackageArchiveIOFileInterface &stream);
    /// The loaded body, when save() can copy its segments: a zlib body made
    /// of independent segments at the FLEVEL of `level`, saved again as
    /// zlib (`bodyMethod` 0) at level 2 or above. Null otherwise.
    std::unique_ptr<SegmentedBody> reusableBody(int bodyMethod, int level) const;
    /// writeMembers() that copies every segment of `old` whose bytes the new
    /// body holds unchanged.
    void writeMembersReusing(PackageArchiveIOFileInterface &stream, SegmentedBody &old);
    PackageArchiveFile *addMember(const QString &name);
    quint32 storedTime(qint64 seconds) const;

    std::unique_ptr<PackageArchiveData> d;
};
