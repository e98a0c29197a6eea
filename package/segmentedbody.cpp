// Finding the segments of a loaded zlib body, and reading and copying them.
#include "package/segmentedbody.h"

#include "package/hexception.h"
#include "package/packagemessages.h"

#include <QtEndian>

#include <zlib.h>

#include <algorithm>
#include <unistd.h>

namespace {

constexpr int WindowBits = 15;
constexpr int BufferSize = 65536;

/// inflate's data_type after a Z_BLOCK stop: the unused bits of the last
/// byte read, whether the block being decoded is the last one, whether the
/// stop is at a block boundary.
constexpr int UnusedBitsMask = 63;
constexpr int LastBlock = 64;
constexpr int AtBlockBoundary = 128;

/// What a full flush leaves at the end of a segment: the length fields of
/// an empty stored block.
const unsigned char kEmptyStoredLengths[4] = {0x00, 0x00, 0xFF, 0xFF};

bool readExactly(int descriptor, void *buffer, size_t length, quint64 offset)
{
    auto *bytes = static_cast<unsigned char *>(buffer);
    while (length > 0) {
        const ssize_t n = pread(descriptor, bytes, length, off_t(offset));
        if (n <= 0)
            return false;
        bytes += n;
        length -= size_t(n);
        offset += quint64(n);
    }
    return true;
}

/// Gives `stream` the next bytes of the file from `offset` on, in `buffer`;
/// false when the file has none.
bool refillInput(int descriptor, std::vector<unsigned char> &buffer, quint64 &offset, z_stream &stream)
{
    const ssize_t n = pread(descriptor, buffer.data(), buffer.size(), off_t(offset));
    if (n <= 0)
        return false;
    offset += quint64(n);
    stream.next_in = buffer.data();
    stream.avail_in = uInt(n);
    return true;
}

/// Walks the deflate data from `start`, recording a segment at every empty
/// stored block that ends on a byte boundary and restarting the decoder
/// there with an empty history, so that a reference into an earlier
/// segment fails to decode.
class SegmentFinder {
public:
    SegmentFinder(int descriptor, quint64 start)
        : m_descriptor(descriptor), m_readOffset(start), m_segmentFile(start), m_input(BufferSize),
          m_output(BufferSize)
    {
    }

    /// The segments, or false when the body is not made of them or is damaged.
    bool run(std::vector<BodySegment> &segments)
    {
        z_stream stream = {};
        if (inflateInit2(&stream, -WindowBits) != Z_OK)
            return false;
        const bool found = walk(stream, segments) && trailerMatches(segments);
        inflateEnd(&stream);
        return found;
    }

private:
    bool walk(z_stream &stream, std::vector<BodySegment> &segments)
    {
        int idleCalls = 0;
        for (;;) {
            if (stream.avail_in == 0 && !refillInput(m_descriptor, m_input, m_readOffset, stream))
                return false; // the file ends inside the stream
            const uInt inputBefore = stream.avail_in;
            stream.next_out = m_output.data();
            stream.avail_out = BufferSize;
            const int result = inflate(&stream, Z_BLOCK);
            const uInt produced = BufferSize - stream.avail_out;
            if (produced > 0) {
                if (quint64(m_plain) + produced > 0xFFFFFFFFull)
                    return false;
                m_adler = zlibsegments::checksum(m_adler, m_output.data(), produced);
                m_plain += produced;
            }
            m_endOffset = m_readOffset - stream.avail_in;
            if (result == Z_STREAM_END)
                return m_plain == m_segmentPlain; // data in the final block: one stream
            if (result != Z_OK && result != Z_BUF_ERROR)
                return false;
            idleCalls = produced == 0 && stream.avail_in == inputBefore ? idleCalls + 1 : 0;
            if (idleCalls > 2)
                return false;
            if (produced == 0 && endsSegment(stream)) {
                if (!closeSegment(segments) || inflateReset(&stream) != Z_OK)
                    return false;
            }
        }
    }

    /// Whether the block just decoded (to nothing) is a full flush's empty
    /// stored block: at a boundary, byte-aligned, not the last block, and
    /// its length fields are the last bytes read.
    bool endsSegment(const z_stream &stream) const
    {
        const int dataType = stream.data_type;
        if (!(dataType & AtBlockBoundary) || (dataType & LastBlock) || (dataType & UnusedBitsMask) != 0)
            return false;
        if (m_endOffset < m_segmentFile + 4)
            return false;
        // The bytes are still in the input buffer unless a refill came between.
        const auto consumed = size_t(stream.next_in - m_input.data());
        unsigned char tail[4];
        const unsigned char *lengths = tail;
        if (consumed >= 4)
            lengths = stream.next_in - 4;
        else if (!readExactly(m_descriptor, tail, 4, m_endOffset - 4))
            return false;
        return std::equal(lengths, lengths + 4, kEmptyStoredLengths);
    }

    /// Records the segment that ends here; false when it is larger than a
    /// save ever writes, since copying it would hold it whole in memory, or
    /// when there are more segments than a save makes: a segment ends short
    /// of SegmentSize only at the end of the table and around a large
    /// member, so a hostile body of tiny segments cannot make the list grow
    /// with every few bytes.
    bool closeSegment(std::vector<BodySegment> &segments)
    {
        constexpr quint32 SegmentsPerSegmentSize = 3;
        constexpr quint32 ShortSegments = 8;
        const quint64 deflated = m_endOffset - m_segmentFile;
        if (m_plain - m_segmentPlain > zlibsegments::LargestSegment ||
            deflated > compressBound(zlibsegments::LargestSegment) + zlibsegments::FullFlushBytes ||
            segments.size() >= SegmentsPerSegmentSize * (m_plain / zlibsegments::SegmentSize) + ShortSegments)
            return false;
        if (m_plain > m_segmentPlain)
            segments.push_back({m_segmentFile, quint32(deflated), m_segmentPlain, m_plain - m_segmentPlain,
                                quint32(m_adler)});
        m_segmentFile = m_endOffset;
        m_segmentPlain = m_plain;
        m_adler = zlibsegments::InitialAdler;
        return true;
    }

