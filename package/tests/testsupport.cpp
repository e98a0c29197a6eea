#include "testsupport.h"

#include <QDir>
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

quint32 le16At(const QByteArray &b, int o)
{
    return quint32(uchar(b[o])) | quint32(uchar(b[o + 1])) << 8;
}

quint32 le32At(const QByteArray &b, int o)
{
    return le16At(b, o) | le16At(b, o + 2) << 16;
}

quint32 be32At(const QByteArray &b, int o)
{
    return quint32(uchar(b[o])) << 24 | quint32(uchar(b[o + 1])) << 16 |
           quint32(uchar(b[o + 2])) << 8 | quint32(uchar(b[o + 3]));
}

void appendLe16(QByteArray &b, quint32 v)
{
    b.append(char(v & 0xFF));
    b.append(char((v >> 8) & 0xFF));
}

void appendLe32(QByteArray &b, quint32 v)
{
    appendLe16(b, v & 0xFFFF);
    appendLe16(b, v >> 16);
}

QByteArray zlibDecompress(const QByteArray &compressed)
{
    z_stream s = {};
    EXPECT_EQ(inflateInit(&s), Z_OK);
    s.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(compressed.constData()));
    s.avail_in = uInt(compressed.size());
    QByteArray out;
    int result = Z_OK;
    char chunk[65536];
    while (result == Z_OK) {
        s.next_out = reinterpret_cast<Bytef *>(chunk);
        s.avail_out = sizeof chunk;
        result = inflate(&s, Z_NO_FLUSH);
        out.append(chunk, int(sizeof chunk - s.avail_out));
    }
    EXPECT_EQ(result, Z_STREAM_END);
    EXPECT_EQ(s.avail_in, 0u) << "bytes after the zlib stream";
    inflateEnd(&s);
    return out;
}

QByteArray zlibCompress(const QByteArray &plain, int level)
{
    uLongf length = compressBound(uLong(plain.size()));
    QByteArray out(int(length), '\0');
    EXPECT_EQ(compress2(reinterpret_cast<Bytef *>(out.data()), &length,
                        reinterpret_cast<const Bytef *>(plain.constData()), uLong(plain.size()), level),
              Z_OK);
    out.resize(int(length));
    return out;
}

QByteArray bzip2Decompress(const QByteArray &compressed)
{
    bz_stream s = {};
    EXPECT_EQ(BZ2_bzDecompressInit(&s, 0, 0), BZ_OK);
    s.next_in = const_cast<char *>(compressed.constData());
    s.avail_in = unsigned(compressed.size());
    QByteArray out;
    int result = BZ_OK;
    char chunk[65536];
    while (result == BZ_OK) {
        s.next_out = chunk;
        s.avail_out = sizeof chunk;
        result = BZ2_bzDecompress(&s);
        out.append(chunk, int(sizeof chunk - s.avail_out));
    }
    EXPECT_EQ(result, BZ_STREAM_END);
    EXPECT_EQ(s.avail_in, 0u) << "bytes after the bzip2 stream";
    BZ2_bzDecompressEnd(&s);
    return out;
}

QByteArray bzip2Compress(const QByteArray &plain, int level)
{
    unsigned int length = unsigned(plain.size() + plain.size() / 100 + 600);
    QByteArray out(int(length), '\0');
    EXPECT_EQ(BZ2_bzBuffToBuffCompress(out.data(), &length, const_cast<char *>(plain.constData()),
                                       unsigned(plain.size()), level, 0, 30),
              BZ_OK);
    out.resize(int(length));
    return out;
}

QByteArray realData(int maxBytes)
{
    static QByteArray cache;
    if (cache.size() < maxBytes) {
        cache.clear();
        for (const char *root : {"/usr/include", "/usr/lib/x86_64-linux-gnu"}) {
            QDirIterator it(QString::fromLatin1(root), QStringList(), QDir::Files,
                            QDirIterator::Subdirectories);
            while (it.hasNext() && cache.size() < maxBytes) {
                QFile file(it.next());
                if (file.size() > 0 && file.size() < 4 * 1024 * 1024 && file.open(QIODevice::ReadOnly))
                    cache.append(file.readAll());
            }
        }
    }
    return cache.left(maxBytes);
}
