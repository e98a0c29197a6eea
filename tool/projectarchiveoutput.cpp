// Writing the project archive at its output name. The archive is completed in
// a new file before anything at the output name is touched, so no input is
// read after the output has changed and a failure leaves the old output as
// it was.
#include "tool/projectarchive.h"

#include "package/hexception.h"
#include "package/owneddescriptor.h"
#include "package/packagearchive.h"
#include "package/packagemessages.h"
#include "package/pathbytes.h"
#include "tool/replacementfile.h"
#include "tool/temporarydirectory.h"

#include <QRandomGenerator>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The archive's own save reports an output it cannot open with
// packagemessage::kCannotOpenOutput; every other way the output name cannot
// take the archive reads the same. A device or FIFO that fails while the
// archive is copied into it reads as a failing extraction target does.
const char kCannotOverwriteInput[] = "cannot overwrite input file ";

// Replacement files get a name of their own, so neither a concurrent run nor
// one killed earlier can stand in the way.
const char kNewFilePrefix[] = "duriv-";
const char kNewFileSuffix[] = ".part";
constexpr int kNewFileRandomLength = 6;
constexpr int kNewFileAttempts = 100;

/// A file this run created: removed when it goes out of scope unless kept.
class CreatedFile {
public:
    explicit CreatedFile(const QString &path) : m_path(pathBytes(path)) {}
    ~CreatedFile()
    {
        if (!m_path.isEmpty())
            unlink(m_path.constData());
    }
    CreatedFile(const CreatedFile &) = delete;
    CreatedFile &operator=(const CreatedFile &) = delete;
    void keep() { m_path.clear(); }

private:
    QByteArray m_path;
};

bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

/// A name in `directory` that nothing holds yet.
QString newFilePath(const QString &directory)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    const QString stem = directory.endsWith(QLatin1Char('/')) ? directory : directory + QLatin1Char('/');
    QString path;
    for (int attempt = 0; attempt < kNewFileAttempts; ++attempt) {
        QString random;
        for (int i = 0; i < kNewFileRandomLength; ++i)
            random += QLatin1Char(letters[QRandomGenerator::global()->bounded(int(sizeof letters) - 1)]);
        path = stem + QLatin1String(kNewFilePrefix) + random + QLatin1String(kNewFileSuffix);
        struct stat info;
        if (lstat(pathBytes(path).constData(), &info) != 0 && errno == ENOENT)
            break;
    }
    // Should every name be taken, the exclusive creation reports it.
    return path;
}

/// Refuses an output that is the same file as one the archive is to hold:
/// writing it would destroy an input.
void refuseInputAsOutput(const PackageArchive &archive, const QString &outputPath,
                         const struct stat &output)
{
    for (const auto &member : archive.files()) {
        if (member->source() != PackageArchiveFileEntry::SourceDiskFile)
            continue;
        struct stat input;
        if (stat(pathBytes(member->diskPath()).constData(), &input) == 0 && sameFile(input, output))
            throw HException(kCannotOverwriteInput, outputPath);
    }
}

/// Completes the archive beside the output and renames it over the output:
/// a link at the output name is replaced, never written through.
void replaceOutput(PackageArchive &archive, const QString &outputPath)
{
    const QString newPath = newFilePath(parentDirectory(outputPath));
    saveReplacementFile(archive, newPath, -1, regularFilePermissions(outputPath));
    CreatedFile created(newPath);
    if (!renameIntoPlace(newPath, outputPath))
        throw HException(packagemessage::kCannotOpenOutput);
    created.keep();
}

void copyFile(int from, int to, const QString &outputPath)
{
    char buffer[PackageArchive::ChunkSize];
    for (;;) {
        ssize_t got = read(from, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw HException(packagemessage::kCannotWriteOutput, outputPath);
        if (got == 0)
            return;
        for (ssize_t done = 0; done < got;) {
            const ssize_t written = write(to, buffer + done, size_t(got - done));
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                throw HException(packagemessage::kCannotWriteOutput, outputPath);
            done += written;
        }
    }
}

/// An output that is not a regular file (a device, a FIFO) cannot be
/// replaced: the archive is completed in a private temporary file and then
/// copied into it in place.
void copyIntoOutput(PackageArchive &archive, const QString &outputPath, const struct stat &output)
{
    const QString stagingPath = newFilePath(temporaryDirectory());
    saveReplacementFile(archive, stagingPath, -1, mode_t(0600));
    CreatedFile created(stagingPath);

    const OwnedDescriptor staging(open(pathBytes(stagingPath).constData(), O_RDONLY | O_CLOEXEC));
    if (!staging.isOpen())
        throw HException(packagemessage::kCannotWriteOutput, outputPath);
    // Opened without creating or truncating; it must still be the file
    // looked at before, not one put in its place since.
    OwnedDescriptor target(open(pathBytes(outputPath).constData(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
    struct stat opened;
    if (!target.isOpen() || fstat(target.get(), &opened) != 0 || !sameFile(opened, output))
        throw HException(packagemessage::kCannotOpenOutput);
    copyFile(staging.get(), target.get(), outputPath);
    // Pipes and character devices cannot be synced; a device that can must
    // report its write errors.
    if (fsync(target.get()) != 0 && errno != EINVAL && errno != EROFS)
        throw HException(packagemessage::kCannotWriteOutput, outputPath);
    if (!target.close())
        throw HException(packagemessage::kCannotWriteOutput, outputPath);
}

} // namespace

void writeProjectArchive(PackageArchive &archive, const QString &outputPath)
{
    if (outputPath.isEmpty())
        throw HException(packagemessage::kCannotOpenOutput);
    struct stat output;
    if (stat(pathBytes(outputPath).constData(), &output) != 0) {
        if (errno != ENOENT)
            throw HException(packagemessage::kCannotOpenOutput);
        replaceOutput(archive, outputPath);
        return;
    }
    refuseInputAsOutput(archive, outputPath, output);
    if (S_ISREG(output.st_mode))
        replaceOutput(archive, outputPath);
    else if (S_ISDIR(output.st_mode))
        throw HException(packagemessage::kCannotOpenOutput);
    else
        copyIntoOutput(archive, outputPath, output);
}
