#include "package/packagearchive.h"

#include <QFile>
#include <QRegExp>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

namespace {

constexpr quint32 Version2Magic = 0x71F5C6B1;
constexpr quint32 WrapperMagic = 0xB231F47A;
constexpr quint32 LegacyMagic = 0x4152C3C8;

constexpr int Version2HeaderSize = 8;
constexpr int Version2BodyHeaderSize = 20;
constexpr int Version2RecordSize = 18;
constexpr int WrapperHeaderSize = 12;
constexpr int LegacyBodyHeaderSize = 8;
constexpr int LegacyRecordSize = 1040;
constexpr int LegacyNameField = 1024;

constexpr quint32 KeptModeBits = 0xE1FF;
constexpr quint32 LegacyReadOnlyMode = 0444;
constexpr quint32 LegacyWritableMode = 0666;

// -------------------------------------------------------------- messages

HException pathError(const char *phrase, const QString &path)
{
    return HException(QByteArray(phrase) + QFile::encodeName(path));
}

HException nameError(const char *phrase, const QString &name, const char *tail = "")
{
    return HException(QByteArray(phrase) + name.toLatin1() + tail);
}

// ------------------------------------------------------ little helpers

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

/// Names on disk are Latin-1, ending at the first zero byte.
QString decodeName(const unsigned char *bytes, int length)
{
    const void *zero = std::memchr(bytes, 0, size_t(length));
    int n = zero ? int(static_cast<const unsigned char *>(zero) - bytes) : length;
    return QString::fromLatin1(reinterpret_cast<const char *>(bytes), n);
}

struct FileCloser {
    void operator()(FILE *file) const { fclose(file); }
};
using OwnedFile = std::unique_ptr<FILE, FileCloser>;

class FdCloser {
public:
    explicit FdCloser(int fd) : m_fd(fd) {}
    ~FdCloser()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FdCloser(const FdCloser &) = delete;
    FdCloser &operator=(const FdCloser &) = delete;
    int fd() const { return m_fd; }
    void reset(int fd)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }
    /// Closes now, answering whether close succeeded.
    bool close()
    {
        int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

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

ssize_t readRetrying(int fd, void *buffer, size_t length)
{
    ssize_t n;
    do
        n = ::read(fd, buffer, length);
    while (n < 0 && errno == EINTR);
    return n;
}

bool writeAll(int fd, const char *data, size_t length)
{
    while (length > 0) {
        ssize_t n = ::write(fd, data, length);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        length -= size_t(n);
    }
    return true;
}

bool matchesWildcard(const QRegExp &pattern, const QString &name)
{
    return pattern.exactMatch(name);
}

} // namespace

// -------------------------------------------------- member and records

PackageArchiveFileEntry::PackageArchiveFileEntry(const QString &name, quint32 size, quint32 mode,
                                                 quint32 time)
    : m_name(name), m_size(size), m_mode(mode), m_time(time)
{
}

void PackageArchiveFileEntry::setData(const QByteArray &data)
{
    m_data = data;
    m_source = SourceMemory;
    m_size = quint32(data.size());
}

PackageArchiveFile::PackageArchiveFile(const QString &name, quint32 size, quint32 mode, quint32 time)
    : m_entry(std::make_unique<PackageArchiveFileEntry>(name, size, mode, time))
{
}

PackageArchiveFile::~PackageArchiveFile() = default;

QDateTime PackageArchiveFile::lastModified() const
{
    return QDateTime::fromSecsSinceEpoch(qint64(m_entry->time()));
}

void PackageArchiveFile::setLastModified(const QDateTime &time)
{
    m_entry->setTime(quint32(time.toSecsSinceEpoch()));
}

PackageArchiveData::PackageArchiveData() = default;
PackageArchiveData::~PackageArchiveData() = default;

// ------------------------------------------------------- member reader

namespace {

/// Delivers one member's bytes in chunks from its source. Construction does
/// the part that can fail before any byte is delivered (opening the disk
/// file, positioning the body), so callers can check their output after it.
class MemberReader {
public:
    MemberReader(PackageArchiveIOFileInterface *body, PackageArchiveFile *member)
        : m_member(member), m_remaining(member ? member->size() : 0), m_fd(-1)
    {
        if (!member)
            return;
        switch (member->source()) {
        case PackageArchiveFileEntry::SourceArchive:
            if (!body)
                throw nameError("cannot read file ", member->name(), " from archive");
            m_body = body;
            if (m_remaining > 0)
                m_body->seek(member->offset());
            break;
        case PackageArchiveFileEntry::SourceDiskFile: {
            m_fd.reset(::open(QFile::encodeName(member->diskPath()).constData(),
                              O_RDONLY | O_CLOEXEC | O_NONBLOCK));
            if (m_fd.fd() < 0)
                throw nameError("cannot read file ", member->name());
            struct stat st;
            if (fstat(m_fd.fd(), &st) != 0 || quint64(st.st_size) != member->size())
                throw changed();
            break;
        }
        case PackageArchiveFileEntry::SourceMemory:
            m_memory = member->entry()->data().constData();
            m_remaining = quint32(member->entry()->data().size());
            break;
        default:
            m_remaining = 0;
            break;
        }
    }

