// Delivering one member's bytes in chunks from wherever they are: the body of
// the loaded archive, a disk file or memory. Internal to the package library.
#pragma once

#include "package/hexception.h"
#include "package/owneddescriptor.h"
#include "package/packagearchive.h"

/// Construction does the part that can fail before any byte is delivered
/// (opening the disk file, positioning the body), so callers can check
/// their output after it.
class MemberReader {
public:
    /// `body` is the loaded archive's body stream (may be null); a null
    /// member delivers nothing. Throws "cannot read file " + name (+ " from
    /// archive" when there is no body), or "file changed while reading " +
    /// path when a disk file no longer has the member's size.
    MemberReader(PackageArchiveIOFileInterface *body, PackageArchiveFile *member);

    /// Fills `buffer` (`capacity` bytes, at least 1) with the next chunk; 0 at
    /// the end. Throws the messages above when the source runs short or grows.
    int next(char *buffer, int capacity = PackageArchive::ChunkSize);

private:
    HException changed() const;

    PackageArchiveFile *m_member;
    quint32 m_remaining;
    PackageArchiveIOFileInterface *m_body = nullptr;
    const char *m_memory = nullptr;
    OwnedDescriptor m_file;
};

/// read() again when a signal interrupted it.
ssize_t readRetrying(int fd, void *buffer, size_t length);
/// write() until all `length` bytes are written (again after a signal);
/// false on the first failure.
bool writeAll(int fd, const char *data, size_t length);
