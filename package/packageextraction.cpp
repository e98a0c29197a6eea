// Writing members to disk: the output file or a temporary one beside it,
// missing parent directories, the member's time and mode, and the move into
// place.
#include "package/memberreader.h"
#include "package/packagememberwriter.h"
#include "package/packagemessages.h"
#include "package/pathbytes.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

/// Takes a file this extraction created away again unless told to keep it.
class CreatedOutput {
public:
    explicit CreatedOutput(QByteArray path) : m_path(std::move(path)) {}
    ~CreatedOutput()
    {
        if (!m_path.isEmpty())
            ::unlink(m_path.constData());
    }
    CreatedOutput(const CreatedOutput &) = delete;
    CreatedOutput &operator=(const CreatedOutput &) = delete;
    const QByteArray &path() const { return m_path; }
    void keep() { m_path.clear(); }

private:
    QByteArray m_path;
};

/// The target itself, created 0600 and exclusively: an existing name,
/// a dangling link included, is never written through.
int createTarget(const QByteArray &target, const QString &outputPath)
{
    const int fd = ::open(target.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        throw HException(errno == EEXIST ? packagemessage::kCannotOverwrite : packagemessage::kCannotCreateOutput,
                         outputPath);
    return fd;
}

/// A new file beside the target, created 0600; `name` receives its path.
int createTemporaryBeside(const QByteArray &target, QByteArray &name, const QString &outputPath)
{
    const int slash = target.lastIndexOf('/');
    name = (slash < 0 ? QByteArray() : target.left(slash + 1)) + ".duriv-XXXXXX";
    const int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0)
        throw HException(packagemessage::kCannotCreateOutput, outputPath);
    return fd;
}

/// The member's time and mode go on the open file; a file just created has
/// none of the mode bits outside KeptModeBits for the old mode to keep.
void setTimeAndMode(int fd, const PackageArchiveFile &member, const QString &outputPath)
{
    const struct timespec times[2] = {{time_t(member.time()), 0}, {time_t(member.time()), 0}};
    ::futimens(fd, times); // a time that cannot be set is no failure
    if (::fchmod(fd, mode_t(member.mode() & PackageArchiveFile::KeptModeBits)) != 0)
        throw HException(packagemessage::kCannotSetMode, outputPath);
}

/// Moves the complete temporary file to the target. Without `overwrite` a
/// file that appeared there meanwhile is kept: the move refuses to replace.
void moveIntoPlace(const QByteArray &temporary, const QByteArray &target, bool overwrite, const QString &outputPath)
{
    if (overwrite) {
        if (::rename(temporary.constData(), target.constData()) != 0)
            throw HException(packagemessage::kCannotCreateOutput, outputPath);
        return;
    }
    if (::renameat2(AT_FDCWD, temporary.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return;
    // File systems without the flag: a link fails on an existing name too.
    if ((errno == EINVAL || errno == ENOSYS) && ::link(temporary.constData(), target.constData()) == 0) {
        ::unlink(temporary.constData());
        return;
    }
    throw HException(errno == EEXIST ? packagemessage::kCannotOverwrite : packagemessage::kCannotCreateOutput,
                     outputPath);
}

} // namespace

void PackageMemberWriter::createParentDirectories(const QByteArray &path)
{
    const int slash = path.lastIndexOf('/');
    if (slash <= 0 || m_knownDirectories.contains(path.left(slash)))
        return;
    for (int at = path.indexOf('/', 1); at > 0 && at <= slash; at = path.indexOf('/', at + 1)) {
        const QByteArray prefix = path.left(at);
        if (m_knownDirectories.contains(prefix))
            continue;
        // A failure shows when the file itself is created.
        if (::mkdir(prefix.constData(), 0777) == 0 || errno == EEXIST)
            m_knownDirectories.insert(prefix);
    }
}

void PackageMemberWriter::extractFile(PackageArchiveFile *member, const QString &outputPath, bool overwrite)
{
    if (!member)
        return;
    const QByteArray target = pathBytes(outputPath);
    const bool whole = member->size() <= WholeMemberBound;
    // What cannot be read fails before the output is touched: a small member
    // is read whole now, a large one is at least positioned.
    std::unique_ptr<MemberReader> reader;
    int wholeSize = 0;
    if (whole) {
        wholeSize = readWhole(member);
    } else {
        struct stat existing;
        if (!overwrite && ::lstat(target.constData(), &existing) == 0)
            throw HException(packagemessage::kCannotOverwrite, outputPath);
        reader = std::make_unique<MemberReader>(body(), member);
    }

    createParentDirectories(target);
    // Straight to the target when nothing is there to replace and the bytes
    // are all in hand; else under a temporary name, so that neither a failed
    // read nor a link planted at the target can touch what is there.
    const bool direct = whole && !overwrite;
    QByteArray temporary;
    OwnedDescriptor file(direct ? createTarget(target, outputPath)
                                : createTemporaryBeside(target, temporary, outputPath));
    CreatedOutput created(direct ? target : temporary);
    if (whole) {
        if (!writeAll(file.get(), m_whole.data(), size_t(wholeSize)))
            throw HException(packagemessage::kCannotWriteOutput, outputPath);
    } else {
        while (const int n = reader->next(block(), BlockSize)) {
            if (!writeAll(file.get(), block(), size_t(n)))
                throw HException(packagemessage::kCannotWriteOutput, outputPath);
        }
    }
    setTimeAndMode(file.get(), *member, outputPath);
    if (!file.close())
        throw HException(packagemessage::kCannotWriteOutput, outputPath);
    if (!direct)
        moveIntoPlace(temporary, target, overwrite, outputPath);
    created.keep();
}

void PackageMemberWriter::extractFileTo(PackageArchiveFile *member, const QString &directory, bool overwrite)
{
    if (!member)
        return;
    extractFile(member, directory + QLatin1Char('/') + member->name(), overwrite);
}

void PackageArchive::extractFile(PackageArchiveFile *member, const QString &outputPath, bool overwrite)
{
    PackageMemberWriter(*this).extractFile(member, outputPath, overwrite);
}

void PackageArchive::extractFileTo(PackageArchiveFile *member, const QString &directory, bool overwrite)
{
    PackageMemberWriter(*this).extractFileTo(member, directory, overwrite);
}

void PackageArchive::extractAll(const QString &directory, bool overwrite)
{
    PackageMemberWriter writer(*this);
    for (const auto &member : d->files)
        writer.extractFileTo(member.get(), directory, overwrite);
}

void PackageArchive::extractMarked(const QString &directory, bool overwrite)
{
    PackageMemberWriter writer(*this);
    for (const auto &member : d->files)
        if (member->isMarked())
            writer.extractFileTo(member.get(), directory, overwrite);
}

bool PackageArchive::hasParentComponent(const QString &name)
{
    const QStringList parts = name.split(QLatin1Char('/'));
    return parts.contains(QStringLiteral(".."));
}