    /// Fills `buffer` (ChunkSize bytes) with the next chunk; 0 at the end.
    int next(char *buffer)
    {
        if (m_remaining == 0) {
            if (m_fd.fd() >= 0) {
                // A file that grew since its size was taken would not match
                // the table of contents.
                char probe;
                ssize_t extra = readRetrying(m_fd.fd(), &probe, 1);
                m_fd.close();
                if (extra != 0)
                    throw changed();
            }
            return 0;
        }
        int want = int(std::min<quint32>(m_remaining, PackageArchive::ChunkSize));
        int got = 0;
        switch (m_member->source()) {
        case PackageArchiveFileEntry::SourceArchive:
            got = m_body->read(buffer, want);
            if (got <= 0)
                throw nameError("cannot read file ", m_member->name(), " from archive");
            break;
        case PackageArchiveFileEntry::SourceDiskFile: {
            ssize_t n = readRetrying(m_fd.fd(), buffer, size_t(want));
            if (n < 0)
                throw nameError("cannot read file ", m_member->name());
            if (n == 0)
                throw changed();
            got = int(n);
            break;
        }
        default:
            std::memcpy(buffer, m_memory, size_t(want));
            m_memory += want;
            got = want;
            break;
        }
        m_remaining -= quint32(got);
        return got;
    }

private:
    HException changed() const
    {
        return pathError("file changed while reading ", m_member->diskPath());
    }

