// The segmented zlib layout: header, segments, closing block and trailer.
#include "package/zlibsegments.h"

#include "package/hexception.h"
#include "package/packagemessages.h"

#include <isa-l/igzip_lib.h>
#include <zlib.h>

#include <memory>

namespace zlibsegments {

namespace {

constexpr int WindowBits = 15;
constexpr int MemoryLevel = 8;


} // namespace

bool acceptableHeader(const unsigned char *header)
{
    constexpr unsigned Deflate = 8;
    constexpr unsigned LargestWindowField = 7;
    constexpr unsigned PresetDictionary = 0x20;
    const unsigned cmf = header[0], flg = header[1];
    return (cmf & 0x0F) == Deflate && (cmf >> 4) <= LargestWindowField && (cmf * 256 + flg) % 31 == 0 &&
           (flg & PresetDictionary) == 0;
}

quint32 checksum(quint32 adler, const void *data, quint64 length)
{
    // The same sums as zlib's adler32, several times as fast.
    return isal_adler32(adler, static_cast<const unsigned char *>(data), length);
}

quint32 combine(quint32 first, quint32 second, quint32 secondLength)
{
    return quint32(adler32_combine(first, second, z_off_t(secondLength)));
}

int headerLevelField(int level)
{
    // As deflate chooses it: the field only hints at the effort spent.
    if (level < 2)
        return 0;
    if (level < 6)
        return 1;
    return level == 6 ? 2 : 3;
}

int headerLevelField(const unsigned char *header)
{
    return header[1] >> 6;
}

QByteArray header(int level)
{
    unsigned value = (Z_DEFLATED + ((WindowBits - 8) << 4)) << 8 | unsigned(headerLevelField(level)) << 6;
    value += 31 - value % 31;
    const char bytes[2] = {char(value >> 8), char(value & 0xFF)};
    return QByteArray(bytes, 2);
}

QByteArray finalBlock()
{
    // Final bit, fixed codes, end-of-block code: ten bits.
    return QByteArray("\x03\x00", 2);
}

QByteArray trailer(quint32 adler)
{
    const char bytes[4] = {char(adler >> 24), char(adler >> 16), char(adler >> 8), char(adler)};
    return QByteArray(bytes, 4);
}

Compressor::Compressor(int level) : m_stream(new z_stream())
{
    if (deflateInit2(m_stream.get(), level, Z_DEFLATED, -WindowBits, MemoryLevel, Z_DEFAULT_STRATEGY) != Z_OK) {
        m_stream.reset();
        throw HException(packagemessage::kInitDeflate);
    }
    // Room for the largest segment at once, kept for every later one.
    m_output.resize(int(deflateBound(m_stream.get(), LargestSegment)) + FullFlushBytes);
}

Compressor::~Compressor()
{
    if (m_stream)
        deflateEnd(m_stream.get());
}

Segment Compressor::compress(const QByteArray &plain)
{
    z_stream &stream = *m_stream;
    // Each segment starts with an empty history.
    if (deflateReset(&stream) != Z_OK)
        throw HException(packagemessage::kCompressing);
    Segment segment;
    segment.length = quint32(plain.size());
    segment.adler = checksum(InitialAdler, plain.constData(), quint64(plain.size()));
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(plain.constData()));
    stream.avail_in = uInt(plain.size());
    for (;;) {
        const int done = int(stream.total_out);
        stream.next_out = reinterpret_cast<Bytef *>(m_output.data()) + done;
        stream.avail_out = uInt(m_output.size() - done);
        const int result = deflate(&stream, Z_FULL_FLUSH);
        if (result != Z_OK && result != Z_BUF_ERROR)
            throw HException(packagemessage::kCompressing);
        if (stream.avail_out > 0 && stream.avail_in == 0)
            break;
        m_output.resize(m_output.size() * 2); // only for more than a save puts in a segment
    }
    // Held output costs what it holds: the segment gets a copy of its own size.
    segment.deflated = QByteArray(m_output.constData(), int(stream.total_out));
    return segment;
}

} // namespace zlibsegments
