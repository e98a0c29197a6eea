// The archive file format: byte layouts field by field, every form read
// back, and damaged files with their exact messages.
#include "testsupport.h"

#include <QDir>
#include <QFile>

#include <tuple>
#include <unistd.h>

namespace {

/// Records where the input file stood when the archive handed it over.
struct ReadHookArchive : PackageArchive {
    long positionSeen = -1;
    void openedForReading(FILE *file) override { positionSeen = ftell(file); }
};

class FormatTest : public TempDirTest {
protected:
    /// Saves `archive` in the given form as `name` and returns the file's bytes.
    QByteArray saveAs(PackageArchive &archive, const char *name, int version, int method, int level = -1)
    {
        archive.setVersion(version);
        archive.setCompression(method);
        archive.save(path(name), level);
        return readWholeFile(path(name));
    }

    /// A member's bytes through readFileData, each chunk within bounds; fileData must agree.
    QByteArray chunked(PackageArchive &archive, PackageArchiveFile *member)
    {
        QByteArray joined;
        int chunks = 0;
        archive.readFileData(member, [&](const char *bytes, int length) {
            EXPECT_GT(length, 0);
            EXPECT_LE(length, PackageArchive::ChunkSize);
            joined.append(bytes, length);
            ++chunks;
        });
        EXPECT_EQ(chunks, (joined.size() + PackageArchive::ChunkSize - 1) / PackageArchive::ChunkSize);
        EXPECT_EQ(archive.fileData(member), joined);
        return joined;
    }
};

TEST_F(FormatTest, EmptyArchivesInEveryForm)
{
    // The wrapped legacy form is zlib whatever the method.
    const QByteArray legacy = wrapperHeader() + segmentedZlib({QByteArray("\xc8\xc3\x52\x41\0\0\0\0", 8)}, 7);
    const std::tuple<int, int, QByteArray> cases[] = {
        {2, 0, v2Header(0x0002) + segmentedZlib({QByteArray(20, '\0')}, 7)},
        {2, 1, v2Header(0x1002) + bzip2Compress(QByteArray(20, '\0'), 7)},
        {1, 0, legacy},
        {1, 1, legacy},
    };
    for (const auto &[version, method, expected] : cases) {
        SCOPED_TRACE(testing::Message() << "version " << version << " method " << method);
        PackageArchive archive;
        EXPECT_EQ(saveAs(archive, "empty.pkg", version, method), expected);
        PackageArchive loaded(path("empty.pkg"));
        EXPECT_TRUE(loaded.files().empty());
        EXPECT_EQ(loaded.version(), version);
    }
}

TEST_F(FormatTest, Version2LayoutFieldByField)
{
    PackageArchive archive;
    archive.addData("hello", at(1234567890), RegularFile | 0644, "a.txt");
    archive.addData("", at(1), 0444, "");
    archive.addData(QByteArray(1000, 'z'), at(0xFFFFFFFFu), 040755, QStringLiteral("d\u00e9/\u4e2d"));
    const QByteArray file = saveAs(archive, "v2.pkg", 2, 0, 3);
    EXPECT_EQ(file.left(8), QByteArray("\xb1\xc6\xf5\x71\x02\x00\x00\x00", 8));
    const QByteArray body = zlibDecompress(file.mid(8));
    // The header and table form a segment of their own; the data, under one
    // segment's size, the next.
    EXPECT_EQ(file.mid(8), segmentedZlib({body.left(83), body.mid(83)}, 3));
    // Names of any length (even empty) in Latin-1, the full 32-bit time range, each field as given.
    const QList<RawMember> expected = {
        {"a.txt", "hello", RegularFile | 0644, 1234567890},
        {"", "", 0444, 1},
        {"d\xe9/?", QByteArray(1000, 'z'), 040755, 0xFFFFFFFFu},
    };
    EXPECT_EQ(body, v2Body(expected, 3));
    EXPECT_EQ(le32At(body, 20 + 2), quint32(20 + 18 * 3 + 9)); // the first data offset, counted by hand
}

TEST_F(FormatTest, Version1LayoutFieldByField)
{
    PackageArchive archive; // a new archive writes version 1
    const quint32 modes[] = {RegularFile | 0644, RegularFile | 0444, 0002, 0200, 0020, RegularFile};
    const quint32 flags[] = {0, 1, 0, 0, 0, 1}; // read-only: no write bit at all
    QList<RawMember> members;
    for (int i = 0; i < 6; ++i) {
        members.append({"f\xe9" + QByteArray::number(i), QByteArray(i * 10, char('a' + i)), modes[i], 100u + i});
        archive.addData(members[i].data, at(100 + i), modes[i], QString::fromLatin1(members[i].name));
    }
    const QByteArray file = saveAs(archive, "v1.pkg", 1, 0, 5);
    EXPECT_EQ(file.left(8), QByteArray("\x7a\xf4\x31\xb2\x01\x00\x00\x00", 8));
    // The size estimate, big-endian: 6 records and 150 bytes.
    EXPECT_EQ(qFromBigEndian<quint32>(file.constData() + 8), 6390u + 6390 / 100 + 13);
    const QByteArray body = zlibDecompress(file.mid(12));
    EXPECT_EQ(file.mid(12), segmentedZlib({body.left(8 + 1040 * 6), body.mid(8 + 1040 * 6)}, 5));
    EXPECT_EQ(body, legacyBody(members, 6)); // names in Latin-1
    EXPECT_EQ(le32At(body, 8 + 1024), 8u + 1040 * 6); // the first data offset, counted by hand
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(le32At(body, 8 + 1040 * i + 1032), flags[i]) << i; // the read-only flag
}

TEST_F(FormatTest, EveryFormReadsBackWithAllThreeSources)
{
    const QByteArray big = realData(300000);
    writeWholeFile(path("disk.bin"), big.right(120000));
    const QByteArray data[] = {"memory bytes\n", big.right(120000), "", big.left(50000)};
    // Levels outside 0..9 are clamped, -1 being the default 7.
    const std::tuple<int, int, int, int> forms[] = {
        {2, 0, 10, 9},
        {2, 1, 1, 1},
        {1, 0, -50, 7},
    };
    for (const auto &[version, method, level, used] : forms) {
        SCOPED_TRACE(testing::Message() << "version " << version << " method " << method);
        PackageArchive first;
        first.addData(data[0], at(1000000000), RegularFile | 0644, "m/memory.txt");
        first.addFile(path("disk.bin"), "d/disk.bin");
        first.addData(data[2], at(7), RegularFile | 0444, "empty");
        for (size_t i = 0; i < 3; ++i)
            EXPECT_EQ(chunked(first, first.files()[i].get()), data[i]) << i;
        // At 6, whose header differs from 7's and 9's: the second save compresses all again.
        saveAs(first, "first.pkg", version, method, 6);
        // The second archive mixes members of the first one's body with a new one.
        PackageArchive second(path("first.pkg"));
        EXPECT_EQ(second.version(), version);
        EXPECT_EQ(second.compression(), method);
        EXPECT_EQ(chunked(second, second.addData(data[3], at(5), 0600, "late")), data[3]);
        second.save(path("second.pkg"), level);
        const QByteArray packed = readWholeFile(path("second.pkg")).mid(version == 1 ? 12 : 8);
        const QByteArray body = method ? bzip2Decompress(packed) : zlibDecompress(packed);
        const int dataStart = int(version == 1 ? le32At(body, 8 + 1024) : le32At(body, 20 + 2));
        EXPECT_EQ(packed, method ? bzip2Compress(body, used)
                                 : segmentedZlib({body.left(dataStart), body.mid(dataStart)}, used));
        PackageArchive loaded(path("second.pkg"));
        ASSERT_EQ(loaded.files().size(), 4u);
        for (size_t i = 0; i < 4; ++i) {
            EXPECT_EQ(chunked(loaded, loaded.files()[i].get()), data[i]) << i;
            EXPECT_EQ(loaded.files()[i]->source(), PackageArchiveFileEntry::SourceArchive) << i;
        }
        const bool v2 = version == 2; // version 1 keeps only a read-only flag
        EXPECT_EQ(describe(loaded.files()[0].get()),
                  v2 ? "m/memory.txt 13 100644 1000000000 archive" : "m/memory.txt 13 666 1000000000 archive");
        EXPECT_EQ(describe(loaded.files()[1].get()).substr(0, 17), "d/disk.bin 120000");
        EXPECT_EQ(describe(loaded.files()[2].get()), v2 ? "empty 0 100444 7 archive" : "empty 0 444 7 archive");
        EXPECT_EQ(describe(loaded.files()[3].get()), v2 ? "late 50000 600 5 archive" : "late 50000 666 5 archive");
    }
    EXPECT_EQ(PackageArchive().fileData(nullptr), QByteArray());
    EXPECT_EQ(PackageArchive().fileData("absent"), QByteArray());
}

TEST_F(FormatTest, NameLengthLimits)
{
    const std::tuple<int, int, bool> limits[] = {
        {1, 1023, true},
        {1, 1024, false},
        {2, 65535, true},
        {2, 65536, false},
    };
    for (const auto &[version, length, fits] : limits) {
        SCOPED_TRACE(testing::Message() << "version " << version << " length " << length);
        QFile::remove(path("n.pkg"));
        PackageArchive archive;
        archive.setVersion(version);
        archive.addData("ok", at(1), 0644, "first");
        archive.addData("x", at(1), 0644, QString(length, QLatin1Char('n')));
        EXPECT_EQ(thrownMessage([&] { archive.save(path("n.pkg")); }), fits ? "<no exception>" : "filename too long");
        if (fits)
            EXPECT_EQ(PackageArchive(path("n.pkg")).files()[1]->name().size(), length);
        else // the file was created and partly written, and its stream finished
            EXPECT_FALSE(zlibDecompress(readWholeFile(path("n.pkg")).mid(version == 2 ? 8 : 12)).isEmpty());
    }
}

TEST_F(FormatTest, ArchiveAtAnOffsetInsideAFile)
{
    const QByteArray prefix(1000, 'P');
    for (int version : {2, 1}) {
        PackageArchive archive;
        archive.addData(version == 2 ? "inside" : "legacy", at(3), 0644, "in");
        writeWholeFile(path("embedded"), prefix + saveAs(archive, "p.pkg", version, 0) + "trailing junk");
        ReadHookArchive embedded;
        embedded.load(path("embedded"), 1000);
        EXPECT_EQ(embedded.positionSeen, 1000); // the hook sees the file positioned at the archive
        ASSERT_EQ(embedded.files().size(), 1u) << version;
        EXPECT_EQ(embedded.fileData("in"), QByteArray(version == 2 ? "inside" : "legacy"));
    }
    // A bare legacy body reads at offset 0; it is addressed by file positions, so refused elsewhere.
    const QList<RawMember> members = {
        {"one", "111", 0644, 11},
        {"two", "22", 0444, 22},
    };
    const QByteArray bare = legacyBody(members, 2);
    writeWholeFile(path("bare.pkg"), bare);
    PackageArchive hand(path("bare.pkg"));
    ASSERT_EQ(hand.files().size(), 2u);
    EXPECT_EQ(describe(hand.find("one")), "one 3 666 11 archive");
    EXPECT_EQ(describe(hand.find("two")), "two 2 444 22 archive");
    EXPECT_EQ(hand.fileData("two"), QByteArray("22"));
    EXPECT_EQ(hand.fileData("one"), QByteArray("111"));
    EXPECT_EQ(hand.version(), 1);
    EXPECT_TRUE(PackageArchive::isPackageFile(path("bare.pkg")));
    writeWholeFile(path("embedded"), prefix + bare);
    EXPECT_EQ(thrownMessage([&] { hand.load(path("embedded"), 1000); }), "unsupported package file format");
}

TEST_F(FormatTest, DamagedFilesGiveTheirMessages)
{
    const QList<RawMember> two = {
        {"first", "1111", 0644, 1},
        {"second", "22", 0644, 2},
    };
    const QByteArray good = v2Body(two, 2);
    const int firstRecordEnd = 20 + 18 + 5;
    const QByteArray gzGood = zlibCompress(good, 6);
    const QByteArray legacyGood = legacyBody(two, 2);
    // gzGood behind another zlib header: CMF, then the FLG bits given with the
    // check bits made right.
    const auto reheaded = [&gzGood](unsigned cmf, unsigned flagBits) {
        const unsigned flg = flagBits + (31 - (cmf * 256 + flagBits) % 31) % 31;
        return QByteArray(1, char(cmf)) + char(flg) + gzGood.mid(2);
    };
    ASSERT_EQ(reheaded(0x78, 0x80), gzGood); // level 6 as zlib writes it
    QByteArray badHeaderCheck = gzGood;
    badHeaderCheck[1] = char(badHeaderCheck[1] ^ 1);
    // headerLooksValid: what isPackageFile, which reads only the header, answers.
    struct Case {
        const char *what;
        QByteArray file;
        std::string message;
        bool headerLooksValid;
    } cases[] = {
        {"empty file", QByteArray(), "unsupported package file format", false},
        {"seven bytes", v2Header(2).left(7), "unsupported package file format", false},
        {"foreign magic", QByteArray("PK\x03\x04 not a package at all"), "unsupported package file format", false},
        {"v2 method 2", v2Header(0x2002) + gzGood, "unsupported compression algorithm", false},
        {"v2 version 3", v2Header(0x0003) + gzGood, "unsupported package file format", false},
        // No writer puts a legacy body behind a version-2 header.
        {"v2 header, version 1", v2Header(0x0001) + zlibCompress(legacyGood, 6), "unsupported package file format",
         false},
        {"v2 body shorter than its header", v2Header(2) + zlibCompress(good.left(19), 6), "bad header", true},
        {"v2 name cut", v2Header(2) + zlibCompress(good.left(firstRecordEnd + 18 + 3), 6),
         "bad table of contents", true},
        {"v2 four billion members",
         v2Header(2) + zlibCompress(QByteArray("\xff\xff\xff\xff", 4) + good.mid(4), 6), "bad table of contents", true},
        {"v2 bzip2 record cut", v2Header(0x1002) + bzip2Compress(good.left(firstRecordEnd + 10), 9),
         "error reading from compressed stream", true},
        {"v2 zlib stream cut", v2Header(2) + gzGood.left(6), "error reading stream", true},
        {"v2 damaged deflate data", v2Header(2) + gzGood.left(2) + QByteArray(500, '\xff'),
         "error reading from compressed stream", true},
        {"v2 zlib header, window field 8", v2Header(2) + reheaded(0x88, 0x80), "error reading from compressed stream",
         true},
        {"v2 zlib header, method 9", v2Header(2) + reheaded(0x79, 0x80), "error reading from compressed stream", true},
        {"v2 zlib header, preset dictionary", v2Header(2) + reheaded(0x78, 0xA0),
         "error reading from compressed stream", true},
        {"v2 zlib header, bad check bits", v2Header(2) + badHeaderCheck, "error reading from compressed stream", true},
        {"v2 zlib header cut", v2Header(2) + gzGood.left(1), "error reading stream", true},
        {"wrapped, body under 8 bytes", wrapperHeader() + zlibCompress(legacyGood.left(5), 6),
         "unsupported package file format", false},
        {"wrapped, no legacy magic", wrapperHeader() + zlibCompress(good, 6), "unsupported package file format", false},
        {"wrapped, four billion members",
         wrapperHeader() + zlibCompress(legacyGood.left(4) + "\xff\xff\xff\xff" + legacyGood.mid(8), 6),
         "bad table of contents", true},
        {"wrapped, header only", wrapperHeader(), "error reading stream", false},
        {"bare, record cut", legacyGood.left(8 + 1040 + 1000), "bad table of contents", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        writeWholeFile(path("bad.pkg"), c.file);
        PackageArchive archive;
        archive.addData("stale", QDateTime(), 0, "stale");
        EXPECT_EQ(thrownMessage([&] { archive.load(path("bad.pkg")); }), c.message);
        EXPECT_TRUE(archive.files().empty()); // load clears before and on failure
        EXPECT_EQ(PackageArchive::isPackageFile(path("bad.pkg")), c.headerLooksValid);
    }
    // A body cut short inside the member data fails when the member is read.
    const QByteArray big = v2Body({{"big", realData(200000), 0644, 1}}, 1);
    for (int method : {0, 1}) {
        const QByteArray whole = method ? bzip2Compress(big, 9) : zlibCompress(big, 6);
        writeWholeFile(path("cut.pkg"), v2Header(quint32(method) << 12 | 2) + whole.left(whole.size() / 2));
        EXPECT_EQ(thrownMessage([&] { PackageArchive(path("cut.pkg")).fileData("big"); }),
                  method ? "error reading from compressed stream" : "error reading stream");
    }
    // A wrong Adler-32 trailer fails the read that reaches it: the last member's.
    QByteArray badChecksum = gzGood;
    badChecksum[badChecksum.size() - 1] = char(badChecksum[badChecksum.size() - 1] ^ 1);
    writeWholeFile(path("sum.pkg"), v2Header(2) + badChecksum);
    PackageArchive checked(path("sum.pkg"));
    EXPECT_EQ(checked.fileData("first"), QByteArray("1111"));
    EXPECT_EQ(thrownMessage([&] { checked.fileData("second"); }), "error reading from compressed stream");
    PackageArchive archive;
    EXPECT_EQ(thrownMessage([&] { archive.load(path("missing.pkg")); }),
              pathBytes(path("missing.pkg")).toStdString() + " does not exist");
    EXPECT_FALSE(PackageArchive::isPackageFile(path("missing.pkg")));
}

TEST_F(FormatTest, MemberDataBeyondTheBody)
{
    // Sizes and offsets are taken as stored; a member that claims more than
    // the body holds fails when fetched, without its size being allocated.
    const QList<RawMember> members = {
        {"small", "abc", 0644, 1},
        {"huge", "", 0644, 2},
    };
    QByteArray body = v2Body(members, 2);
    const int hugeRecord = 20 + 18 + 5;
    body.replace(hugeRecord + 6, 4, QByteArray("\xf0\xff\xff\xff", 4)); // size
    QByteArray farBody = body;
    farBody.replace(hugeRecord + 2, 4, QByteArray("\x00\x00\x00\x70", 4)); // offset
    QDir().mkdir(path("out"));
    for (int method : {0, 1}) {
        for (const QByteArray &b : {body, farBody}) {
            writeWholeFile(path("beyond.pkg"),
                           v2Header(quint32(method) << 12 | 2) + (method ? bzip2Compress(b, 9) : zlibCompress(b, 9)));
            PackageArchive archive(path("beyond.pkg"));
            PackageArchiveFile *huge = archive.find("huge");
            ASSERT_NE(huge, nullptr);
            EXPECT_EQ(huge->size(), 0xFFFFFFF0u);
            const std::string expected = method ? "error reading from compressed stream"
                                                : "cannot read file huge from archive";
            EXPECT_EQ(thrownMessage([&] { archive.fileData(huge); }), expected);
            EXPECT_EQ(thrownMessage([&] { archive.extractFileTo(huge, path("out"), false); }), expected);
            QFile::remove(path("out/huge"));
            // The body is still usable afterwards: a backward seek restarts it.
            EXPECT_EQ(archive.fileData("small"), QByteArray("abc"));
        }
    }
}

TEST_F(FormatTest, SaveFailuresAndExclusiveCreation)
{
    PackageArchive archive;
    archive.addData("x", at(1), 0644, "x");
    archive.setVersion(3);
    EXPECT_EQ(thrownMessage([&] { archive.save(path("v3.pkg")); }), "unsupported package file version");
    EXPECT_FALSE(QFile::exists(path("v3.pkg")));
    archive.setVersion(2);
    EXPECT_EQ(thrownMessage([&] { archive.save(path("no/such/dir.pkg")); }), "cannot open output file");
    archive.setCompression(4);
    EXPECT_EQ(thrownMessage([&] { archive.save(path("m4.pkg")); }), "unsupported compression algorithm");
    archive.setCompression(1);
    EXPECT_EQ(thrownMessage([&] { archive.save(path("bz0.pkg"), 0); }), "cannot initialise deflate");
    // Exclusive creation refuses existing files and links.
    archive.setCompression(0);
    archive.save(path("z0.pkg"), 0); // zlib level 0 is used as it stands
    const QByteArray z0 = readWholeFile(path("z0.pkg"));
    const QByteArray stored = zlibDecompress(z0.mid(8));
    EXPECT_EQ(z0.mid(8), segmentedZlib({stored.left(20 + 18 + 1), stored.mid(20 + 18 + 1)}, 0));
    PackageSaveOptions options;
    options.exclusive = true;
    options.sync = true;
    archive.save(path("new.pkg"), 7, options);
    EXPECT_EQ(PackageArchive(path("new.pkg")).fileData("x"), QByteArray("x"));
    EXPECT_EQ(thrownMessage([&] { archive.save(path("new.pkg"), 7, options); }), "cannot open output file");
    EXPECT_EQ(PackageArchive(path("new.pkg")).fileData("x"), QByteArray("x")); // not this save's file: kept
    ASSERT_EQ(symlink(pathBytes(path("target")).constData(), pathBytes(path("link")).constData()), 0);
    EXPECT_EQ(thrownMessage([&] { archive.save(path("link"), 7, options); }), "cannot open output file");
    EXPECT_FALSE(QFile::exists(path("target"))); // nothing written through the link
    // A failure after the exclusive creation takes the new file away again.
    archive.setCompression(1);
    EXPECT_EQ(thrownMessage([&] { archive.save(path("bz0-new.pkg"), 0, options); }), "cannot initialise deflate");
    EXPECT_FALSE(QFile::exists(path("bz0-new.pkg")));
}

} // namespace
