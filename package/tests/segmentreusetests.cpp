// Saving over a loaded body made of independent segments: unchanged segments
// are copied as they stand, only at the level the body was made at, and a
// body that is not made of them is compressed again whole.
#include "package/zlibsegments.h"
#include "testsupport.h"

#include <zlib.h>

#include <random>

namespace {

constexpr int S = int(zlibsegments::SegmentSize);

class SegmentReuseTest : public TempDirTest {
protected:
    /// Members around segment boundaries: a large member (two segments),
    /// small ones that share the next segment, a large one at the end.
    QList<RawMember> members() const
    {
        const QByteArray data = realData(4 * S);
        EXPECT_GE(data.size(), 3 * S + 600000);
        return {
            {"a", data.left(S * 3 / 2), RegularFile | 0644, 1},
            {"b", data.mid(S * 3 / 2, 200000), RegularFile | 0644, 2},
            {"c", data.mid(S * 3 / 2 + 200000, 300000), RegularFile | 0644, 3},
            {"d", data.mid(S * 3 / 2 + 500000, S + 1000), RegularFile | 0644, 4},
        };
    }

    void saveMembers(const QList<RawMember> &list, const QString &file, int level)
    {
        PackageArchive archive;
        archive.setVersion(2);
        for (const RawMember &member : list)
            archive.addData(member.data, at(member.time), member.mode, QString::fromLatin1(member.name));
        archive.save(path(file), level);
    }
};

TEST_F(SegmentReuseTest, UnchangedSegmentsAreCopiedTheRestCompressed)
{
    QList<RawMember> list = members();
    saveMembers(list, "old.pkg", 9);
    // Copied bytes show: level 9 and level 7 share FLEVEL 3 but not their output.
    const QByteArray firstOfA = deflatedSegment(list[0].data.left(S), 9);
    const QByteArray firstOfD = deflatedSegment(list[3].data.left(S), 9);
    const QByteArray restOfD = deflatedSegment(list[3].data.mid(S), 9);
    ASSERT_NE(firstOfA, deflatedSegment(list[0].data.left(S), 7));
    const QByteArray old = readWholeFile(path("old.pkg"));
    ASSERT_TRUE(old.contains(firstOfA));

    // b changes size: everything after it moves in the body.
    PackageArchive archive(path("old.pkg"));
    list[1].data = "a new b";
    archive.addData(list[1].data, at(list[1].time), list[1].mode, "b");
    archive.save(path("new.pkg"), 7);
    const QByteArray updated = readWholeFile(path("new.pkg"));
    for (const QByteArray &copied : {firstOfA, firstOfD, restOfD})
        EXPECT_TRUE(updated.contains(copied));
    // The rest of a shared its segment with b: compressed again, at 7.
    EXPECT_FALSE(updated.contains(deflatedSegment(list[0].data.mid(S), 9).left(4096)));
    // What the body decodes to (table and data) is what a full save writes.
    saveMembers(list, "full.pkg", 7);
    EXPECT_EQ(zlibDecompress(updated.mid(8)), zlibDecompress(readWholeFile(path("full.pkg")).mid(8)));
}

TEST_F(SegmentReuseTest, OnlyABodyOfTheSameLevelFieldIsReused)
{
    const QList<RawMember> list = members().mid(0, 1);
    const QByteArray plain = list[0].data.left(S);
    struct Case {
        int oldLevel, newLevel;
        bool reused;
    } cases[] = {
        {9, 7, true},  // FLEVEL 3 both
        {2, 5, true},  // FLEVEL 1 both
        {6, 7, false}, // FLEVEL 2 and 3
        {0, 1, false}, // FLEVEL 0 both, but never reused: level 0 must store
        {1, 0, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.oldLevel << " -> " << c.newLevel);
        ASSERT_NE(deflatedSegment(plain, c.oldLevel), deflatedSegment(plain, c.newLevel));
        saveMembers(list, "old.pkg", c.oldLevel);
        PackageArchive archive(path("old.pkg"));
        archive.addData("more", at(5), 0644, "e");
        archive.save(path("new.pkg"), c.newLevel);
        EXPECT_EQ(readWholeFile(path("new.pkg")).contains(deflatedSegment(plain, c.oldLevel)), c.reused);
        EXPECT_EQ(PackageArchive(path("new.pkg")).fileData("a"), list[0].data);
    }
}

/// A version-2 package whose body is zlib at level 6 as older writers made
/// it: one stream, or parts ended by `flush` and an empty final block.
QByteArray olderPackage(const QList<RawMember> &list, int flush)
{
    const QByteArray body = v2Body(list, quint32(list.size()));
    const int firstData = int(le32At(body, 20 + 2));
    const QByteArray parts[] = {body.left(firstData), body.mid(firstData, list[0].data.size()),
                                body.mid(firstData + list[0].data.size())};
    z_stream s = {};
    EXPECT_EQ(deflateInit(&s, 6), Z_OK);
    QByteArray out(body.size() * 2 + 1024, '\0');
    s.next_out = reinterpret_cast<Bytef *>(out.data());
    s.avail_out = uInt(out.size());
    for (const QByteArray &part : parts) {
        s.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(part.constData()));
        s.avail_in = uInt(part.size());
        EXPECT_EQ(deflate(&s, flush), Z_OK);
    }
    EXPECT_EQ(deflate(&s, Z_FINISH), Z_STREAM_END);
    out.resize(int(s.total_out));
    deflateEnd(&s);
    return v2Header(2) + out;
}

