// The member streams on real files, checked against zlib and libbzip2 used directly.
#include "package/packagearchiveiofile.h"
#include "testsupport.h"

#include "package/zlibsegments.h"

#include <zlib.h>

namespace {

/// How many bytes zlib itself decodes from `compressed` before it fails.
int zlibBytesBeforeFailure(const QByteArray &compressed, int outputSize)
{
    QByteArray output(outputSize, '\0');
    z_stream stream = {};
    EXPECT_EQ(inflateInit(&stream), Z_OK);
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(compressed.constData()));
    stream.avail_in = uInt(compressed.size());
    stream.next_out = reinterpret_cast<Bytef *>(output.data());
    stream.avail_out = uInt(output.size());
    EXPECT_EQ(inflate(&stream, Z_NO_FLUSH), Z_DATA_ERROR);
    inflateEnd(&stream);
    return int(stream.total_out);
}

class StreamTest : public TempDirTest {
protected:
    PackageArchive factory; // the streams come from its factory methods

    FILE *openFile(const QString &name, const char *mode)
    {
        FILE *file = fopen(pathBytes(path(name)).constData(), mode);
        EXPECT_NE(file, nullptr);
        return file;
    }

    /// An input stream of `method` over `compressed`, stored after `prefix` junk bytes.
    std::unique_ptr<PackageArchiveIOFileInterface> inputOver(int method, const QByteArray &compressed, int prefix = 0)
    {
        writeWholeFile(path("in"), QByteArray(prefix, 'J') + compressed);
        FILE *file = openFile("in", "rb");
        fseek(file, prefix, SEEK_SET);
        return factory.createInputFile(method, file);
    }

    QByteArray readAll(PackageArchiveIOFileInterface &stream, int total, int chunk)
    {
        QByteArray out, buffer(chunk, '\0');
        for (int n = 1; out.size() < total && n > 0; out.append(buffer.constData(), std::max(n, 0)))
            n = stream.read(buffer.data(), std::min(chunk, total - out.size()));
        return out;
    }
};

TEST_F(StreamTest, CompressedOutputIsTheSameHoweverTheInputIsCut)
{
    const QByteArray data = realData(700 * 1024);
    const std::pair<int, int> cuts[] = {
        {1, 1000},
        {6, 16384},
        {9, 70001},
    };
    for (const auto &[level, chunk] : cuts) {
        SCOPED_TRACE(testing::Message() << "level " << level << " chunk " << chunk);
        for (int method : {0, 1}) {
            auto stream = factory.createOutputFile(method, openFile("out", "wb"), level);
            for (int at = 0; at < data.size(); at += chunk)
                ASSERT_EQ(stream->write(data.constData() + at, std::min(chunk, data.size() - at)),
                          std::min(chunk, data.size() - at));
            stream->close();
            // Under one segment's size, the zlib stream has one segment.
            EXPECT_EQ(readWholeFile(path("out")), method ? bzip2Compress(data, level) : segmentedZlib({data}, level));
        }
    }
}

TEST_F(StreamTest, ZlibOutputIsCutIntoSegmentsAtRegionsTheSameWithAnyThreads)
{
    constexpr int S = int(zlibsegments::SegmentSize);
    const QByteArray data = realData(5 * S);
    ASSERT_GE(data.size(), 4 * S + 100);
    // The regions as a save announces them: the table alone, then members.
    struct Region {
        int size;
        bool ownSegments;
    };
    const Region regions[] = {
        {100, true},          // the table: a segment of its own
        {300 * 1024, false},  // small members share a segment...
        {800 * 1024, false},  // ...until it holds S bytes at a member's start
        {S * 5 / 2, false},   // a large member starts a segment and is cut every S
        {10, false},          // small members join its last piece
        {S / 2 - 100, false}, // while it is under S
    };
    const int c = 100 + 1100 * 1024;
    const int end = c + S * 5 / 2 + 10 + S / 2 - 100;
    const QByteArray expected = segmentedZlib({data.left(100), data.mid(100, c - 100), data.mid(c, S),
                                               data.mid(c + S, S), data.mid(c + 2 * S, end - c - 2 * S)},
                                              6);
    for (int threads : {1, 2, 5}) {
        SCOPED_TRACE(threads);
        PackageArchiveCompressedGzOutputFile stream(openFile("seg", "wb"), 6);
        stream.setWorkerThreads(threads);
        int at = 0;
        for (const Region &region : regions) {
            stream.beginRegion(quint64(region.size), region.ownSegments);
            // Odd write sizes, so that no cut falls on a write's edge by luck.
            for (int done = 0; done < region.size;) {
                const int n = std::min(70001, region.size - done);
                ASSERT_EQ(stream.write(data.constData() + at + done, n), n);
                done += n;
            }
            at += region.size;
        }
        stream.close();
        EXPECT_EQ(readWholeFile(path("seg")), expected);
    }
    // Without regions the data is cut every S bytes.
    PackageArchiveCompressedGzOutputFile plain(openFile("plain", "wb"), 1);
    plain.setWorkerThreads(2);
    plain.write(data.constData(), 2 * S + 5);
    plain.close();
    EXPECT_EQ(readWholeFile(path("plain")), segmentedZlib({data.left(S), data.mid(S, S), data.mid(2 * S, 5)}, 1));
}