    PackageArchiveFile *m_member;
    quint32 m_remaining;
    PackageArchiveIOFileInterface *m_body = nullptr;
    const char *m_memory = nullptr;
    FdCloser m_fd;
};

} // namespace

// ---------------------------------------------------- archive lifetime

PackageArchive::PackageArchive(const QString &path) : d(std::make_unique<PackageArchiveData>())
{
    if (!path.isEmpty())
        load(path, 0, false);
}

PackageArchive::~PackageArchive()
{
    clear();
}

void PackageArchive::clear()
{
    d->sortedIndex.clear();
    d->files.clear();
    d->body.reset();
}

// ------------------------------------------------------------- factories

std::unique_ptr<PackageArchiveIOFileInterface> PackageArchive::createInputFile(int method, FILE *file)
{
    switch (method) {
    case 0:
        return std::make_unique<PackageArchiveCompressedGzInputFile>(file);
    case 1:
        return std::make_unique<PackageArchiveCompressedBzInputFile>(file);
    default:
        fclose(file);
        throw HException("unsupported compression algorithm");
    }
}

std::unique_ptr<PackageArchiveIOFileInterface> PackageArchive::createOutputFile(int method, FILE *file,
                                                                                 int level)
{
    switch (method) {
    case 0:
        return std::make_unique<PackageArchiveCompressedGzOutputFile>(file, level);
    case 1:
        return std::make_unique<PackageArchiveCompressedBzOutputFile>(file, level);
    default:
        fclose(file);
        throw HException("unsupported compression algorithm");
    }
}

void PackageArchive::openedForWriting(FILE *) {}

void PackageArchive::openedForReading(FILE *) {}

// ----------------------------------------------------------- recognition

std::unique_ptr<PackageArchiveIOFileInterface>
PackageArchive::openArchiveFile(const QString &path, qint32 archiveOffset, int &versionOut,
                                quint32 &countOut)
{
    versionOut = 0;
    countOut = 0;
    OwnedFile file(fopen(QFile::encodeName(path).constData(), "rb"));
    if (!file)
        return nullptr;
    if (archiveOffset != 0)
        fseeko(file.get(), off_t(archiveOffset), SEEK_SET);
    openedForReading(file.get());

    unsigned char head[8];
    if (fread(head, 1, sizeof head, file.get()) != sizeof head)
        return nullptr;
    quint32 magic = le32(head);

    std::unique_ptr<PackageArchiveIOFileInterface> body;
    bool bare = false;
    if (magic == Version2Magic) {
        quint32 word = le16(head + 4);
        d->compression = int(word >> 12);
        int version = int(word & 0xFFF);
        body = createInputFile(d->compression, file.release());
        // A version-2 header naming version 1 carries no member count; no
        // writer makes one, so it is not taken for an archive.
        if (version != 2)
            return nullptr;
        versionOut = 2;
        return body;
    }
    if (magic == WrapperMagic) {
        fseeko(file.get(), 4, SEEK_CUR); // the size estimate, never read
        body = createInputFile(0, file.release());
        if (body->read(head, sizeof head) != int(sizeof head))
            return nullptr;
        magic = le32(head);
    } else {
        body = std::make_unique<PackageArchiveIOFile>(file.release());
        bare = true;
    }
    if (magic != LegacyMagic)
        return nullptr;
    // The plain stream seeks in absolute file positions, so member offsets of
    // a bare body only hold when it starts the file.
    if (bare && archiveOffset != 0)
        return nullptr;
    versionOut = 1;
    countOut = le32(head + 4);
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
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        throw HException(QFile::encodeName(path) + " does not exist");
    try {
        quint32 count = 0;
        d->body = openArchiveFile(path, archiveOffset, d->version, count);
        if (!d->body)
            throw HException("unsupported package file format");
        switch (d->version) {
        case 1:
            loadLegacyTable(count);
            break;
        case 2:
            loadVersion2Table();
            break;
        default:
            throw HException("unsupported package file version");
        }
        if (keepSortedIndex & 1)
            buildSortedIndex();
    } catch (...) {
        clear();
        throw;
    }
}

void PackageArchive::loadLegacyTable(quint32 count)
{
    unsigned char record[LegacyRecordSize];
    // Members are made only as their records arrive: a count read from the
    // file never sizes an allocation.
    for (quint32 i = 0; i < count; ++i) {
        if (d->body->read(record, LegacyRecordSize) != LegacyRecordSize)
            throw HException("bad table of contents");
        quint32 mode = record[1032] ? LegacyReadOnlyMode : LegacyWritableMode;
        auto member = std::make_unique<PackageArchiveFile>(decodeName(record, LegacyNameField),
                                                           le32(record + 1028), mode,
                                                           le32(record + 1036));
        member->entry()->setSource(PackageArchiveFileEntry::SourceArchive);
        member->entry()->setOffset(le32(record + 1024));
        appendLoaded(std::move(member));
    }
}

void PackageArchive::loadVersion2Table()
{
    unsigned char header[Version2BodyHeaderSize];
    if (d->body->read(header, Version2BodyHeaderSize) != Version2BodyHeaderSize)
        throw HException("bad header");
    quint32 count = le32(header);
    unsigned char record[Version2RecordSize];
    QByteArray name;
    for (quint32 i = 0; i < count; ++i) {
        if (d->body->read(record, Version2RecordSize) != Version2RecordSize)
            throw HException("bad table of contents");
        int length = int(le16(record));
        name.resize(length);
        if (length > 0 && d->body->read(name.data(), length) != length)
            throw HException("bad table of contents");
        auto member = std::make_unique<PackageArchiveFile>(
            decodeName(reinterpret_cast<const unsigned char *>(name.constData()), length),
            le32(record + 6), le32(record + 10), le32(record + 14));
        member->entry()->setSource(PackageArchiveFileEntry::SourceArchive);
        member->entry()->setOffset(le32(record + 2));
        appendLoaded(std::move(member));
    }
}

void PackageArchive::appendLoaded(std::unique_ptr<PackageArchiveFile> member)
{
    d->files.push_back(std::move(member));
}

void PackageArchive::buildSortedIndex()
{
    // Equal names end up latest-loaded first, as if each new member had been
    // inserted before the equal ones already there; sorting once keeps a
    // table of millions of members from costing a quadratic insert.
    d->sortedIndex.clear();
    d->sortedIndex.reserve(d->files.size());
    for (auto it = d->files.rbegin(); it != d->files.rend(); ++it)
        d->sortedIndex.push_back(it->get());
    std::stable_sort(d->sortedIndex.begin(), d->sortedIndex.end(),
                     [](const PackageArchiveFile *a, const PackageArchiveFile *b) {
                         return a->name() < b->name();
                     });
}

// ---------------------------------------------------------------- saving

void PackageArchive::save(const QString &path, int level)
{
    save(path, level, PackageSaveOptions());
}

void PackageArchive::save(const QString &path, int level, const PackageSaveOptions &options)
{
    if (level < 0)
        level = 7;
    else if (level > 9)
        level = 9;
    if (d->version != 1 && d->version != 2)
        throw HException("unsupported package file version");
    checkBodyFits();

    OwnedFile file(openOutput(path, options));
    CreatedOutput created(options.exclusive ? QFile::encodeName(path) : QByteArray(), file.get());
    openedForWriting(file.get());
    if (d->version == 2)
        saveVersion2(file.release(), level, options);
    else
        saveVersion1(file.release(), level, options);
    created.keep();
}

void PackageArchive::checkBodyFits() const
{
    quint64 end = d->version == 2 ? Version2BodyHeaderSize : LegacyBodyHeaderSize;
    for (const auto &member : d->files) {
        end += d->version == 2 ? quint64(Version2RecordSize) + quint64(member->name().size())
                               : quint64(LegacyRecordSize);
        end += member->size();
    }
    if (end > 0xFFFFFFFFull)
        throw HException("package too large");
}

FILE *PackageArchive::openOutput(const QString &path, const PackageSaveOptions &options)
{
    QByteArray local = QFile::encodeName(path);
    FILE *file = nullptr;
    if (options.exclusive) {
        int fd = ::open(local.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            file = fdopen(fd, "wb");
            if (!file)
                ::close(fd);
        }
    } else {
        file = fopen(local.constData(), "wb");
    }
    if (!file)
        throw HException("cannot open output file");
    return file;
}

namespace {

std::unique_ptr<PackageArchiveIOFileInterface> prepared(std::unique_ptr<PackageArchiveIOFileInterface> s,
                                                        const PackageSaveOptions &options)
{
    if (auto *plain = dynamic_cast<PackageArchiveIOFile *>(s.get()))
        plain->setSyncOnClose(options.sync);
    return s;
}

} // namespace

void PackageArchive::saveVersion2(FILE *output, int level, const PackageSaveOptions &options)
{
    OwnedFile file(output);
    const quint32 count = quint32(d->files.size());
    unsigned char header[Version2HeaderSize];
    putLe32(header, Version2Magic);
    putLe16(header + 4, quint32(d->compression) << 12 | 2);
    putLe16(header + 6, 0);
    unsigned char bodyHeader[Version2BodyHeaderSize] = {};
    putLe32(bodyHeader, count);

    if (fwrite(header, 1, sizeof header, file.get()) != sizeof header)
        throw HException("cannot write header");
    auto stream = prepared(createOutputFile(d->compression, file.release(), level), options);
    if (stream->write(bodyHeader, sizeof bodyHeader) < int(sizeof bodyHeader))
        throw HException("cannot write header2");

    quint32 offset = Version2BodyHeaderSize + Version2RecordSize * count;
    for (const auto &member : d->files)
        offset += quint32(member->name().size());
    unsigned char record[Version2RecordSize];
    for (const auto &member : d->files) {
        QByteArray name = member->name().toLatin1();
        if (name.size() > 65535)
            throw HException("filename too long");
        putLe16(record, quint32(name.size()));
        putLe32(record + 2, offset);
        putLe32(record + 6, member->size());
        putLe32(record + 10, member->mode());
        putLe32(record + 14, member->time());
        if (stream->write(record, Version2RecordSize) < Version2RecordSize)
            throw HException("cannot write table of contents");
        if (!name.isEmpty() && stream->write(name.constData(), name.size()) < name.size())
            throw HException("cannot write table of contents filename");
        offset += member->size();
    }
    writeMembers(*stream);
    stream->close();
}

void PackageArchive::saveVersion1(FILE *output, int level, const PackageSaveOptions &options)
{
    OwnedFile file(output);
    const quint32 count = quint32(d->files.size());
    quint32 total = LegacyRecordSize * count;
    for (const auto &member : d->files)
        total += member->size();
    const quint32 estimate = total + total / 100 + 13;

    unsigned char wrapper[WrapperHeaderSize];
    putLe32(wrapper, WrapperMagic);
    putLe32(wrapper + 4, 1);
    putBe32(wrapper + 8, estimate);
    unsigned char bodyHeader[LegacyBodyHeaderSize];
    putLe32(bodyHeader, LegacyMagic);
    putLe32(bodyHeader + 4, count);

    if (fwrite(wrapper, 1, sizeof wrapper, file.get()) != sizeof wrapper)
        throw HException("cannot write header");
    // The wrapped legacy body is zlib whatever the archive's method.
    auto stream = prepared(createOutputFile(0, file.release(), level), options);
    if (stream->write(bodyHeader, sizeof bodyHeader) < int(sizeof bodyHeader))
        throw HException("cannot write header2");

    quint32 offset = LegacyBodyHeaderSize + LegacyRecordSize * count;
    unsigned char record[LegacyRecordSize];
    for (const auto &member : d->files) {
        QByteArray name = member->name().toLatin1();
        if (name.size() > LegacyNameField - 1)
            throw HException("filename too long");
        std::memset(record, 0, sizeof record);
        std::memcpy(record, name.constData(), size_t(name.size()));
        putLe32(record + 1024, offset);
        putLe32(record + 1028, member->size());
        putLe32(record + 1032, member->isReadOnly() ? 1 : 0);
        putLe32(record + 1036, member->time());
        if (stream->write(record, LegacyRecordSize) < LegacyRecordSize)
            throw HException("cannot write table of contents");
        offset += member->size();
    }
    writeMembers(*stream);
    stream->close();
}

void PackageArchive::writeMembers(PackageArchiveIOFileInterface &stream)
{
    for (const auto &member : d->files) {
        readFileData(member.get(), [&stream](const char *data, int length) {
            if (stream.write(data, length) < length)
                throw HException("cannot write file");
        });
    }
}

// ---------------------------------------------------------------- lookup

QList<PackageArchiveFile *> PackageArchive::filesInBodyOrder() const
{
    QList<PackageArchiveFile *> fromBody;
    QList<PackageArchiveFile *> others;
    for (const auto &member : d->files) {
        if (member->source() == PackageArchiveFileEntry::SourceArchive)
            fromBody.append(member.get());
        else
            others.append(member.get());
    }
    std::stable_sort(fromBody.begin(), fromBody.end(),
                     [](const PackageArchiveFile *a, const PackageArchiveFile *b) {
                         return a->offset() < b->offset();
                     });
    return fromBody + others;
}

PackageArchiveFile *PackageArchive::find(const QString &name) const
{
    if (d->sortedIndex.empty()) {
        for (const auto &member : d->files)
            if (member->name() == name)
                return member.get();
        return nullptr;
    }
    auto at = std::lower_bound(d->sortedIndex.begin(), d->sortedIndex.end(), name,
                               [](const PackageArchiveFile *f, const QString &n) {
                                   return f->name() < n;
                               });
    return at != d->sortedIndex.end() && (*at)->name() == name ? *at : nullptr;
}

PackageArchiveFile *PackageArchive::findFirst(const QString &pattern) const
{
    QRegExp wildcard(pattern, Qt::CaseSensitive, QRegExp::Wildcard);
    for (const auto &member : d->files)
        if (matchesWildcard(wildcard, member->name()))
            return member.get();
    return nullptr;
}

PackageArchiveFile *PackageArchive::findPackageDescription() const
{
    return findFirst(QStringLiteral("*_package.xml"));
}

QList<PackageArchiveFile *> PackageArchive::match(const QString &pattern) const
{
    QRegExp wildcard(pattern, Qt::CaseSensitive, QRegExp::Wildcard);
    QList<PackageArchiveFile *> found;
    for (const auto &member : d->files)
        if (matchesWildcard(wildcard, member->name()))
            found.append(member.get());
    return found;
}

// ------------------------------------------------ changing the members

PackageArchiveFile *PackageArchive::addMember(const QString &name)
{
    if (PackageArchiveFile *existing = find(name))
        return existing;
    auto member = std::make_unique<PackageArchiveFile>(name, 0, 0, 0);
    PackageArchiveFile *added = member.get();
    // New members go into the index too, so find() stays right for all of them.
    if (!d->sortedIndex.empty()) {
        auto at = std::lower_bound(d->sortedIndex.begin(), d->sortedIndex.end(), name,
                                   [](const PackageArchiveFile *f, const QString &n) {
                                       return f->name() < n;
                                   });
        d->sortedIndex.insert(at, added);
    }
    d->files.push_back(std::move(member));
    return added;
}

PackageArchiveFile *PackageArchive::addFile(const QString &diskPath, const QString &name)
{
    QByteArray local = QFile::encodeName(diskPath);
    // Non-blocking, so that a FIFO named by mistake cannot stall the open.
    FdCloser fd(::open(local.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.fd() < 0)
        throw pathError("cannot read ", diskPath);
    struct stat st;
    if (fstat(fd.fd(), &st) != 0)
        throw pathError("cannot read ", diskPath);
    fd.close();
    if (quint64(st.st_size) > 0xFFFFFFFFull)
        throw pathError("file too large ", diskPath);

    PackageArchiveFile *member = addMember(name);
    member->setSize(quint32(st.st_size));
    member->setMode(quint32(st.st_mode) & KeptModeBits);
    member->setTime(quint32(st.st_mtime));
    member->entry()->clearData();
    member->entry()->setOffset(0);
    member->entry()->setSource(PackageArchiveFileEntry::SourceDiskFile);
    member->entry()->setDiskPath(diskPath);
    return member;
}

PackageArchiveFile *PackageArchive::addFile(const QString &path)
{
    return addFile(path, path);
}

PackageArchiveFile *PackageArchive::addData(const QByteArray &bytes, const QDateTime &time,
                                            quint32 mode, const QString &name)
{
    PackageArchiveFile *member = addMember(name);
    member->setMode(mode);
    member->setLastModified(time);
    member->entry()->setOffset(0);
    member->entry()->setDiskPath(QString());
    member->entry()->setData(bytes);
    return member;
}

bool PackageArchive::remove(const QString &name)
{
    auto it = std::find_if(d->files.begin(), d->files.end(),
                           [&name](const std::unique_ptr<PackageArchiveFile> &f) {
                               return f->name() == name;
                           });
    if (it == d->files.end())
        return false;
    d->sortedIndex.erase(std::remove(d->sortedIndex.begin(), d->sortedIndex.end(), it->get()),
                         d->sortedIndex.end());
    d->files.erase(it);
    return true;
}

// ---------------------------------------------------------- member bytes

QByteArray PackageArchive::fileData(PackageArchiveFile *member)
{
    if (!member)
        return QByteArray();
    switch (member->source()) {
    case PackageArchiveFileEntry::SourceMemory:
        return member->entry()->data();
    case PackageArchiveFileEntry::SourceDiskFile: {
        QFile file(member->diskPath());
        if (!file.open(QIODevice::ReadOnly))
            throw nameError("cannot read file ", member->name());
        return file.readAll();
    }
    case PackageArchiveFileEntry::SourceArchive: {
        // Grows with the bytes that really arrive, never by the declared size.
        QByteArray bytes;
        readFileData(member, [&bytes](const char *data, int length) { bytes.append(data, length); });
        return bytes;
    }
    default:
        return QByteArray();
    }
}

QByteArray PackageArchive::fileData(const QString &name)
{
    return fileData(find(name));
}

void PackageArchive::readFileData(PackageArchiveFile *member, const PackageDataSink &sink)
{
    MemberReader reader(d->body.get(), member);
    char buffer[ChunkSize];
    while (int n = reader.next(buffer))
        sink(buffer, n);
}

// ------------------------------------------------------------ extraction

namespace {

/// Creates each missing directory above `path`, from the top down; failures
/// show up when the file itself is created.
void createParentDirectories(const QByteArray &path)
{
    int slash = path.lastIndexOf('/');
    if (slash <= 0)
        return;
    struct stat st;
    if (::stat(path.left(slash).constData(), &st) == 0)
        return;
    for (int at = path.indexOf('/', 1); at > 0 && at <= slash; at = path.indexOf('/', at + 1)) {
        QByteArray prefix = path.left(at);
        if (::stat(prefix.constData(), &st) != 0)
            ::mkdir(prefix.constData(), 0777);
    }
}

} // namespace

void PackageArchive::extractFile(PackageArchiveFile *member, const QString &outputPath, bool overwrite)
{
    if (!member)
        return;
    // Opening the source (and positioning the body) comes first, so a member
    // that cannot be read fails before its output is touched.
    MemberReader reader(d->body.get(), member);

    const QByteArray local = QFile::encodeName(outputPath);
    struct stat st;
    // lstat: a dangling link at the output path is an existing name too, and
    // must not be written through.
    if (::lstat(local.constData(), &st) == 0) {
        if (!overwrite)
            throw pathError("cannot overwrite file ", outputPath);
        ::unlink(local.constData());
    } else {
        createParentDirectories(local);
    }

    FdCloser fd(::open(local.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (fd.fd() < 0)
        throw pathError("cannot create output file ", outputPath);
    char buffer[ChunkSize];
    while (int n = reader.next(buffer)) {
        if (!writeAll(fd.fd(), buffer, size_t(n)))
            throw pathError("cannot write to output file ", outputPath);
    }
    quint32 currentMode = 0;
    if (fstat(fd.fd(), &st) == 0)
        currentMode = quint32(st.st_mode);
    if (!fd.close())
        throw pathError("cannot write to output file ", outputPath);

    struct utimbuf times;
    times.actime = time_t(member->time());
    times.modtime = time_t(member->time());
    ::utime(local.constData(), &times);

    mode_t mode = mode_t((member->mode() & KeptModeBits) | (currentMode & ~KeptModeBits));
    if (::chmod(local.constData(), mode) != 0)
        throw pathError("cannot set mode of output file ", outputPath);
}

void PackageArchive::extractFileTo(PackageArchiveFile *member, const QString &directory, bool overwrite)
{
    if (!member)
        return;
    extractFile(member, directory + QLatin1Char('/') + member->name(), overwrite);
}

void PackageArchive::extractAll(const QString &directory, bool overwrite)
{
    for (const auto &member : d->files)
        extractFileTo(member.get(), directory, overwrite);
}

void PackageArchive::extractMarked(const QString &directory, bool overwrite)
{
    for (const auto &member : d->files)
        if (member->isMarked())
            extractFileTo(member.get(), directory, overwrite);
}

bool PackageArchive::hasParentComponent(const QString &name)
{
    const QStringList parts = name.split(QLatin1Char('/'));
    return parts.contains(QStringLiteral(".."));
}
