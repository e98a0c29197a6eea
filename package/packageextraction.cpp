// Writing members to disk: the output file, its missing parent directories,
// its time and its mode.
#include "package/memberreader.h"
#include "package/packagemessages.h"
#include "package/pathbytes.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <utime.h>

namespace {

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

/// Creates each missing directory above `path`, from the top down; failures
/// show up when the file itself is created.
void createParentDirectories(const QByteArray &path)
{
    const int slash = path.lastIndexOf('/');
    if (slash <= 0)
        return;
    struct stat st;
    if (::stat(path.left(slash).constData(), &st) == 0)
        return;
    for (int at = path.indexOf('/', 1); at > 0 && at <= slash; at = path.indexOf('/', at + 1)) {
        const QByteArray prefix = path.left(at);
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

    const QByteArray local = pathBytes(outputPath);
    struct stat st;
    // lstat: a dangling link at the output path is an existing name too, and
    // must not be written through.
    if (::lstat(local.constData(), &st) == 0) {
        if (!overwrite)
            throw HException(packagemessage::kCannotOverwrite, outputPath);
        ::unlink(local.constData());
    } else {
        createParentDirectories(local);
    }

    OwnedDescriptor file(::open(local.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (!file.isOpen())
        throw HException(packagemessage::kCannotCreateOutput, outputPath);
    char buffer[ChunkSize];
    while (const int n = reader.next(buffer)) {
        if (!writeAll(file.get(), buffer, size_t(n)))
            throw HException(packagemessage::kCannotWriteOutput, outputPath);
    }
    quint32 currentMode = 0;
    if (fstat(file.get(), &st) == 0)
        currentMode = quint32(st.st_mode);
    if (!file.close())
        throw HException(packagemessage::kCannotWriteOutput, outputPath);

    struct utimbuf times;
    times.actime = time_t(member->time());
    times.modtime = time_t(member->time());
    ::utime(local.constData(), &times);

    const quint32 kept = PackageArchiveFile::KeptModeBits;
    const mode_t mode = mode_t((member->mode() & kept) | (currentMode & ~kept));
    if (::chmod(local.constData(), mode) != 0)
        throw HException(packagemessage::kCannotSetMode, outputPath);
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
