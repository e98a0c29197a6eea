// Members handed to a sink whole or not at all: read into memory, decoded
// twice from a checkpoint, or kept aside in an unlinked file. Extraction, the
// writer's other half, is in packageextraction.cpp.
#include "package/packagememberwriter.h"

#include "package/memberreader.h"
#include "package/packagemessages.h"
#include "package/pathbytes.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace {

/// An unlinked file in `directory`, open for reading and writing.
int openSpoolFile(const QString &directory)
{
    const QByteArray local = pathBytes(directory);
    const int fd = ::open(local.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR))
        return fd;
    // A file system without unnamed files: a fresh name, unlinked at once.
    QByteArray name = local + "/.duriv-XXXXXX";
    const int named = mkostemp(name.data(), O_CLOEXEC);
    if (named >= 0)
        ::unlink(name.constData());
    return named;
}

} // namespace

PackageMemberWriter::PackageMemberWriter(PackageArchive &archive, const QString &spoolDirectory)
    : m_archive(archive), m_spoolDirectory(spoolDirectory)
{
}

PackageMemberWriter::~PackageMemberWriter() = default;

PackageArchiveIOFileInterface *PackageMemberWriter::body() const
{
    return m_archive.d->body.get();
}

char *PackageMemberWriter::block()
{
    if (m_block.empty())
        m_block.resize(BlockSize);
    return m_block.data();
}

int PackageMemberWriter::readWhole(PackageArchiveFile *member)
{
    MemberReader reader(body(), member);
    const int size = int(member->size());
    if (m_whole.size() < size_t(size))
        m_whole.resize(size_t(size));
    int at = 0;
    // One read for the whole member where the source allows: the decoder then
    // writes straight into the buffer.
    while (const int n = reader.next(m_whole.data() + at, std::max(size - at, 1)))
        at += n;
    return at;
}

void PackageMemberWriter::writeTo(PackageArchiveFile *member, const PackageDataSink &sink)
{
    if (!member)
        return;
    if (member->size() <= WholeMemberBound) {
        if (const int size = readWhole(member))
            sink(m_whole.data(), size);
        return;
    }
    if (member->source() == PackageArchiveFileEntry::SourceMemory) {
        const QByteArray &bytes = member->entry()->data();
        for (int at = 0; at < bytes.size(); at += int(WholeMemberBound))
            sink(bytes.constData() + at, std::min(bytes.size() - at, int(WholeMemberBound)));
        return;
    }
    if (member->source() == PackageArchiveFileEntry::SourceArchive && body()) {
        // The reader positions the body at the member's first byte.
        MemberReader first(body(), member);
        if (const std::unique_ptr<StreamCheckpoint> start = body()->checkpoint()) {
            while (first.next(block(), BlockSize) > 0) {
            }
            readTwice(member, *start, sink);
            return;
        }
    }
    spool(member, sink);
}

void PackageMemberWriter::readTwice(PackageArchiveFile *member, const StreamCheckpoint &start,
                                    const PackageDataSink &sink)
{
    body()->restore(start);
    // Back at the member's first byte: this reader's positioning costs nothing.
    MemberReader second(body(), member);
    while (const int n = second.next(block(), BlockSize))
        sink(block(), n);
}

void PackageMemberWriter::spool(PackageArchiveFile *member, const PackageDataSink &sink)
{
    MemberReader reader(body(), member);
    const OwnedDescriptor file(openSpoolFile(m_spoolDirectory));
    if (!file.isOpen())
        throw HException(packagemessage::kCannotCreateSpool, m_spoolDirectory);
    while (const int n = reader.next(block(), BlockSize)) {
        if (!writeAll(file.get(), block(), size_t(n)))
            throw HException(packagemessage::kCannotWriteSpool, m_spoolDirectory);
    }
    if (::lseek(file.get(), 0, SEEK_SET) != 0)
        throw HException(packagemessage::kCannotWriteSpool, m_spoolDirectory);
    for (;;) {
        const ssize_t n = readRetrying(file.get(), block(), BlockSize);
        if (n < 0)
            throw HException(packagemessage::kCannotWriteSpool, m_spoolDirectory);
        if (n == 0)
            return;
        sink(block(), int(n));
    }
}
