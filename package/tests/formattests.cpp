// The archive file format: byte layouts field by field, every form read
// back, and damaged files with their exact messages.
#include "package/packagearchive.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>

#include <unistd.h>

namespace {

/// Records where the input file stood when the archive handed it over.
class ReadHookArchive : public PackageArchive {
public:
    long positionSeen = -1;

protected:
    void openedForReading(FILE *file) override { positionSeen = ftell(file); }
};

class FormatTest : public TempDirTest {
protected:
    /// An archive with one member of each source: memory, disk file, and
    /// (after a save and load) the old archive's body.
    void fillThreeMembers(PackageArchive &archive)
    {
        writeWholeFile(path("disk.bin"), realData(300000).right(120000));
        archive.addData("memory bytes\n", at(1000000000), RegularFile | 0644,
                        "m/memory.txt");
        archive.addFile(path("disk.bin"), "d/disk.bin");
        archive.addData(QByteArray(), at(7), RegularFile | 0444, "empty");
    }

    QByteArray decodeV2Body(const QByteArray &file)
    {
        quint32 method = le16At(file, 4) >> 12;
        return method == 1 ? bzip2Decompress(file.mid(8)) : zlibDecompress(file.mid(8));
    }
};

TEST_F(FormatTest, EmptyArchivesInEveryForm)
{
    struct Case { int version; int compression; QByteArray expected; } cases[] = {
        {2, 0, v2Header(0x0002) + zlibCompress(QByteArray(20, '\0'), 7)},
        {2, 1, v2Header(0x1002) + bzip2Compress(QByteArray(20, '\0'), 7)},
        {1, 0, wrapperHeader() + zlibCompress(QByteArray("\xc8\xc3\x52\x41\0\0\0\0", 8), 7)},
        // The wrapped legacy form is zlib whatever the method.
        {1, 1, wrapperHeader() + zlibCompress(QByteArray("\xc8\xc3\x52\x41\0\0\0\0", 8), 7)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "version " << c.version << " method " << c.compression);
        PackageArchive archive;
        archive.setVersion(c.version);
        archive.setCompression(c.compression);
        archive.save(path("empty.pkg"));
        EXPECT_EQ(readWholeFile(path("empty.pkg")), c.expected);
        PackageArchive loaded;
        loaded.load(path("empty.pkg"));
        EXPECT_TRUE(loaded.files().empty());
        EXPECT_EQ(loaded.version(), c.version);
        EXPECT_TRUE(PackageArchive::isPackageFile(path("empty.pkg")));
    }
}

TEST_F(FormatTest, Version2LayoutFieldByField)
{
    PackageArchive archive;
    archive.setVersion(2);
    archive.addData("hello", at(1234567890), RegularFile | 0644, "a.txt");
    archive.addData("", at(1), 0444, "");
    archive.addData(QByteArray(1000, 'z'), at(0xFFFFFFFFu), 040755, "dir/b");
    archive.save(path("v2.pkg"), 3);

    const QByteArray file = readWholeFile(path("v2.pkg"));
    EXPECT_EQ(file.left(8), QByteArray("\xb1\xc6\xf5\x71\x02\x00\x00\x00", 8));
    const QByteArray body = decodeV2Body(file);
    EXPECT_EQ(file.mid(8), zlibCompress(body, 3));
    // Names of any length (even empty) and the full 32-bit time range, each field as given.
    EXPECT_EQ(body, v2Body({{"a.txt", "hello", RegularFile | 0644, 1234567890}, {"", "", 0444, 1},
                            {"dir/b", QByteArray(1000, 'z'), 040755, 0xFFFFFFFFu}}, 3));
    EXPECT_EQ(le32At(body, 20 + 2), quint32(20 + 18 * 3 + 10)); // the first data offset, counted by hand

    archive.setCompression(1);
    archive.save(path("v2bz.pkg"), 9);
    const QByteArray bz = readWholeFile(path("v2bz.pkg"));
    EXPECT_EQ(bz.left(8), QByteArray("\xb1\xc6\xf5\x71\x02\x10\x00\x00", 8));
    EXPECT_EQ(bz.mid(8), bzip2Compress(body, 9));
}

TEST_F(FormatTest, Version1LayoutFieldByField)
{
    PackageArchive archive; // a new archive writes version 1
    const quint32 modes[] = {RegularFile | 0644, RegularFile | 0444, RegularFile | 0555, 0200, 0020, 0};
    const quint32 flags[] = {0, 1, 1, 0, 0, 1};
    for (int i = 0; i < 6; ++i)
        archive.addData(QByteArray(i * 10, char('a' + i)), at(100 + i), modes[i],
                        QStringLiteral("f%1").arg(i));
    archive.save(path("v1.pkg"), 5);

    const QByteArray file = readWholeFile(path("v1.pkg"));
    const quint32 total = 1040 * 6 + (0 + 10 + 20 + 30 + 40 + 50);
    EXPECT_EQ(file.left(8), QByteArray("\x7a\xf4\x31\xb2\x01\x00\x00\x00", 8));
    EXPECT_EQ(be32At(file, 8), total + total / 100 + 13); // the size estimate, big-endian
    const QByteArray body = zlibDecompress(file.mid(12));
    EXPECT_EQ(file.mid(12), zlibCompress(body, 5));
    QList<RawMember> members;
    for (int i = 0; i < 6; ++i) {
        members.append({"f" + QByteArray::number(i), QByteArray(i * 10, char('a' + i)), modes[i], quint32(100 + i)});
        EXPECT_EQ(le32At(body, 8 + 1040 * i + 1032), flags[i]) << i; // the read-only flag
    }
    EXPECT_EQ(body, legacyBody(members, 6));
    EXPECT_EQ(le32At(body, 8 + 1024), 8u + 1040 * 6); // the first data offset, counted by hand

    PackageArchive loaded(path("v1.pkg"));
    ASSERT_EQ(loaded.files().size(), 6u);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(loaded.files()[size_t(i)]->mode(), flags[i] ? 0444u : 0666u) << i;
}

TEST_F(FormatTest, EveryFormReadsBackWithAllThreeSources)
{
    struct Form { int version; int compression; } forms[] = {{2, 0}, {2, 1}, {1, 0}};
    for (const Form &form : forms) {
        SCOPED_TRACE(testing::Message() << "version " << form.version << " method " << form.compression);
        PackageArchive first;
        fillThreeMembers(first);
        first.setVersion(form.version);
        first.setCompression(form.compression);
        first.save(path("first.pkg"));

        // The second archive mixes members of the first one's body with new ones.
        PackageArchive second(path("first.pkg"));
        EXPECT_EQ(second.version(), form.version);
        EXPECT_EQ(second.compression(), form.compression);
        second.addData("late", at(5), 0600, "late.txt");
        second.save(path("second.pkg"));

        PackageArchive loaded(path("second.pkg"));
        ASSERT_EQ(loaded.files().size(), 4u);
        const char *names[] = {"m/memory.txt", "d/disk.bin", "empty", "late.txt"};
        const QByteArray data[] = {"memory bytes\n", readWholeFile(path("disk.bin")), "", "late"};
        for (size_t i = 0; i < 4; ++i) {
            PackageArchiveFile *m = loaded.files()[i].get();
            EXPECT_TRUE(m->name() == QLatin1String(names[i]) && m->source() == PackageArchiveFileEntry::SourceArchive)
                << i;
            EXPECT_EQ(loaded.fileData(m), data[i]) << names[i];
            EXPECT_EQ(m->size(), quint32(data[i].size()));
        }
        const bool v2 = form.version == 2; // version 1 keeps only a read-only flag
        EXPECT_EQ(describe(loaded.files()[0].get()),
                  v2 ? "m/memory.txt 13 100644 1000000000 archive" : "m/memory.txt 13 666 1000000000 archive");
        EXPECT_EQ(describe(loaded.files()[2].get()), v2 ? "empty 0 100444 7 archive" : "empty 0 444 7 archive");
    }
}

TEST_F(FormatTest, SavedBodyEqualsOneCallCompressionAtSeveralLevels)
{
    // Members from all three sources, larger than the 16 KiB chunks.
    const QByteArray big = realData(2 * 1024 * 1024);
    writeWholeFile(path("big.bin"), big.left(700000));
    PackageArchive source;
    source.setVersion(2);
    source.addData(big.mid(700000, 500000), at(1), 0644, "mem");
    source.save(path("source.pkg"), 1);

    for (int method : {0, 1}) {
        for (int level : {1, 6, 9}) {
            SCOPED_TRACE(testing::Message() << "method " << method << " level " << level);
            PackageArchive archive(path("source.pkg"));
            archive.setCompression(method);
            archive.addFile(path("big.bin"), "disk");
            archive.addData(big.right(300000), at(2), 0644, "mem2");
            archive.save(path("out.pkg"), level);
            const QByteArray file = readWholeFile(path("out.pkg"));
            const QByteArray body = decodeV2Body(file);
            EXPECT_EQ(body.right(1500000), big.mid(700000, 500000) + big.left(700000) + big.right(300000));
            EXPECT_EQ(file.mid(8), method == 0 ? zlibCompress(body, level) : bzip2Compress(body, level));
        }
    }
}

TEST_F(FormatTest, LevelsOutsideTheRangeAreClamped)
{
    PackageArchive archive;
    archive.setVersion(2);
    archive.addData(realData(200000), at(1), 0644, "data");
    for (auto [given, used] : {std::pair{-1, 7}, {-50, 7}, {12, 9}, {1000, 9}, {3, 3}}) {
        archive.save(path("l.pkg"), given);
        const QByteArray file = readWholeFile(path("l.pkg"));
        EXPECT_EQ(file.mid(8), zlibCompress(decodeV2Body(file), used)) << given;
    }
    // Level 0 is used as it stands: stored blocks, larger than the input.
    archive.save(path("l.pkg"), 0);
    const QByteArray stored = readWholeFile(path("l.pkg"));
    EXPECT_GT(stored.size(), 200000);
    EXPECT_EQ(decodeV2Body(stored).right(200000), realData(200000));
}

TEST_F(FormatTest, NamesAreLatin1OnDisk)
{
    const QString name = QStringLiteral("caf\u00e9/\u4e2d\u6587.txt");
    for (int version : {1, 2}) {
        PackageArchive archive;
        archive.setVersion(version);
        archive.addData("x", at(1), 0644, name);
        archive.save(path("n.pkg"));
        PackageArchive loaded(path("n.pkg"));
        ASSERT_EQ(loaded.files().size(), 1u);
        EXPECT_EQ(loaded.files()[0]->name(), QStringLiteral("caf\u00e9/??.txt")) << version;
    }
    const QByteArray body = zlibDecompress(readWholeFile(path("n.pkg")).mid(8));
    EXPECT_EQ(le16At(body, 20), 11u);
    EXPECT_EQ(body.mid(38, 11), QByteArray("caf\xe9/??.txt"));
}

TEST_F(FormatTest, NameLengthLimits)
{
    struct Case { int version; int length; bool fits; } cases[] = {
        {1, 1023, true}, {1, 1024, false}, {2, 65535, true}, {2, 65536, false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "version " << c.version << " length " << c.length);
        QFile::remove(path("long.pkg"));
        PackageArchive archive;
        archive.setVersion(c.version);
        archive.addData("ok", at(1), 0644, "first");
        archive.addData("x", at(1), 0644, QString(c.length, QLatin1Char('n')));
        EXPECT_EQ(thrownMessage([&] { archive.save(path("long.pkg")); }),
                  c.fits ? "<no exception>" : "filename too long");
        if (c.fits)
            EXPECT_EQ(PackageArchive(path("long.pkg")).files()[1]->name().size(), c.length);
        else // the file was created and partly written, and its stream finished
            EXPECT_FALSE(zlibDecompress(readWholeFile(path("long.pkg")).mid(c.version == 2 ? 8 : 12)).isEmpty());
    }
}

TEST_F(FormatTest, FormatWords)
{
    const QList<RawMember> one = {{"a", "abc", 0644, 9}};
    const QByteArray gz = zlibCompress(v2Body(one, 1), 9);
    struct Case { quint32 word; QByteArray compressedBody; const char *message; } cases[] = {
        {0x1002, bzip2Compress(v2Body(one, 1), 9), "<no exception>"}, {0x0002, gz, "<no exception>"},
        {0x2002, gz, "unsupported compression algorithm"}, {0xF002, gz, "unsupported compression algorithm"},
        {0x0003, gz, "unsupported package file format"}, {0x0000, gz, "unsupported package file format"},
        {0x0001, zlibCompress(legacyBody(one, 1), 9), "unsupported package file format"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.word);
        writeWholeFile(path("w.pkg"), v2Header(c.word) + c.compressedBody);
        PackageArchive archive;
        EXPECT_EQ(thrownMessage([&] { archive.load(path("w.pkg")); }), c.message);
        const bool read = std::string(c.message) == "<no exception>";
        EXPECT_EQ(archive.fileData("a"), QByteArray(read ? "abc" : ""));
        EXPECT_EQ(archive.files().size(), read ? 1u : 0u);
        if (read) {
            EXPECT_EQ(archive.compression(), int(c.word >> 12));
        }
    }
}

TEST_F(FormatTest, BareLegacyArchiveReadsLikeItsWrappedTwin)
{
    PackageArchive wrapped;
    fillThreeMembers(wrapped);
    wrapped.save(path("wrapped.pkg"));
    writeWholeFile(path("bare.pkg"), zlibDecompress(readWholeFile(path("wrapped.pkg")).mid(12)));

    PackageArchive a(path("wrapped.pkg"));
    PackageArchive b(path("bare.pkg"));
    EXPECT_EQ(b.version(), 1);
    ASSERT_EQ(a.files().size(), b.files().size());
    for (size_t i = 0; i < a.files().size(); ++i) {
        EXPECT_EQ(describe(a.files()[i].get()), describe(b.files()[i].get()));
        EXPECT_EQ(a.fileData(a.files()[i].get()), b.fileData(b.files()[i].get()));
    }
    // Hand-made too: a bare body this test lays out itself.
    writeWholeFile(path("hand.pkg"), legacyBody({{"one", "111", 0644, 11}, {"two", "22", 0444, 22}}, 2));
    PackageArchive hand(path("hand.pkg"));
    ASSERT_EQ(hand.files().size(), 2u);
    EXPECT_EQ(describe(hand.find("one")) + describe(hand.find("two")), "one 3 666 11 archivetwo 2 444 22 archive");
    EXPECT_EQ(hand.fileData("two") + hand.fileData("one"), QByteArray("22111"));
    EXPECT_TRUE(PackageArchive::isPackageFile(path("hand.pkg")));
}

TEST_F(FormatTest, ArchiveAtAnOffsetInsideAFile)
{
    PackageArchive v2;
    v2.setVersion(2);
    v2.addData("inside", at(3), 0644, "in");
    v2.save(path("v2.pkg"));
    PackageArchive v1;
    v1.addData("legacy", at(3), 0644, "in");
    v1.save(path("v1.pkg"));
    const QByteArray prefix(1000, 'P');
    for (const char *name : {"v2.pkg", "v1.pkg"}) {
        writeWholeFile(path("embedded"), prefix + readWholeFile(path(name)) + "trailing junk");
        ReadHookArchive archive;
        archive.load(path("embedded"), 1000);
        EXPECT_EQ(archive.positionSeen, 1000); // the hook sees the file positioned at the archive
        ASSERT_EQ(archive.files().size(), 1u) << name;
        EXPECT_EQ(archive.fileData("in"), QByteArray(name[1] == '2' ? "inside" : "legacy"));
    }
    // The archive is a QObject whose meta-object names it.
    ReadHookArchive archive;
    EXPECT_STREQ(archive.metaObject()->className(), "PackageArchive");
    EXPECT_EQ(qobject_cast<PackageArchive *>(static_cast<QObject *>(&archive)), &archive);
    // A bare legacy body is addressed by file positions: refused off offset 0.
    writeWholeFile(path("embedded"), prefix + legacyBody({{"a", "b", 0644, 1}}, 1));
    EXPECT_EQ(thrownMessage([&] { archive.load(path("embedded"), 1000); }),
              "unsupported package file format");
}

TEST_F(FormatTest, DamagedFilesGiveTheirMessages)
{
    const QList<RawMember> two = {{"first", "1111", 0644, 1}, {"second", "22", 0644, 2}};
    const QByteArray good = v2Body(two, 2);
    const int firstRecordEnd = 20 + 18 + 5;
    const QByteArray gzGood = zlibCompress(good, 6);
    const QByteArray legacyGood = legacyBody(two, 2);
    // headerLooksValid: what isPackageFile, which reads only the header, answers.
    struct Case { const char *what; QByteArray file; std::string message; bool headerLooksValid; } cases[] = {
        {"empty file", QByteArray(), "unsupported package file format", false},
        {"seven bytes", v2Header(2).left(7), "unsupported package file format", false},
        {"foreign magic", QByteArray("PK\x03\x04 not a package at all"), "unsupported package file format", false},
        {"v2 body shorter than its header", v2Header(2) + zlibCompress(good.left(19), 6), "bad header", true},
        {"v2 record cut", v2Header(2) + zlibCompress(good.left(firstRecordEnd + 10), 6), "bad table of contents", true},
        {"v2 name cut", v2Header(2) + zlibCompress(good.left(firstRecordEnd + 18 + 3), 6),
         "bad table of contents", true},
        {"v2 four billion members",
         v2Header(2) + zlibCompress(QByteArray("\xff\xff\xff\xff", 4) + good.mid(4), 6), "bad table of contents", true},
        {"v2 bzip2 record cut", v2Header(0x1002) + bzip2Compress(good.left(firstRecordEnd + 10), 9),
         "error reading from compressed stream", true},
        {"v2 zlib stream cut", v2Header(2) + gzGood.left(6), "error reading stream", true},
        {"wrapped, body under 8 bytes", wrapperHeader() + zlibCompress(legacyGood.left(5), 6),
         "unsupported package file format", false},
        {"wrapped, no legacy magic", wrapperHeader() + zlibCompress(good, 6), "unsupported package file format", false},
        {"wrapped, four billion members",
         wrapperHeader() + zlibCompress(legacyGood.left(4) + "\xff\xff\xff\xff" + legacyGood.mid(8), 6),
         "bad table of contents", true},
        {"wrapped, record cut", wrapperHeader() + zlibCompress(legacyGood.left(8 + 1040 + 500), 6),
         "bad table of contents", true},
        {"wrapped, header only", wrapperHeader(), "error reading stream", false},
        {"bare, four billion members", legacyGood.left(4) + "\xff\xff\xff\xff" + legacyGood.mid(8),
         "bad table of contents", true},
        {"bare, record cut", legacyGood.left(8 + 1040 + 1000), "bad table of contents", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        writeWholeFile(path("bad.pkg"), c.file);
        PackageArchive archive;
        archive.setVersion(2);
        archive.addData("stale", QDateTime(), 0, "stale");
        EXPECT_EQ(thrownMessage([&] { archive.load(path("bad.pkg")); }), c.message);
        EXPECT_TRUE(archive.files().empty()); // load clears before and on failure
        EXPECT_EQ(PackageArchive::isPackageFile(path("bad.pkg")), c.headerLooksValid);
    }
    PackageArchive archive;
    EXPECT_EQ(thrownMessage([&] { archive.load(path("missing.pkg")); }),
              QFile::encodeName(path("missing.pkg")).toStdString() + " does not exist");
    EXPECT_FALSE(PackageArchive::isPackageFile(path("missing.pkg")));
}

TEST_F(FormatTest, MemberDataBeyondTheBody)
{
    // Sizes and offsets are taken as stored; a member that claims more than
    // the body holds fails when fetched, without its size being allocated.
    QByteArray body = v2Body({{"small", "abc", 0644, 1}, {"huge", "", 0644, 2}}, 2);
    const int hugeRecord = 20 + 18 + 5;
    body.replace(hugeRecord + 6, 4, QByteArray("\xf0\xff\xff\xff", 4)); // size
    QByteArray farBody = body;
    farBody.replace(hugeRecord + 2, 4, QByteArray("\x00\x00\x00\x70", 4)); // offset
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
            QDir(dir()).mkdir("out");
            EXPECT_EQ(thrownMessage([&] { archive.extractFileTo(huge, path("out"), false); }), expected);
            QDir(path("out")).removeRecursively();
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
    PackageSaveOptions options;
    options.exclusive = true;
    options.sync = true;
    archive.save(path("new.pkg"), 7, options);
    EXPECT_EQ(PackageArchive(path("new.pkg")).fileData("x"), QByteArray("x"));

    EXPECT_EQ(thrownMessage([&] { archive.save(path("new.pkg"), 7, options); }), "cannot open output file");
    ASSERT_EQ(symlink(QFile::encodeName(path("target")).constData(), QFile::encodeName(path("link")).constData()), 0);
    EXPECT_EQ(thrownMessage([&] { archive.save(path("link"), 7, options); }), "cannot open output file");
    EXPECT_FALSE(QFile::exists(path("target"))); // nothing written through the link
}

TEST_F(FormatTest, SortedIndexKeepsFindRight)
{
    PackageArchive archive;
    archive.setVersion(2);
    for (const char *name : {"m", "b", "z", "a/b", "B"})
        archive.addData(name, at(1), 0644, QLatin1String(name));
    archive.save(path("idx.pkg"));

    PackageArchive loaded;
    loaded.load(path("idx.pkg"), 0, 1);
    for (const char *name : {"m", "b", "z", "a/b", "B"})
        EXPECT_EQ(loaded.fileData(QLatin1String(name)), QByteArray(name)) << name;
    EXPECT_TRUE(!loaded.find("A/b") && !loaded.find("c"));
    loaded.addData("new", at(1), 0644, "c");
    EXPECT_EQ(loaded.fileData("c"), QByteArray("new"));
    EXPECT_TRUE(loaded.remove("b"));
    EXPECT_TRUE(!loaded.find("b") && loaded.find("B"));
}

} // namespace
