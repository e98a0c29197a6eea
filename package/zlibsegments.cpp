// The segmented zlib layout: header, segments, closing block and trailer.
#include "package/zlibsegments.h"

#include "package/hexception.h"
#include "package/packagemessages.h"

#include <zlib.h>

#include <memory>

namespace zlibsegments {

namespace {

constexpr int WindowBits = 15;
constexpr int MemoryLevel = 8;

/// Releases a deflate state however compress() ends.
struct DeflateEnder {
    void operator()(z_stream *stream) const { deflateEnd(stream); }
};

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

Segment compress(const QByteArray &plain, int level)
{
    z_stream stream = {};
    if (deflateInit2(&stream, level, Z_DEFLATED, -WindowBits, MemoryLevel, Z_DEFAULT_STRATEGY) != Z_OK)
        throw HException(packagemessage::kInitDeflate);
    std::unique_ptr<z_stream, DeflateEnder> owner(&stream);

    Segment segment;
    segment.length = quint32(plain.size());
    segment.adler = quint32(adler32(adler32(0, nullptr, 0), reinterpret_cast<const Bytef *>(plain.constData()),
                                    uInt(plain.size())));
    // Most data shrinks to a fraction: the buffer starts there and grows
    // only for data that does not, so that held output costs what it holds.
    segment.deflated.resize(plain.size() / 4 + 1024);
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(plain.constData()));
    stream.avail_in = uInt(plain.size());
    for (;;) {
        const int done = int(stream.total_out);
        stream.next_out = reinterpret_cast<Bytef *>(segment.deflated.data()) + done;
        stream.avail_out = uInt(segment.deflated.size() - done);
        const int result = deflate(&stream, Z_FULL_FLUSH);
        if (result != Z_OK && result != Z_BUF_ERROR)
            throw HException(packagemessage::kCompressing);
        if (stream.avail_out > 0 && stream.avail_in == 0)
            break;
        segment.deflated.resize(segment.deflated.size() * 2);
    }
    segment.deflated.resize(int(stream.total_out));
    segment.deflated.squeeze();
    return segment;
}

} // namespace zlibsegments
