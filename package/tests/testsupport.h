// Helpers shared by the package tests: temporary directories, file and byte
// field access, hand-made archive bodies, and one-call reference codecs.
#pragma once

#include "package/packagearchive.h"
#include "package/pathbytes.h"

#include <QDateTime>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtEndian>

#include <gtest/gtest.h>

#include <string>

constexpr quint32 RegularFile = 0100000;

class TempDirTest : public ::testing::Test {
protected:
    QString path(const QString &name) const { return m_dir.path() + QLatin1Char('/') + name; }

private:
    QTemporaryDir m_dir;
};

/// Makes `name` the process's locale codec for the scope, so a test shows
/// that the library does not depend on it.
class ScopedLocaleCodec {
public:
    explicit ScopedLocaleCodec(const char *name) : m_saved(QTextCodec::codecForLocale())
    {
        QTextCodec::setCodecForLocale(QTextCodec::codecForName(name));
    }
    ~ScopedLocaleCodec() { QTextCodec::setCodecForLocale(m_saved); }

private:
    QTextCodec *m_saved;
};

inline QDateTime at(qint64 seconds) { return QDateTime::fromSecsSinceEpoch(seconds); }
QByteArray readWholeFile(const QString &path);
void writeWholeFile(const QString &path, const QByteArray &bytes);
inline quint32 le32At(const QByteArray &b, int offset) { return qFromLittleEndian<quint32>(b.constData() + offset); }

struct RawMember {
    QByteArray name, data;
    quint32 mode, time;
};
QByteArray v2Header(quint32 formatWord);
inline QByteArray wrapperHeader() { return QByteArray("\x7a\xf4\x31\xb2\x01\x00\x00\x00\x00\x00\x00\x0d", 12); }
/// A version-2 record with the offset and size given as they stand.
QByteArray v2Record(const QByteArray &name, quint32 offset, quint32 size, quint32 mode, quint32 time);
/// Count, 16 reserved bytes, records, data; `count` may lie.
QByteArray v2Body(const QList<RawMember> &members, quint32 count);
/// A legacy body whose data offsets are counted from its first byte.
QByteArray legacyBody(const QList<RawMember> &members, quint32 count);

/// "name size octal-mode time source" of a member, to compare in one line.
std::string describe(const PackageArchiveFile *member);

/// Whole-buffer decoders fail the test on any error or trailing bytes.
QByteArray zlibDecompress(const QByteArray &compressed);
QByteArray zlibCompress(const QByteArray &plain, int level);
QByteArray bzip2Decompress(const QByteArray &compressed);
QByteArray bzip2Compress(const QByteArray &plain, int level); // work factor 30
/// A zlib stream made as a package body is: each of `segments` compressed
/// alone, ending with a full flush, then an empty final block and the
/// checksum of the whole.
QByteArray segmentedZlib(const QList<QByteArray> &segments, int level);
/// One segment of such a stream: raw deflate data ending with a full flush.
QByteArray deflatedSegment(const QByteArray &plain, int level);

/// The message `f` throws, or "<no exception>".
template <typename F> std::string thrownMessage(F &&f)
{
    try {
        f();
    } catch (const std::exception &e) {
        return e.what();
    }
    return "<no exception>";
}

/// Megabytes of real, varied bytes (system headers and libraries).
QByteArray realData(int maxBytes);
