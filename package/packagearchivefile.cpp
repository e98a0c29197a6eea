// The members: their records, and fetching their bytes from the archive's
// body, a disk file or memory.
#include "package/memberreader.h"
#include "package/packagemessages.h"
#include "package/pathbytes.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

HException cannotReadFile(const PackageArchiveFile &member, const char *tail = "")
{
    return HException(packagemessage::kCannotReadFile + pathBytes(member.name()) + tail);
}

} // namespace

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

// ------------------------------------------------------- member reader

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
        const ssize_t n = ::write(fd, data, length);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        length -= size_t(n);
    }
    return true;
}

MemberReader::MemberReader(PackageArchiveIOFileInterface *body, PackageArchiveFile *member)
    : m_member(member), m_remaining(member ? member->size() : 0)
{
    if (!member)
        return;
    switch (member->source()) {
    case PackageArchiveFileEntry::SourceArchive:
        if (!body)
            throw cannotReadFile(*member, packagemessage::kFromArchive);
        m_body = body;
        if (m_remaining > 0)
            m_body->seek(member->offset());
        break;
    case PackageArchiveFileEntry::SourceDiskFile: {
        m_file.reset(::open(pathBytes(member->diskPath()).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
        if (!m_file.isOpen())
            throw cannotReadFile(*member);
        struct stat st;
        if (fstat(m_file.get(), &st) != 0 || quint64(st.st_size) != member->size())
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

int MemberReader::next(char *buffer, int capacity)
{
    if (m_remaining == 0) {
        if (m_file.isOpen()) {
            // A file that grew since its size was taken would not match the
            // table of contents.
            char probe;
            const ssize_t extra = readRetrying(m_file.get(), &probe, 1);
            m_file.reset();
            if (extra != 0)
                throw changed();
        }
        return 0;
    }
    const int want = int(std::min<quint32>(m_remaining, quint32(capacity)));
    int got = 0;
    switch (m_member->source()) {
    case PackageArchiveFileEntry::SourceArchive:
        got = m_body->read(buffer, want);
        if (got <= 0)
            throw cannotReadFile(*m_member, packagemessage::kFromArchive);
        break;
    case PackageArchiveFileEntry::SourceDiskFile: {
        const ssize_t n = readRetrying(m_file.get(), buffer, size_t(want));
        if (n < 0)
            throw cannotReadFile(*m_member);
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

HException MemberReader::changed() const
{
    return HException(packagemessage::kFileChanged, m_member->diskPath());
}

// ---------------------------------------------------------- member bytes

namespace {

/// The whole file as it is now, whatever size the member recorded.
QByteArray wholeDiskFile(const PackageArchiveFile &member)
{
    const OwnedDescriptor file(::open(pathBytes(member.diskPath()).constData(), O_RDONLY | O_CLOEXEC));
    if (!file.isOpen())
        throw cannotReadFile(member);
    QByteArray bytes;
    char buffer[PackageArchive::ChunkSize];
    for (;;) {
        const ssize_t n = readRetrying(file.get(), buffer, sizeof buffer);
        if (n < 0)
            throw cannotReadFile(member);
        if (n == 0)
            return bytes;
        bytes.append(buffer, int(n));
    }
}

} // namespace

QByteArray PackageArchive::fileData(PackageArchiveFile *member)
{
    if (!member)
        return QByteArray();
    switch (member->source()) {
    case PackageArchiveFileEntry::SourceMemory:
        return member->entry()->data();
    case PackageArchiveFileEntry::SourceDiskFile:
        return wholeDiskFile(*member);
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
    while (const int n = reader.next(buffer))
        sink(buffer, n);
}
