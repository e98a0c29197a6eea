// The package file format: recognising a file, reading its table of
// contents and writing the whole file, in versions 1 (legacy) and 2. Every
// record layout is declared once below and used by reader and writer alike;
// what differs between the versions is chosen in one dispatch, formatFor().
#include "package/packagearchive.h"

#include "package/packagemessages.h"
#include "package/pathbytes.h"
#include "package/segmentedbody.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <thread>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// ------------------------------------------------------------- layouts
// Integers are little-endian unless a field says otherwise; offsets are
// bytes from the start of the structure.

constexpr quint32 Version2Magic = 0x71F5C6B1;
constexpr quint32 WrapperMagic = 0xB231F47A;
constexpr quint32 LegacyMagic = 0x4152C3C8;

/// What recognition reads first: a version-2 header, a wrapper's first part
/// or a bare legacy body header; after a wrapper, the legacy body header.
constexpr int HeadSize = 8;

/// The version-2 file header, before the compressed body.
namespace Version2Header {
constexpr int Magic = 0;
constexpr int FormatWord = 4; ///< 16 bits: version in bits 0-11, compression method in 12-15
constexpr int Reserved = 6;   ///< 16 bits, written 0, never read
constexpr int Size = 8;
constexpr quint32 VersionMask = 0xFFF;
constexpr int MethodShift = 12;
} // namespace Version2Header

/// The start of a version-2 body.
namespace Version2BodyHeader {
constexpr int Count = 0;
constexpr int Reserved = 4; ///< written 0, never read
constexpr int Size = Reserved + 16;
} // namespace Version2BodyHeader

/// A version-2 table record; the name's bytes follow it, unterminated.
namespace Version2Record {
constexpr int NameLength = 0; ///< 16 bits
constexpr int DataOffset = 2; ///< from the start of the body
constexpr int DataSize = 6;
constexpr int Mode = 10;
constexpr int Time = 14;
constexpr int Size = 18;
constexpr int MaxNameLength = 0xFFFF;
} // namespace Version2Record

/// The wrapper before a version-1 body, which follows as a zlib stream.
namespace WrapperHeader {
constexpr int Magic = 0;
constexpr int One = 4;      ///< written 1, never read
constexpr int Estimate = 8; ///< big-endian size estimate, never read
constexpr int Size = 12;
} // namespace WrapperHeader

/// The start of a legacy (version-1) body.
namespace LegacyBodyHeader {
constexpr int Magic = 0;
constexpr int Count = 4;
constexpr int Size = 8;
} // namespace LegacyBodyHeader

/// A legacy table record.
namespace LegacyRecord {
constexpr int Name = 0; ///< zero-terminated, the rest of the field zero-filled
constexpr int NameField = 1024;
constexpr int DataOffset = 1024; ///< from the start of the body
constexpr int DataSize = 1028;
constexpr int ReadOnly = 1032; ///< 32 bits written 1 or 0; only this byte is read
constexpr int Time = 1036;
constexpr int Size = 1040;
constexpr int MaxNameLength = NameField - 1;
} // namespace LegacyRecord

static_assert(LegacyBodyHeader::Size <= HeadSize, "the legacy body header is read into the head");

/// A legacy record keeps only the read-only flag; these are the modes it reads back as.
constexpr quint32 LegacyReadOnlyMode = 0444;
constexpr quint32 LegacyWritableMode = 0666;

constexpr int DefaultLevel = 7;
constexpr int MaxLevel = 9;

// ------------------------------------------------------ byte helpers

void putLe16(unsigned char *p, quint32 v)
{
    p[0] = uchar(v);
    p[1] = uchar(v >> 8);
}

void putLe32(unsigned char *p, quint32 v)
{
    p[0] = uchar(v);
    p[1] = uchar(v >> 8);
    p[2] = uchar(v >> 16);
    p[3] = uchar(v >> 24);
}

void putBe32(unsigned char *p, quint32 v)
{
    p[0] = uchar(v >> 24);
    p[1] = uchar(v >> 16);
    p[2] = uchar(v >> 8);
    p[3] = uchar(v);
}

quint32 le16(const unsigned char *p)
{
    return quint32(p[0]) | quint32(p[1]) << 8;
}

