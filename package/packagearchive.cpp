// The archive's member list: lifetime, the stream factories and hooks,
// lookup by name and wildcard, adding and removing members.
#include "package/packagearchive.h"

#include "package/owneddescriptor.h"
#include "package/packagemessages.h"
#include "package/pathbytes.h"

#include <QRegExp>
#include <QSet>

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

bool nameLess(const PackageArchiveFile *member, const QString &name)
{
    return member->name() < name;
}

} // namespace

PackageArchiveData::PackageArchiveData() = default;
PackageArchiveData::~PackageArchiveData() = default;

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
    d->byName.clear();
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
        throw HException(packagemessage::kUnsupportedCompression);
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
        throw HException(packagemessage::kUnsupportedCompression);
    }
}

void PackageArchive::openedForWriting(FILE *) {}

void PackageArchive::openedForReading(FILE *) {}

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
        const auto named = d->byName.constFind(name);
        return named == d->byName.constEnd() ? nullptr : named->front();
    }
    auto at = std::lower_bound(d->sortedIndex.begin(), d->sortedIndex.end(), name, nameLess);
    return at != d->sortedIndex.end() && (*at)->name() == name ? *at : nullptr;
}

PackageArchiveFile *PackageArchive::findFirst(const QString &pattern) const
{
    const QRegExp wildcard(pattern, Qt::CaseSensitive, QRegExp::Wildcard);
    for (const auto &member : d->files)
        if (wildcard.exactMatch(member->name()))
            return member.get();
    return nullptr;
}

PackageArchiveFile *PackageArchive::findPackageDescription() const
{
    return findFirst(QStringLiteral("*_package.xml"));
}

QList<PackageArchiveFile *> PackageArchive::match(const QString &pattern) const
{
    // "*" matches every name: the listing's default needs no matcher.
    const bool everything = pattern == QLatin1String("*");
    const QRegExp wildcard(everything ? QString() : pattern, Qt::CaseSensitive, QRegExp::Wildcard);
    QList<PackageArchiveFile *> found;
    found.reserve(int(d->files.size()));
    for (const auto &member : d->files)
        if (everything || wildcard.exactMatch(member->name()))
            found.append(member.get());
    return found;
}

void PackageArchive::indexNames()
{
    d->byName.clear();
    d->byName.reserve(int(d->files.size()));
    for (const auto &member : d->files)
        d->byName[member->name()].push_back(member.get());
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

// ------------------------------------------------ changing the members

PackageArchiveFile *PackageArchive::addMember(const QString &name)
{
    if (PackageArchiveFile *existing = find(name))
        return existing;
    auto member = std::make_unique<PackageArchiveFile>(name, 0, 0, 0);
    PackageArchiveFile *added = member.get();
    // New members go into the index too, so find() stays right for all of them.
    if (!d->sortedIndex.empty()) {
        auto at = std::lower_bound(d->sortedIndex.begin(), d->sortedIndex.end(), name, nameLess);
        d->sortedIndex.insert(at, added);
    }
    d->byName[name].push_back(added);
    d->files.push_back(std::move(member));
    return added;
}

// The comparison is made before the time is cut to its 32 stored bits, so a
// time after 2106 is later than any limit, and one before 1970 earlier.
quint32 PackageArchive::storedTime(qint64 seconds) const
{
    if (d->latestMemberTime && seconds > qint64(*d->latestMemberTime))
        return *d->latestMemberTime;
    return quint32(seconds);
}

PackageArchiveFile *PackageArchive::addFile(const QString &diskPath, const QString &name)
{
    // Non-blocking, so that a FIFO named by mistake cannot stall the open.
    OwnedDescriptor file(::open(pathBytes(diskPath).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat st;
    if (!file.isOpen() || fstat(file.get(), &st) != 0)
        throw HException(packagemessage::kCannotRead, diskPath);
    file.reset();
    if (quint64(st.st_size) > 0xFFFFFFFFull)
        throw HException(packagemessage::kFileTooLarge, diskPath);

    PackageArchiveFile *member = addMember(name);
    member->setSize(quint32(st.st_size));
    member->setMode(quint32(st.st_mode) & PackageArchiveFile::KeptModeBits);
    member->setTime(storedTime(st.st_mtime));
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
    member->setTime(storedTime(time.toSecsSinceEpoch()));
    member->entry()->setOffset(0);
    member->entry()->setDiskPath(QString());
    member->entry()->setData(bytes);
    return member;
}

bool PackageArchive::remove(const QString &name)
{
    return removeEach(QStringList(name)).front();
}

std::vector<bool> PackageArchive::removeEach(const QStringList &names)
{
    // The members of a name go in list order: the n-th removal of a name
    // takes its n-th member. The list is compacted once, at the end.
    std::vector<bool> removed;
    removed.reserve(size_t(names.size()));
    QHash<QString, int> taken;
    QSet<const PackageArchiveFile *> doomed;
    for (const QString &name : names) {
        const auto named = d->byName.constFind(name);
        int &count = taken[name];
        const bool found = named != d->byName.constEnd() && count < int(named->size());
        if (found)
            doomed.insert(named->at(size_t(count++)));
        removed.push_back(found);
    }
    if (doomed.isEmpty())
        return removed;
    for (auto it = taken.constBegin(); it != taken.constEnd(); ++it) {
        const auto named = d->byName.find(it.key());
        if (named == d->byName.end())
            continue;
        named->erase(named->begin(), named->begin() + it.value());
        if (named->empty())
            d->byName.erase(named);
    }
    auto isDoomed = [&doomed](const PackageArchiveFile *member) { return doomed.contains(member); };
    d->sortedIndex.erase(std::remove_if(d->sortedIndex.begin(), d->sortedIndex.end(), isDoomed),
                         d->sortedIndex.end());
    d->files.erase(std::remove_if(d->files.begin(), d->files.end(),
                                  [&](const std::unique_ptr<PackageArchiveFile> &f) { return isDoomed(f.get()); }),
                   d->files.end());
    return removed;
}
