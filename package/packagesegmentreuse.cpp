// Saving over a loaded zlib body made of independent segments: every segment
// whose bytes the new body holds unchanged is copied as it stands, and only
// the table of contents and what changed around it are compressed again.
#include "package/packagearchive.h"

#include "package/packagemessages.h"
#include "package/segmentedbody.h"

#include <algorithm>

namespace {

/// Levels 0 and 1 share FLEVEL 0, so a body made at either cannot say which:
/// only bodies of level 2 and above are reused.
constexpr int LowestReusedLevel = 2;

using Members = std::vector<std::unique_ptr<PackageArchiveFile>>;

bool fromBody(const PackageArchiveFile &member)
{
    return member.source() == PackageArchiveFileEntry::SourceArchive && member.size() > 0;
}

quint64 bodyEnd(const PackageArchiveFile &member)
{
    return quint64(member.offset()) + member.size();
}

/// Whether `member`'s bytes follow `previous`'s in the old body too.
bool follows(const PackageArchiveFile *previous, const PackageArchiveFile &member)
{
    return previous && fromBody(*previous) && fromBody(member) && bodyEnd(*previous) == member.offset();
}

/// For each member from the old body, where the run of old bytes that the
/// new body holds in one piece from it on ends (members after it that follow
/// it there too extend the run).
std::vector<quint64> runEnds(const Members &members)
{
    std::vector<quint64> ends(members.size(), 0);
    const PackageArchiveFile *next = nullptr;
    quint64 nextEnd = 0;
    for (size_t i = members.size(); i-- > 0;) {
        const PackageArchiveFile &member = *members[i];
        if (member.size() == 0)
            continue;
        const bool runGoesOn = next && follows(&member, *next);
        ends[i] = runGoesOn ? nextEnd : bodyEnd(member);
        next = &member;
        nextEnd = ends[i];
    }
    return ends;
}

} // namespace

std::unique_ptr<SegmentedBody> PackageArchive::reusableBody(int bodyMethod, int level) const
{
    auto *old = dynamic_cast<PackageArchiveCompressedGzInputFile *>(d->body.get());
    if (!old || bodyMethod != 0 || level < LowestReusedLevel)
        return nullptr;
    quint64 needed = 0;
    for (const auto &member : d->files)
        if (fromBody(*member))
            needed = std::max(needed, bodyEnd(*member));
    if (needed == 0)
        return nullptr;
    auto body = SegmentedBody::find(old->descriptor(), old->startOffset(), zlibsegments::headerLevelField(level));
    // Members beyond the decoded body are left to the full save to report.
    if (!body || body->segments().empty() || body->segments().back().plainEnd() < needed)
        return nullptr;
    return body;
}

void PackageArchive::writeMembersReusing(PackageArchiveIOFileInterface &stream, SegmentedBody &old)
{
    const auto write = [&stream](const char *data, int length) {
        if (stream.write(data, length) < length)
            throw HException(packagemessage::kCannotWriteFile);
    };
    const std::vector<quint64> ends = runEnds(d->files);
    const PackageArchiveFile *previous = nullptr;
    quint64 written = 0; // how far the old body is in the new one, along the current run
    for (size_t i = 0; i < d->files.size(); ++i) {
        PackageArchiveFile &member = *d->files[i];
        if (member.size() == 0)
            continue;
        if (!fromBody(member)) {
            stream.beginRegion(member.size(), false);
            readFileData(&member, write);
            previous = &member;
            continue;
        }
        quint64 cursor = follows(previous, member) ? std::max<quint64>(member.offset(), written) : member.offset();
        const quint64 end = bodyEnd(member);
        if (cursor < end)
            stream.beginRegion(end - cursor, false);
        while (cursor < end) {
            const BodySegment *segment = old.firstFrom(quint32(cursor));
            if (segment && segment->plainOffset < end && segment->plainEnd() <= ends[i]) {
                old.read(quint32(cursor), segment->plainOffset, write);
                stream.appendSegment(old.copy(*segment));
                cursor = segment->plainEnd();
            } else {
                old.read(quint32(cursor), quint32(end), write);
                cursor = end;
            }
        }
        written = cursor;
        previous = &member;
    }
}