    /// The four bytes after the deflate data against the combined checksum.
    bool trailerMatches(const std::vector<BodySegment> &segments) const
    {
        quint32 combined = zlibsegments::InitialAdler;
        for (const BodySegment &segment : segments)
            combined = zlibsegments::combine(combined, segment.adler, segment.plainLength);
        unsigned char trailer[4];
        return readExactly(m_descriptor, trailer, 4, m_endOffset) && qFromBigEndian<quint32>(trailer) == combined;
    }

    int m_descriptor;
    quint64 m_readOffset;   // the file offset of the next byte to read
    quint64 m_endOffset = 0; // the file offset of the first byte not yet decoded
    quint64 m_segmentFile;
    quint32 m_segmentPlain = 0;
    quint32 m_plain = 0;
    quint32 m_adler = zlibsegments::InitialAdler;
    std::vector<unsigned char> m_input;
    std::vector<unsigned char> m_output;
};

} // namespace

SegmentedBody::SegmentedBody(int descriptor) : m_descriptor(descriptor), m_input(BufferSize) {}

SegmentedBody::~SegmentedBody()
{
    if (m_streamReady)
        inflateEnd(m_stream.get());
}

std::unique_ptr<SegmentedBody> SegmentedBody::find(int descriptor, quint64 offset, int levelField)
{
    unsigned char header[2];
    if (!readExactly(descriptor, header, 2, offset) || !zlibsegments::acceptableHeader(header) ||
        zlibsegments::headerLevelField(header) != levelField)
        return nullptr;
    std::unique_ptr<SegmentedBody> body(new SegmentedBody(descriptor));
    if (!SegmentFinder(descriptor, offset + 2).run(body->m_segments))
        return nullptr;
    return body;
}

const BodySegment *SegmentedBody::firstFrom(quint32 plainOffset) const
{
    const auto it = std::lower_bound(m_segments.begin(), m_segments.end(), plainOffset,
                                     [](const BodySegment &segment, quint32 offset) {
                                         return segment.plainOffset < offset;
                                     });
    return it == m_segments.end() ? nullptr : &*it;
}

zlibsegments::Segment SegmentedBody::copy(const BodySegment &segment) const
{
    zlibsegments::Segment copied;
    copied.deflated.resize(int(segment.deflatedLength));
    if (!readExactly(m_descriptor, copied.deflated.data(), segment.deflatedLength, segment.fileOffset))
        throw HException(packagemessage::kReadingStream);
    copied.adler = segment.adler;
    copied.length = segment.plainLength;
    return copied;
}

void SegmentedBody::restartAt(quint32 offset)
{
    // The last segment that starts at or before the offset holds it.
    auto it = std::upper_bound(m_segments.begin(), m_segments.end(), offset,
                               [](quint32 value, const BodySegment &segment) { return value < segment.plainOffset; });
    if (it == m_segments.begin())
        throw HException(packagemessage::kReadingCompressed);
    --it;
    if (!m_streamReady) {
        m_stream.reset(new z_stream());
        if (inflateInit2(m_stream.get(), -WindowBits) != Z_OK)
            throw HException(packagemessage::kInitInflate);
        m_streamReady = true;
    } else if (inflateReset(m_stream.get()) != Z_OK) {
        throw HException(packagemessage::kReadingCompressed);
    }
    m_stream->avail_in = 0;
    m_inputOffset = it->fileOffset;
    m_position = it->plainOffset;
}

int SegmentedBody::decode(unsigned char *out, int capacity)
{
    z_stream &stream = *m_stream;
    stream.next_out = out;
    stream.avail_out = uInt(capacity);
    while (stream.avail_out > 0) {
        if (stream.avail_in == 0 && !refillInput(m_descriptor, m_input, m_inputOffset, stream))
            throw HException(packagemessage::kReadingStream);
        const int result = inflate(&stream, Z_NO_FLUSH);
        if (result == Z_STREAM_END)
            break;
        if (result != Z_OK)
            throw HException(packagemessage::kReadingCompressed);
    }
    const int produced = capacity - int(stream.avail_out);
    m_position += quint32(produced);
    return produced;
}

void SegmentedBody::read(quint32 from, quint32 to, const PackageDataSink &sink)
{
    const BodySegment *next = firstFrom(m_position + 1);
    // Going on is cheaper than a restart only within the segment decoded now.
    if (!m_streamReady || from < m_position || (next && next->plainOffset <= from))
        restartAt(from);
    unsigned char buffer[PackageArchive::ChunkSize];
    while (m_position < from) {
        if (decode(buffer, int(std::min<quint32>(from - m_position, sizeof buffer))) == 0)
            throw HException(packagemessage::kReadingStream);
    }
    while (m_position < to) {
        const int n = decode(buffer, int(std::min<quint32>(to - m_position, sizeof buffer)));
        if (n == 0)
            throw HException(packagemessage::kReadingStream);
        sink(reinterpret_cast<const char *>(buffer), n);
    }
}
