// Helpers shared by the package tests: temporary directories, whole-file
// reads and writes, byte-field readers, and reference codecs that compress
// or decompress a whole buffer in one call.
#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>

/// A fresh directory per test, removed afterwards.
class TempDirTest : public ::testing::Test {
protected:
    QString path(const QString &name) const { return m_dir.path() + QLatin1Char('/') + name; }
    QString dir() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};

QByteArray readWholeFile(const QString &path);
void writeWholeFile(const QString &path, const QByteArray &bytes);

quint32 le16At(const QByteArray &bytes, int offset);
quint32 le32At(const QByteArray &bytes, int offset);
quint32 be32At(const QByteArray &bytes, int offset);
void appendLe16(QByteArray &bytes, quint32 value);
void appendLe32(QByteArray &bytes, quint32 value);

/// Decodes a complete zlib (RFC 1950) stream; fails the test on any error or
/// trailing bytes.
QByteArray zlibDecompress(const QByteArray &compressed);
/// zlib's one-call compress2: the reference for what chunked feeding must give.
QByteArray zlibCompress(const QByteArray &plain, int level);
/// Decodes a complete bzip2 stream.
QByteArray bzip2Decompress(const QByteArray &compressed);
/// libbzip2's one-call compression with block size `level`, work factor 30.
QByteArray bzip2Compress(const QByteArray &plain, int level);

/// Runs `f` and answers the HException message it throws ("<no exception>"
/// when none).
template <typename F>
std::string thrownMessage(F &&f)
{
    try {
        f();
    } catch (const std::exception &e) {
        return e.what();
    }
    return "<no exception>";
}

/// Several megabytes of real, varied bytes (system headers and libraries) so
/// that codec behaviour is exercised beyond a single block.
QByteArray realData(int maxBytes);
