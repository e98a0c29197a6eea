// Helpers for the tests of -c, -r and -d.
#include "tool/tests/updatehelpers.h"

#include "package/hexception.h"
#include "package/packagearchive.h"

#include <QDateTime>

#include <gtest/gtest.h>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QList<QByteArray> StoredPackage::names() const
{
    QList<QByteArray> result;
    for (const StoredMember &member : members)
        result.append(member.name);
    return result;
}

StoredPackage readPackage(const QString &path)
{
    StoredPackage package;
    try {
        PackageArchive archive;
        archive.load(path);
        package.version = archive.version();
        package.compression = archive.compression();
        for (const auto &file : archive.files()) {
            StoredMember member;
            member.name = file->name().toLatin1();
            member.size = file->size();
            member.mode = file->mode();
            member.time = file->time();
            member.data = archive.fileData(file.get());
            package.members.append(member);
        }
    } catch (const HException &error) {
        ADD_FAILURE() << "cannot load " << path.toStdString() << ": " << error.what();
        return StoredPackage();
    }
    return package;
}

void writePackage(const QString &path, const QList<StoredMember> &members, int version,
                  int compression)
{
    PackageArchive archive;
    archive.setVersion(version);
    archive.setCompression(compression);
    for (const StoredMember &member : members) {
        archive.addData(member.data, QDateTime::fromSecsSinceEpoch(member.time, Qt::UTC),
                        member.mode, QString::fromLatin1(member.name));
    }
    archive.save(path);
}

QByteArray fileBytes(const QByteArray &path)
{
    QByteArray bytes;
    const int fd = open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        bytes.append(buffer, static_cast<int>(n));
    }
    close(fd);
    return bytes;
}

bool pathExists(const QByteArray &path)
{
    struct stat info;
    return lstat(path.constData(), &info) == 0;
}

namespace {

void snapshotInto(const QByteArray &root, const QByteArray &relative,
                  QMap<QByteArray, QByteArray> &snapshot)
{
    const QByteArray directory = relative.isEmpty() ? root : root + '/' + relative;
    DIR *dir = opendir(directory.constData());
    if (!dir) {
        ADD_FAILURE() << "cannot list " << directory.constData();
        return;
    }
    while (const dirent *entry = readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        const QByteArray entryRelative = relative.isEmpty() ? name : relative + '/' + name;
        const QByteArray full = root + '/' + entryRelative;
        struct stat info;
        if (lstat(full.constData(), &info) != 0)
            continue;
        if (S_ISLNK(info.st_mode)) {
            char target[4096];
            const ssize_t n = readlink(full.constData(), target, sizeof target);
            snapshot.insert(entryRelative, "->" + QByteArray(target, n > 0 ? int(n) : 0));
        } else if (S_ISDIR(info.st_mode)) {
            snapshot.insert(entryRelative, "<dir>");
            snapshotInto(root, entryRelative, snapshot);
        } else {
            snapshot.insert(entryRelative, fileBytes(full));
        }
    }
    closedir(dir);
}

} // namespace

QMap<QByteArray, QByteArray> directorySnapshot(const QByteArray &directory)
{
    QMap<QByteArray, QByteArray> snapshot;
    snapshotInto(directory, QByteArray(), snapshot);
    return snapshot;
}

void removeTree(const QByteArray &path)
{
    struct stat info;
    if (lstat(path.constData(), &info) != 0)
        return;
    if (S_ISDIR(info.st_mode)) {
        chmod(path.constData(), 0700);
        if (DIR *dir = opendir(path.constData())) {
            QList<QByteArray> names;
            while (const dirent *entry = readdir(dir)) {
                const QByteArray name(entry->d_name);
                if (name != "." && name != "..")
                    names.append(name);
            }
            closedir(dir);
            for (const QByteArray &name : names)
                removeTree(path + '/' + name);
        }
        rmdir(path.constData());
    } else {
        unlink(path.constData());
    }
}

QList<QByteArray> readdirOrder(const QByteArray &directory)
{
    QList<QByteArray> names;
    DIR *dir = opendir(directory.constData());
    if (!dir) {
        ADD_FAILURE() << "cannot list " << directory.constData();
        return names;
    }
    while (const dirent *entry = readdir(dir)) {
        if (entry->d_name[0] != '.')
            names.append(QByteArray(entry->d_name));
    }
    closedir(dir);
    return names;
}

QByteArray addingLines(const QList<QByteArray> &paths)
{
    QByteArray lines;
    for (const QByteArray &path : paths)
        lines += "Adding " + path + '\n';
    return lines;
}

QList<QByteArray> addedPaths(const QByteArray &standardOutput)
{
    QList<QByteArray> paths;
    for (const QByteArray &line : standardOutput.split('\n')) {
        if (line.startsWith("Adding "))
            paths.append(line.mid(7));
    }
    return paths;
}

mode_t currentUmask()
{
    const mode_t mask = umask(022);
    umask(mask);
    return mask;
}

QByteArray incompressibleBytes(int size, quint32 seed)
{
    QByteArray bytes(size, '\0');
    // xorshift32: cheap, and random enough that deflate stores it.
    quint32 state = seed ? seed : 0x9E3779B9u;
    for (int i = 0; i < size; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        bytes[i] = static_cast<char>(state >> 24);
    }
    return bytes;
}
