// Opening a regular file without blocking and reading it.
#include "macros/regularfile.h"

#include "macros/filedescriptor.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

// Far beyond any document the tool reads, and within what one QByteArray holds.
constexpr qint64 kLargestFile = qint64(1) << 30;

// O_NONBLOCK keeps open() from waiting for a FIFO's writer; the type is then
// checked on the descriptor itself, so nothing can be swapped in between.
FileDescriptor openRegularFile(const QByteArray &path, struct stat &status)
{
    FileDescriptor file(::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!file.isOpen() || ::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode))
        return FileDescriptor();
    return file;
}

} // namespace

std::optional<QByteArray> readRegularFile(const QByteArray &path, qint64 limit)
{
    struct stat status;
    const FileDescriptor file = openRegularFile(path, status);
    if (!file.isOpen())
        return std::nullopt;
    const qint64 most = limit < 0 ? kLargestFile + 1 : qMin(limit, kLargestFile);
    QByteArray bytes;
    // The size is only a hint: the file is read to its end, wherever that now is.
    bytes.reserve(int(qMin(qint64(status.st_size), most)));
    char chunk[64 * 1024];
    while (bytes.size() < most) {
        const ssize_t got = ::read(file.get(), chunk, size_t(qMin(qint64(sizeof chunk), most - bytes.size())));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            break;
        bytes.append(chunk, int(got));
    }
    if (bytes.size() > kLargestFile)
        return std::nullopt;
    return bytes;
}

bool isReadableRegularFile(const QByteArray &path)
{
    struct stat status;
    return openRegularFile(path, status).isOpen();
}
