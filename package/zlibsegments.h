// The segmented layout of a zlib body. A body is one zlib stream whose
// deflate data is cut into independent segments: each is compressed with an
// empty history and ends with a full flush (an empty stored block, byte
// aligned, never the final block), so any zlib reader decodes the whole as
// one stream, and a segment can be copied unchanged into another body. The
// stream closes with an empty final block and the Adler-32 of the whole
// body, combined from the segments' own checksums. No map of the segments
// is stored: a reader finds them by decoding (see segmentindex.h).
#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <memory>

struct z_stream_s;

namespace zlibsegments {

/// A segment is cut at a member's start once it holds this many bytes, and a
/// member of this size or more is cut every this many bytes.
constexpr quint32 SegmentSize = 1024 * 1024;
/// The most a save puts in one segment: a member under SegmentSize that
/// starts before a segment holds SegmentSize goes in whole.
constexpr quint32 LargestSegment = 2 * SegmentSize;

/// What a full flush adds at most after a segment's last block: the bits
/// that end it, padding, and the empty stored block's four length bytes.
constexpr int FullFlushBytes = 6;
/// The Adler-32 of no bytes, where every segment's checksum starts.
constexpr quint32 InitialAdler = 1;

/// `adler` carried over `length` more bytes.
quint32 checksum(quint32 adler, const void *data, quint64 length);
/// The Adler-32 of two pieces one after the other, from their own sums.
quint32 combine(quint32 first, quint32 second, quint32 secondLength);

/// The two-byte zlib header deflate writes at `level` (0-9): a 32 KB window,
/// no dictionary, and the level's FLEVEL field.
QByteArray header(int level);
/// zlib's rules for the two header bytes: deflate, a window of at most
/// 32 KB, the check bits, and no preset dictionary (a package stream never
/// has one).
bool acceptableHeader(const unsigned char *header);
/// The FLEVEL field that deflate writes for `level` (0-9).
int headerLevelField(int level);
/// The FLEVEL field of a two-byte header.
int headerLevelField(const unsigned char *header);
/// The empty final block (fixed codes) that closes the deflate data.
QByteArray finalBlock();
/// The four trailer bytes: `adler`, big-endian.
QByteArray trailer(quint32 adler);

/// One segment's deflate data with the Adler-32 and length of what it decodes to.
struct Segment {
    QByteArray deflated;
    quint32 adler = InitialAdler;
    quint32 length = 0;
};

/// Compresses segments at one level, each on its own; one per thread. The
/// deflate state and the output buffer serve every segment, so that a save
/// allocates them once.
class Compressor {
public:
    /// `level` 0-9; throws "cannot initialise deflate".
    explicit Compressor(int level);
    ~Compressor();

    Compressor(const Compressor &) = delete;
    Compressor &operator=(const Compressor &) = delete;

    /// Throws "error compressing stream".
    Segment compress(const QByteArray &plain);

private:
    std::unique_ptr<z_stream_s> m_stream;
    QByteArray m_output;
};

} // namespace zlibsegments
