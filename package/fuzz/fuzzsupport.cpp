#include "fuzzsupport.h"

#include "package/hexception.h"
#include "package/packagearchive.h"
#include "package/packagedescriptionfile.h"
#include "package/packagememberwriter.h"

#include <bzlib.h>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>
#include <zlib.h>

namespace {

// Hostile tables can point every member at the start of a large body; a cap
// keeps each run short without hiding the code paths.
constexpr int MaxMembersRead = 16;

int memoryFile()
{
    static int fd = [] {
        int created = memfd_create("package", 0);
        if (created < 0)
            abort();
        return created;
    }();
    return fd;
}

/// What a fetch handed its sink, and whether it failed.
struct Delivery {
    quint64 bytes = 0;
    bool failed = false;
};

template <typename Fetch> Delivery deliver(Fetch fetch)
{
    Delivery delivery;
    try {
        fetch([&delivery](const char *, int length) { delivery.bytes += quint64(length); });
    } catch (const HException &) {
        delivery.failed = true;
    }
    return delivery;
}

} // namespace

QString fuzzFileWith(const QByteArray &bytes)
{
    int fd = memoryFile();
    if (ftruncate(fd, 0) != 0 || pwrite(fd, bytes.constData(), size_t(bytes.size()), 0) != bytes.size())
        abort();
    return QStringLiteral("/proc/self/fd/%1").arg(fd);
}

void exercisePackage(const QString &path)
{
    PackageArchive archive;
    try {
        archive.load(path, 0, 1);
    } catch (const HException &) {
        return;
    }
    quint64 sum = 0;
    for (const auto &member : archive.files()) {
        sum += member->size() + member->name().size() + (member->isReadOnly() ? 1 : 0);
        sum += quint64(member->lastModified().toSecsSinceEpoch());
        if (archive.find(member->name()) == nullptr)
            abort(); // every listed name must be found
    }
    (void)archive.match(QStringLiteral("*.h"));
    // Each fetch delivers the declared size or fails; through the writer, a
    // member that fails delivers nothing (the body checkpoints included).
    PackageMemberWriter writer(archive);
    int read = 0;
    for (PackageArchiveFile *member : archive.filesInBodyOrder()) {
        if (++read > MaxMembersRead)
            break;
        const Delivery streamed = deliver([&](const PackageDataSink &sink) { archive.readFileData(member, sink); });
        if (!streamed.failed && streamed.bytes != member->size())
            abort();
        const Delivery whole = deliver([&](const PackageDataSink &sink) { writer.writeTo(member, sink); });
        if (whole.failed ? whole.bytes != 0 : whole.bytes != member->size())
            abort();
    }
    try {
        PackageDescriptionFile description;
        description.load(archive);
        QString info = description.name() + description.version() + description.productVersions() +
                       description.buildVersion();
        sum += quint64(info.size() + description.dependencies().size());
    } catch (const HException &) {
    }
    if (sum == 1)
        asm volatile("" ::: "memory");
}

QByteArray fuzzPackageFromBody(unsigned form, bool compress, const QByteArray &body)
{
    QByteArray stream = body;
    form %= 4;
    if (compress && form != 3) {
        if (form == 1) {
            unsigned int length = unsigned(body.size() + body.size() / 100 + 600);
            stream.resize(int(length));
            if (BZ2_bzBuffToBuffCompress(stream.data(), &length, const_cast<char *>(body.constData()),
                                         unsigned(body.size()), 1, 0, 30) != BZ_OK)
                abort();
            stream.resize(int(length));
        } else {
            uLongf length = compressBound(uLong(body.size()));
            stream.resize(int(length));
            if (compress2(reinterpret_cast<Bytef *>(stream.data()), &length,
                          reinterpret_cast<const Bytef *>(body.constData()), uLong(body.size()), 1) != Z_OK)
                abort();
            stream.resize(int(length));
        }
    }
    switch (form) {
    case 0:
        return QByteArray("\xb1\xc6\xf5\x71\x02\x00\x00\x00", 8) + stream;
    case 1:
        return QByteArray("\xb1\xc6\xf5\x71\x02\x10\x00\x00", 8) + stream;
    case 2:
        return QByteArray("\x7a\xf4\x31\xb2\x01\x00\x00\x00\x00\x00\x00\x0d", 12) + stream;
    default:
        return QByteArray("\xc8\xc3\x52\x41", 4) + body;
    }
}