TEST_F(StreamTest, DestroyingAnOutputStreamCompletesIt)
{
    // Levels the archive clamps reach the codec through the factory as they stand.
    EXPECT_EQ(thrownMessage([&] { factory.createOutputFile(0, openFile("a", "wb"), 10); }),
              "cannot initialise deflate");
    for (int method : {0, 1}) {
        for (const QByteArray &data : {QByteArray(), QByteArray("abcdef")}) {
            {
                auto stream = factory.createOutputFile(method, openFile("s", "wb"), 5);
                EXPECT_EQ(stream->write(data.constData(), data.size()), data.size());
                EXPECT_EQ(stream->write("x", 0), 0);
            }
            const QByteArray file = readWholeFile(path("s"));
            EXPECT_EQ(method ? bzip2Decompress(file) : zlibDecompress(file), data) << method;
        }
    }
}

TEST_F(StreamTest, InputStreamsDecodeAndSeekBothWays)
{
    const QByteArray data = realData(600000);
    for (int method : {0, 1}) {
        SCOPED_TRACE(method);
        // After junk: seeks are relative to where the stream was built.
        auto stream = inputOver(method, method ? bzip2Compress(data, 9) : zlibCompress(data, 6), 37);
        char zero[1];
        EXPECT_EQ(stream->read(zero, 0), 0);
        EXPECT_EQ(readAll(*stream, data.size(), 9999), data);
        // Backward: restart from the beginning of the compressed data.
        stream->seek(100);
        EXPECT_EQ(readAll(*stream, 5000, 5000), data.mid(100, 5000));
        // Forward, by more than one scratch buffer.
        stream->seek(400000);
        EXPECT_EQ(readAll(*stream, 70000, 4096), data.mid(400000, 70000));
        stream->seek(0);
        EXPECT_EQ(readAll(*stream, data.size(), 65536), data);
    }
}

// A checkpoint brings the stream back without a restart: the same bytes
// again, also after the stream has gone on past them or back to the start.
TEST_F(StreamTest, CheckpointsComeBackToTheSameBytes)
{
    const QByteArray data = realData(300000);
    auto gz = inputOver(0, zlibCompress(data, 6), 11);
    writeWholeFile(path("plain"), data);
    PackageArchiveIOFile plain(openFile("plain", "rb"));
    for (PackageArchiveIOFileInterface *stream : {static_cast<PackageArchiveIOFileInterface *>(gz.get()),
                                                  static_cast<PackageArchiveIOFileInterface *>(&plain)}) {
        stream->seek(123456);
        const std::unique_ptr<StreamCheckpoint> mark = stream->checkpoint();
        ASSERT_NE(mark, nullptr);
        EXPECT_EQ(readAll(*stream, 100000, 7000), data.mid(123456, 100000));
        stream->restore(*mark);
        EXPECT_EQ(readAll(*stream, 100000, 65536), data.mid(123456, 100000));
        stream->seek(0);
        EXPECT_EQ(readAll(*stream, 10, 10), data.left(10));
        stream->restore(*mark);
        EXPECT_EQ(readAll(*stream, data.size() - 123456, 16384), data.mid(123456));
    }
    // libbzip2 keeps its state to itself: no checkpoint.
    EXPECT_EQ(inputOver(1, bzip2Compress(data, 9))->checkpoint(), nullptr);
}

// Damaged data fails the read that reaches it and none before: small reads
// get every byte that zlib decodes ahead of the damage, although the decoder
// looks ahead of small reads.
TEST_F(StreamTest, DamageFailsTheReadThatReachesIt)
{
    const QByteArray data = realData(400000);
    const QByteArray whole = zlibCompress(data, 6);
    for (int damageAt : {whole.size() / 20, whole.size() / 2, whole.size() * 9 / 10}) {
        SCOPED_TRACE(damageAt);
        const QByteArray compressed = whole.left(damageAt) + QByteArray(64, '\xff') + whole.mid(damageAt + 64);
        const int good = zlibBytesBeforeFailure(compressed, 2 * data.size());
        auto stream = inputOver(0, compressed);
        char buffer[1000];
        int delivered = 0;
        EXPECT_EQ(thrownMessage([&] {
                      while (stream->read(buffer, sizeof buffer) == int(sizeof buffer))
                          delivered += int(sizeof buffer);
                  }),
                  "error reading from compressed stream");
        // The read that reaches the damage fails whole.
        EXPECT_GE(delivered, good - int(sizeof buffer));
    }
}

TEST_F(StreamTest, ReadingPastTheEnd)
{
    const QByteArray data("exactly thirty-two bytes of text");
    // zlib: the short count, then nothing, even with trailing bytes buffered.
    auto gz = inputOver(0, zlibCompress(data, 9) + QByteArray(100, 'T'));
    char buffer[64];
    EXPECT_EQ(gz->read(buffer, 64), 32);
    EXPECT_EQ(QByteArray(buffer, 32), data);
    EXPECT_EQ(gz->read(buffer, 64), 0);
    gz->seek(1000); // a seek beyond the end stops rather than loops
    EXPECT_EQ(gz->read(buffer, 1), 0);
    // bzip2: exactly to the end is fine, one byte more is an error.
    auto bz = inputOver(1, bzip2Compress(data, 9));
    EXPECT_EQ(bz->read(buffer, 32), 32);
    EXPECT_EQ(thrownMessage([&] { bz->read(buffer, 1); }), "error reading from compressed stream");
}

} // namespace