quint32 le32(const unsigned char *p)
{
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

/// Names on disk are one byte per character, ending at the first zero byte.
QString decodeName(const unsigned char *bytes, int length)
{
    const void *zero = std::memchr(bytes, 0, size_t(length));
    const int n = zero ? int(static_cast<const unsigned char *>(zero) - bytes) : length;
    return pathFromBytes(QByteArray(reinterpret_cast<const char *>(bytes), n));
}

struct FileCloser {
    void operator()(FILE *file) const { fclose(file); }
};
using OwnedFile = std::unique_ptr<FILE, FileCloser>;
using Members = std::vector<std::unique_ptr<PackageArchiveFile>>;

std::unique_ptr<PackageArchiveFile> loadedMember(const QString &name, quint32 offset, quint32 size,
                                                 quint32 mode, quint32 time)
{
    auto member = std::make_unique<PackageArchiveFile>(name, size, mode, time);
    member->entry()->setSource(PackageArchiveFileEntry::SourceArchive);
    member->entry()->setOffset(offset);
    return member;
}

/// Writes `length` bytes through the stream or throws `message`.
void writeOrThrow(PackageArchiveIOFileInterface &stream, const void *bytes, int length, const char *message)
{
    if (stream.write(bytes, length) < length)
        throw HException(message);
}

// ------------------------------------------------------ version 1

void readLegacyTable(PackageArchiveIOFileInterface &body, quint32 count, Members &members)
{
    unsigned char record[LegacyRecord::Size];
    // Members are made only as their records arrive: a count read from the
    // file never sizes an allocation.
    for (quint32 i = 0; i < count; ++i) {
        if (body.read(record, LegacyRecord::Size) != LegacyRecord::Size)
            throw HException(packagemessage::kBadTableOfContents);
        const quint32 mode = record[LegacyRecord::ReadOnly] ? LegacyReadOnlyMode : LegacyWritableMode;
        members.push_back(loadedMember(decodeName(record + LegacyRecord::Name, LegacyRecord::NameField),
                                       le32(record + LegacyRecord::DataOffset),
                                       le32(record + LegacyRecord::DataSize), mode,
                                       le32(record + LegacyRecord::Time)));
    }
}

QByteArray legacyFileHeader(const PackageArchiveData &archive)
{
    // The estimate is 32-bit arithmetic, as every writer of the form does it.
    quint32 total = quint32(LegacyRecord::Size) * quint32(archive.files.size());
    for (const auto &member : archive.files)
        total += member->size();
    unsigned char header[WrapperHeader::Size];
    putLe32(header + WrapperHeader::Magic, WrapperMagic);
    putLe32(header + WrapperHeader::One, 1);
    putBe32(header + WrapperHeader::Estimate, total + total / 100 + 13);
    return QByteArray(reinterpret_cast<const char *>(header), sizeof header);
}

/// The wrapped legacy body is zlib whatever the archive's method.
int legacyBodyMethod(int)
{
    return 0;
}

QByteArray legacyBodyHeader(quint32 count)
{
    unsigned char header[LegacyBodyHeader::Size];
    putLe32(header + LegacyBodyHeader::Magic, LegacyMagic);
    putLe32(header + LegacyBodyHeader::Count, count);
    return QByteArray(reinterpret_cast<const char *>(header), sizeof header);
}

quint64 legacyRecordSize(const PackageArchiveFile &)
{
    return LegacyRecord::Size;
}

void writeLegacyRecord(PackageArchiveIOFileInterface &stream, const PackageArchiveFile &member,
                       quint32 dataOffset)
{
    const QByteArray name = pathBytes(member.name());
    if (name.size() > LegacyRecord::MaxNameLength)
        throw HException(packagemessage::kFilenameTooLong);
    unsigned char record[LegacyRecord::Size] = {};
    std::memcpy(record + LegacyRecord::Name, name.constData(), size_t(name.size()));
    putLe32(record + LegacyRecord::DataOffset, dataOffset);
    putLe32(record + LegacyRecord::DataSize, member.size());
    putLe32(record + LegacyRecord::ReadOnly, member.isReadOnly() ? 1 : 0);
    putLe32(record + LegacyRecord::Time, member.time());
    writeOrThrow(stream, record, LegacyRecord::Size, packagemessage::kCannotWriteRecord);
}

// ------------------------------------------------------ version 2

void readVersion2Table(PackageArchiveIOFileInterface &body, quint32, Members &members)
{
    unsigned char header[Version2BodyHeader::Size];
    if (body.read(header, Version2BodyHeader::Size) != Version2BodyHeader::Size)
        throw HException(packagemessage::kBadHeader);
    const quint32 count = le32(header + Version2BodyHeader::Count);
    unsigned char record[Version2Record::Size];
    QByteArray name;
    for (quint32 i = 0; i < count; ++i) {
        if (body.read(record, Version2Record::Size) != Version2Record::Size)
            throw HException(packagemessage::kBadTableOfContents);
        const int length = int(le16(record + Version2Record::NameLength));
        name.resize(length);
        if (length > 0 && body.read(name.data(), length) != length)
            throw HException(packagemessage::kBadTableOfContents);
        members.push_back(loadedMember(
            decodeName(reinterpret_cast<const unsigned char *>(name.constData()), length),
            le32(record + Version2Record::DataOffset), le32(record + Version2Record::DataSize),
            le32(record + Version2Record::Mode), le32(record + Version2Record::Time)));
    }
}

QByteArray version2FileHeader(const PackageArchiveData &archive)
{
    unsigned char header[Version2Header::Size];
    putLe32(header + Version2Header::Magic, Version2Magic);
    putLe16(header + Version2Header::FormatWord, quint32(archive.compression) << Version2Header::MethodShift | 2);
    putLe16(header + Version2Header::Reserved, 0);
    return QByteArray(reinterpret_cast<const char *>(header), sizeof header);
}

int version2BodyMethod(int compression)
{
    return compression;
}

QByteArray version2BodyHeader(quint32 count)
{
    unsigned char header[Version2BodyHeader::Size] = {};
    putLe32(header + Version2BodyHeader::Count, count);
    return QByteArray(reinterpret_cast<const char *>(header), sizeof header);
}

quint64 version2RecordSize(const PackageArchiveFile &member)
{
    return quint64(Version2Record::Size) + quint64(member.name().size());
}

void writeVersion2Record(PackageArchiveIOFileInterface &stream, const PackageArchiveFile &member,
                         quint32 dataOffset)
{
    const QByteArray name = pathBytes(member.name());
    if (name.size() > Version2Record::MaxNameLength)
        throw HException(packagemessage::kFilenameTooLong);
    unsigned char record[Version2Record::Size];
    putLe16(record + Version2Record::NameLength, quint32(name.size()));
    putLe32(record + Version2Record::DataOffset, dataOffset);
    putLe32(record + Version2Record::DataSize, member.size());
    putLe32(record + Version2Record::Mode, member.mode());
    putLe32(record + Version2Record::Time, member.time());
    writeOrThrow(stream, record, Version2Record::Size, packagemessage::kCannotWriteRecord);
    if (!name.isEmpty())
        writeOrThrow(stream, name.constData(), name.size(), packagemessage::kCannotWriteRecordName);
}

// ------------------------------------------------------ the dispatch

/// What differs between the versions, for reading and writing.
struct VersionFormat {
    int version;
    /// Reads the table that follows the recognised header; `count` is the
    /// member count that recognition found (version 1 only).
    void (*readTable)(PackageArchiveIOFileInterface &body, quint32 count, Members &members);
    /// The bytes in front of the compressed body.
    QByteArray (*fileHeader)(const PackageArchiveData &archive);
    /// The compression method of the body, given the archive's.
    int (*bodyMethod)(int compression);
    QByteArray (*bodyHeader)(quint32 count);
    /// The bytes of the member's table record, name included.
    quint64 (*recordSize)(const PackageArchiveFile &member);
    void (*writeRecord)(PackageArchiveIOFileInterface &stream, const PackageArchiveFile &member,
                        quint32 dataOffset);
    int bodyHeaderSize;
};

const VersionFormat kFormats[] = {
    {1, readLegacyTable, legacyFileHeader, legacyBodyMethod, legacyBodyHeader, legacyRecordSize,
     writeLegacyRecord, LegacyBodyHeader::Size},
    {2, readVersion2Table, version2FileHeader, version2BodyMethod, version2BodyHeader, version2RecordSize,
     writeVersion2Record, Version2BodyHeader::Size},
};

const VersionFormat &formatFor(int version)
{
    for (const VersionFormat &format : kFormats)
        if (format.version == version)
            return format;
    throw HException(packagemessage::kUnsupportedVersion);
}

// ------------------------------------------------------ writing steps

int clampedLevel(int level)
{
    if (level < 0)
        return DefaultLevel;
    return level > MaxLevel ? MaxLevel : level;
}

/// The body offset of the first member's data; throws "package too large"
/// when the body would not fit 32-bit offsets.
quint32 dataStart(const VersionFormat &format, const Members &members)
{
    quint64 tableEnd = quint64(format.bodyHeaderSize);
    quint64 bodyEnd = tableEnd;
    for (const auto &member : members) {
        tableEnd += format.recordSize(*member);
        bodyEnd += format.recordSize(*member) + member->size();
    }
    if (bodyEnd > 0xFFFFFFFFull)
        throw HException(packagemessage::kPackageTooLarge);
    return quint32(tableEnd);
}

FILE *openOutput(const QString &path, const PackageSaveOptions &options)
{
    const QByteArray local = pathBytes(path);
    FILE *file = nullptr;
    if (options.exclusive) {
        const int fd = ::open(local.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            file = fdopen(fd, "wb");
            if (!file)
                ::close(fd);
        }
    } else {
        file = fopen(local.constData(), "wb");
    }
    if (!file)
        throw HException(packagemessage::kCannotOpenOutput);
    return file;
}

/// The file an exclusive save created, removed again unless the save
/// completes. Creation was exclusive, so the file is this save's own; its
/// device and inode make sure the name still holds it when it is removed.
class CreatedOutput {
public:
    /// Nothing to remove when `path` is empty.
    CreatedOutput(const QByteArray &path, FILE *file)
    {
        if (!path.isEmpty() && fstat(fileno(file), &m_created) == 0)
            m_path = path;
    }
    ~CreatedOutput()
    {
        struct stat now;
        if (!m_path.isEmpty() && ::lstat(m_path.constData(), &now) == 0 && now.st_dev == m_created.st_dev &&
            now.st_ino == m_created.st_ino)
            ::unlink(m_path.constData());
    }
    CreatedOutput(const CreatedOutput &) = delete;
    CreatedOutput &operator=(const CreatedOutput &) = delete;
    void keep() { m_path.clear(); }

private:
    QByteArray m_path;
    struct stat m_created = {};
};

/// The worker threads a save compresses with: one per online core, or fewer
/// when `asked` (above 0) is lower.
int workerThreads(int asked)
{
    const int online = std::max(1, int(std::thread::hardware_concurrency()));
    return asked > 0 ? std::min(asked, online) : online;
}

std::unique_ptr<PackageArchiveIOFileInterface> prepared(std::unique_ptr<PackageArchiveIOFileInterface> s,
                                                        const PackageSaveOptions &options, int threads)
{
    if (auto *plain = dynamic_cast<PackageArchiveIOFile *>(s.get()))
        plain->setSyncOnClose(options.sync);
    if (auto *segmented = dynamic_cast<PackageArchiveCompressedGzOutputFile *>(s.get()))
        segmented->setWorkerThreads(workerThreads(threads));
    return s;
}

} // namespace