TEST_F(SegmentReuseTest, ABodyNotMadeOfIndependentSegmentsIsCompressedAgainWhole)
{
    // The second member repeats the first: its data refers back across the
    // flush unless the history was emptied there.
    const QByteArray text = realData(300000);
    const QList<RawMember> list = {
        {"one", text, RegularFile | 0644, 1},
        {"two", text, RegularFile | 0644, 2},
        {"three", "3", RegularFile | 0644, 3},
    };
    const std::pair<const char *, int> forms[] = {
        {"one stream", Z_NO_FLUSH},
        {"sync flushes, shared history", Z_SYNC_FLUSH},
    };
    saveMembers(list.mid(0, 2), "full.pkg", 6);
    for (const auto &[form, flush] : forms) {
        SCOPED_TRACE(form);
        writeWholeFile(path("old.pkg"), olderPackage(list, flush));
        PackageArchive archive(path("old.pkg"));
        ASSERT_TRUE(archive.remove("three"));
        archive.save(path("new.pkg"), 6);
        // Byte for byte what a full save of the same members writes.
        EXPECT_EQ(readWholeFile(path("new.pkg")), readWholeFile(path("full.pkg")));
    }
    // Independent segments, but far more than a save makes: not worth a list.
    const QByteArray body = v2Body(list, quint32(list.size()));
    QList<QByteArray> pieces;
    for (int at = 0; at < body.size(); at += 4096)
        pieces.append(body.mid(at, 4096));
    writeWholeFile(path("old.pkg"), v2Header(2) + segmentedZlib(pieces, 6));
    PackageArchive archive(path("old.pkg"));
    ASSERT_TRUE(archive.remove("three"));
    archive.save(path("new.pkg"), 6);
    EXPECT_EQ(readWholeFile(path("new.pkg")), readWholeFile(path("full.pkg")));
}

TEST_F(SegmentReuseTest, ADamagedBodyFailsTheSaveAsBefore)
{
    // Bytes deflate cannot shrink are stored as they stand: a flipped bit in
    // them decodes without complaint, and only the checksum tells.
    std::mt19937 noise(17);
    QByteArray stored(S * 3 / 2, '\0');
    for (char &byte : stored)
        byte = char(noise());
    saveMembers({{"noise", stored, RegularFile | 0644, 1}, {"tail", "tail", RegularFile | 0644, 2}}, "old.pkg", 9);
    QByteArray damaged = readWholeFile(path("old.pkg"));
    const int inside = damaged.indexOf(stored.mid(S / 2, 64));
    ASSERT_GT(inside, 0);
    damaged[inside] = char(damaged[inside] ^ 0x10);
    writeWholeFile(path("old.pkg"), damaged);

    // At 6 the body could not be reused anyway: both saves read it the same way.
    for (int level : {6, 9}) {
        SCOPED_TRACE(level);
        PackageArchive archive(path("old.pkg"));
        archive.addData("more", at(3), RegularFile | 0644, "more");
        EXPECT_EQ(thrownMessage([&] { archive.save(path("new.pkg"), level); }),
                  "error reading from compressed stream");
    }
}

} // namespace
