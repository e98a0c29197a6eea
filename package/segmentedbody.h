// The segments of a loaded zlib body, found by decoding it, so that a save
// can copy those whose bytes have not changed (see zlibsegments.h).
// Internal to the package library.
#pragma once

#include "package/packagearchive.h"
#include "package/zlibsegments.h"

#include <QtGlobal>

#include <memory>
#include <vector>

struct z_stream_s;

/// Where one segment lies in the file and in the decoded body.
struct BodySegment {
    quint64 fileOffset;
    quint32 deflatedLength;
    quint32 plainOffset;
    quint32 plainLength;
    quint32 adler;

    quint32 plainEnd() const { return plainOffset + plainLength; }
};

/// A zlib body verified to be made of independent segments.
class SegmentedBody {
public:
    /// Decodes the zlib stream at `offset` of the open file `descriptor` (not
    /// owned; its position is not used) with zlib's inflate, stopping at
    /// every block boundary, each segment from an empty history. Null when
    /// the header's FLEVEL is not `levelField`, when the data is not made of
    /// independent segments (a reference across a boundary, data in the
    /// final block, a segment larger than a save writes), when anything
    /// fails to decode, and when the trailer differs from the segments'
    /// combined Adler-32: a body that is only damaged is left to the full
    /// recompression, which reports it.
    static std::unique_ptr<SegmentedBody> find(int descriptor, quint64 offset, int levelField);
    ~SegmentedBody();

    SegmentedBody(const SegmentedBody &) = delete;
    SegmentedBody &operator=(const SegmentedBody &) = delete;

    /// In body order, empty segments left out.
    const std::vector<BodySegment> &segments() const { return m_segments; }
    /// The first segment that starts at `plainOffset` or later, or null.
    const BodySegment *firstFrom(quint32 plainOffset) const;
    /// The segment's compressed bytes with its checksum and length. Throws
    /// "error reading stream" when the file no longer has them.
    zlibsegments::Segment copy(const BodySegment &segment) const;
    /// Hands the decoded body bytes [from, to) to `sink` in chunks of at most
    /// PackageArchive::ChunkSize, decoding from the start of the segment
    /// that holds `from` (or going on from the previous read). Throws "error
    /// reading from compressed stream" or "error reading stream".
    void read(quint32 from, quint32 to, const PackageDataSink &sink);

private:
    explicit SegmentedBody(int descriptor);
    /// Restarts decoding at the start of the segment that holds `offset`.
    void restartAt(quint32 offset);
    /// Decodes up to `capacity` bytes into `out`.
    int decode(unsigned char *out, int capacity);

    int m_descriptor;
    std::vector<BodySegment> m_segments;
    std::unique_ptr<z_stream_s> m_stream;
    bool m_streamReady = false;
    quint32 m_position = 0;      // decoded body offset the stream stands at
    quint64 m_inputOffset = 0;   // file offset of the next byte to read
    std::vector<unsigned char> m_input;
};