// ----------------------------------------------------------- recognition

std::unique_ptr<PackageArchiveIOFileInterface>
PackageArchive::openArchiveFile(const QString &path, qint32 archiveOffset, int &versionOut,
                                quint32 &countOut)
{
    versionOut = 0;
    countOut = 0;
    OwnedFile file(fopen(pathBytes(path).constData(), "rb"));
    if (!file)
        return nullptr;
    if (archiveOffset != 0)
        fseeko(file.get(), off_t(archiveOffset), SEEK_SET);
    openedForReading(file.get());

    unsigned char head[HeadSize];
    if (fread(head, 1, sizeof head, file.get()) != sizeof head)
        return nullptr;
    quint32 magic = le32(head);

    if (magic == Version2Magic) {
        const quint32 word = le16(head + Version2Header::FormatWord);
        d->compression = int(word >> Version2Header::MethodShift);
        auto body = createInputFile(d->compression, file.release());
        // A version-2 header naming version 1 carries no member count; no
        // writer makes one, so it is not taken for an archive.
        if ((word & Version2Header::VersionMask) != 2)
            return nullptr;
        versionOut = 2;
        return body;
    }
    std::unique_ptr<PackageArchiveIOFileInterface> body;
    if (magic == WrapperMagic) {
        fseeko(file.get(), WrapperHeader::Size - HeadSize, SEEK_CUR); // the estimate, never read
        body = createInputFile(0, file.release());
        if (body->read(head, LegacyBodyHeader::Size) != LegacyBodyHeader::Size)
            return nullptr;
        magic = le32(head + LegacyBodyHeader::Magic);
    } else {
        // The plain stream seeks in absolute file positions, so member
        // offsets of a bare body only hold when it starts the file.
        if (archiveOffset != 0)
            return nullptr;
        body = std::make_unique<PackageArchiveIOFile>(file.release());
    }
    if (magic != LegacyMagic)
        return nullptr;
    versionOut = 1;
    countOut = le32(head + LegacyBodyHeader::Count);
    return body;
}

