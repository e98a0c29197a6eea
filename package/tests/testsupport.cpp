#include "testsupport.h"

#include <QDirIterator>
#include <QFile>

#include <bzlib.h>
#include <zlib.h>

QByteArray readWholeFile(const QString &path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll();
}

void writeWholeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

static void appendLe16(QByteArray &b, quint32 v) { b.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF)); }
static void appendLe32(QByteArray &b, quint32 v) { appendLe16(b, v & 0xFFFF), appendLe16(b, v >> 16); }

QByteArray v2Header(quint32 formatWord)
{
    QByteArray header("\xb1\xc6\xf5\x71", 4);
    appendLe32(header, formatWord);
    return header;
}

QByteArray v2Record(const QByteArray &name, quint32 offset, quint32 size, quint32 mode, quint32 time)
{
    QByteArray r;
    appendLe16(r, quint32(name.size()));
    for (quint32 v : {offset, size, mode, time})
        appendLe32(r, v);
    return r + name;
}

QByteArray v2Body(const QList<RawMember> &members, quint32 count)
{
    QByteArray body, data;
    appendLe32(body, count);
    body.append(QByteArray(16, '\0'));
    quint32 offset = 20;
    for (const RawMember &m : members)
        offset += 18 + quint32(m.name.size());
    for (const RawMember &m : members) {
        body += v2Record(m.name, offset + quint32(data.size()), quint32(m.data.size()), m.mode, m.time);
        data += m.data;
    }
    return body + data;
}

QByteArray legacyBody(const QList<RawMember> &members, quint32 count)
{
    QByteArray body, data;
    appendLe32(body, 0x4152C3C8);
    appendLe32(body, count);
    const quint32 offset = 8 + 1040 * quint32(members.size());
    for (const RawMember &m : members) {
        body += m.name.leftJustified(1024, '\0', true);
        for (quint32 v : {offset + quint32(data.size()), quint32(m.data.size()), (m.mode & 0222) ? 0u : 1u, m.time})
            appendLe32(body, v);
        data += m.data;
    }
    return body + data;
}

std::string describe(const PackageArchiveFile *m)
{
    static const char *const sources[] = {"none", "archive", "disk", "memory"};
    return QStringLiteral("%1 %2 %3 %4 %5").arg(m->name()).arg(m->size()).arg(m->mode(), 0, 8).arg(m->time())
        .arg(QLatin1String(sources[m->source()])).toStdString();
}

namespace {
/// Runs a decoder over the whole of `in`; the stream must end exactly where `in` does.
template <typename Stream, typename Step>
QByteArray decodeAll(Stream &s, const QByteArray &in, Step step, int endCode, const char *codec)
{
    s.next_in = reinterpret_cast<decltype(s.next_in)>(const_cast<char *>(in.constData()));
    s.avail_in = decltype(s.avail_in)(in.size());
    QByteArray out;
    int result = 0; // Z_OK and BZ_OK
    for (char chunk[65536]; result == 0; out.append(chunk, int(sizeof chunk - s.avail_out))) {
        s.next_out = reinterpret_cast<decltype(s.next_out)>(chunk);
        s.avail_out = sizeof chunk;
        result = step(&s);
    }
    EXPECT_EQ(result, endCode) << codec;
    EXPECT_EQ(s.avail_in, 0u) << "bytes after the " << codec << " stream";
    return out;
}
} // namespace

QByteArray zlibDecompress(const QByteArray &compressed)
{
    z_stream s = {};
    EXPECT_EQ(inflateInit(&s), Z_OK);
    const QByteArray out = decodeAll(s, compressed, [](z_stream *z) { return inflate(z, Z_NO_FLUSH); }, Z_STREAM_END,
                                     "zlib");
    inflateEnd(&s);
    return out;
}

QByteArray bzip2Decompress(const QByteArray &compressed)
{
    bz_stream s = {};
    EXPECT_EQ(BZ2_bzDecompressInit(&s, 0, 0), BZ_OK);
    const QByteArray out = decodeAll(s, compressed, BZ2_bzDecompress, BZ_STREAM_END, "bzip2");
    BZ2_bzDecompressEnd(&s);
    return out;
}

QByteArray zlibCompress(const QByteArray &plain, int level)
{
    uLongf length = compressBound(uLong(plain.size()));
    QByteArray out(int(length), '\0');
    EXPECT_EQ(compress2(reinterpret_cast<Bytef *>(out.data()), &length,
                        reinterpret_cast<const Bytef *>(plain.constData()), uLong(plain.size()), level), Z_OK);
    return out.left(int(length));
}

QByteArray deflatedSegment(const QByteArray &plain, int level)
{
    z_stream s = {};
    EXPECT_EQ(deflateInit2(&s, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
    QByteArray deflated(int(deflateBound(&s, uLong(plain.size())) + 64), '\0');
    s.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(plain.constData()));
    s.avail_in = uInt(plain.size());
    s.next_out = reinterpret_cast<Bytef *>(deflated.data());
    s.avail_out = uInt(deflated.size());
    EXPECT_EQ(deflate(&s, Z_FULL_FLUSH), Z_OK);
    EXPECT_EQ(s.avail_in, 0u);
    deflateEnd(&s);
    return deflated.left(int(s.total_out));
}

QByteArray segmentedZlib(const QList<QByteArray> &segments, int level)
{
    // zlib's own header, closing block and checksum of the whole, so that the
    // writer's combination of per-segment checksums is checked too.
    const QByteArray whole = zlibCompress(QByteArray(), level);
    QByteArray out = whole.left(2);
    QByteArray plain;
    for (const QByteArray &segment : segments) {
        out += deflatedSegment(segment, level);
        plain += segment;
    }
    out += QByteArray("\x03\x00", 2);
    const uLong adler = adler32(adler32(0, nullptr, 0), reinterpret_cast<const Bytef *>(plain.constData()),
                                uInt(plain.size()));
    const char trailer[4] = {char(adler >> 24), char(adler >> 16), char(adler >> 8), char(adler)};
    return out + QByteArray(trailer, 4);
}

QByteArray bzip2Compress(const QByteArray &plain, int level)
{
    unsigned int length = unsigned(plain.size() + plain.size() / 100 + 600);
    QByteArray out(int(length), '\0');
    EXPECT_EQ(BZ2_bzBuffToBuffCompress(out.data(), &length, const_cast<char *>(plain.constData()),
                                       unsigned(plain.size()), level, 0, 30), BZ_OK);
    return out.left(int(length));
}

QByteArray realData(int maxBytes)
{
    QByteArray data;
    for (const char *root : {"/usr/include", "/usr/lib/x86_64-linux-gnu"}) {
        QDirIterator it(QString::fromLatin1(root), QStringList(), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext() && data.size() < maxBytes) {
            QFile file(it.next());
            if (file.size() > 0 && file.size() < 4 * 1024 * 1024 && file.open(QIODevice::ReadOnly))
                data.append(file.readAll());
        }
    }
    return data.left(maxBytes);
}