bool PackageArchive::isPackageFile(const QString &path)
{
    PackageArchive probe;
    int version = 0;
    quint32 count = 0;
    try {
        return probe.openArchiveFile(path, 0, version, count) != nullptr;
    } catch (const HException &) {
        return false;
    }
}

// --------------------------------------------------------------- loading

void PackageArchive::load(const QString &path, qint32 archiveOffset, int keepSortedIndex)
{
    clear();
    struct stat st;
    if (::stat(pathBytes(path).constData(), &st) != 0)
        throw HException(pathBytes(path) + packagemessage::kDoesNotExist);
    try {
        quint32 count = 0;
        d->body = openArchiveFile(path, archiveOffset, d->version, count);
        if (!d->body)
            throw HException(packagemessage::kUnsupportedFormat);
        formatFor(d->version).readTable(*d->body, count, d->files);
        indexNames();
        if (keepSortedIndex & 1)
            buildSortedIndex();
    } catch (...) {
        clear();
        throw;
    }
}

// ---------------------------------------------------------------- saving

void PackageArchive::save(const QString &path, int level)
{
    save(path, level, PackageSaveOptions());
}

void PackageArchive::save(const QString &path, int level, const PackageSaveOptions &options)
{
    level = clampedLevel(level);
    const VersionFormat &format = formatFor(d->version);
    quint32 dataOffset = dataStart(format, d->files);
    const int bodyMethod = format.bodyMethod(d->compression);
    // Found before the output exists; every byte to copy is checked first.
    std::unique_ptr<SegmentedBody> reusable = reusableBody(bodyMethod, level);

    OwnedFile file(openOutput(path, options));
    CreatedOutput created(options.exclusive ? pathBytes(path) : QByteArray(), file.get());
    openedForWriting(file.get());
    const QByteArray fileHeader = format.fileHeader(*d);
    if (fwrite(fileHeader.constData(), 1, size_t(fileHeader.size()), file.get()) != size_t(fileHeader.size()))
        throw HException(packagemessage::kCannotWriteHeader);

    auto stream = prepared(createOutputFile(bodyMethod, file.release(), level), options, d->compressionThreads);
    if (!stream->appendsSegments())
        reusable.reset();
    // The header and the table change with every update: segments of their own.
    stream->beginRegion(dataOffset, true);
    const QByteArray bodyHeader = format.bodyHeader(quint32(d->files.size()));
    writeOrThrow(*stream, bodyHeader.constData(), bodyHeader.size(), packagemessage::kCannotWriteBodyHeader);
    for (const auto &member : d->files) {
        format.writeRecord(*stream, *member, dataOffset);
        dataOffset += member->size();
    }
    if (reusable)
        writeMembersReusing(*stream, *reusable);
    else
        writeMembers(*stream);
    stream->close();
    created.keep();
}

void PackageArchive::writeMembers(PackageArchiveIOFileInterface &stream)
{
    for (const auto &member : d->files) {
        stream.beginRegion(member->size(), false);
        readFileData(member.get(), [&stream](const char *data, int length) {
            writeOrThrow(stream, data, length, packagemessage::kCannotWriteFile);
        });
    }
}
