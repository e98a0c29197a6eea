// Members written whole or not at all: to a sink and to files, for members
// held in memory and for larger ones, on zlib and bzip2 bodies.
#include "package/packagememberwriter.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>

namespace {

constexpr int Small = 100000;
constexpr int Large = int(PackageMemberWriter::WholeMemberBound) + 300000;

class MemberWriterTest : public TempDirTest {
protected:
    const QByteArray data = realData(Large);
    // Over one bzip2 block, so that a cut in "member" leaves the table readable.
    const QByteArray before = data.right(1 << 20);

    /// A version-2 package of `method` holding "before" and "member" (`size`
    /// bytes), its body cut `cut` bytes short (0: whole).
    QString package(int method, int size, int cut)
    {
        const QByteArray body = v2Body({{"before", before, 0644, 1}, {"member", data.left(size), 0100640, 77}}, 2);
        QByteArray stream = method ? bzip2Compress(body, 9) : zlibCompress(body, 6);
        stream.chop(cut);
        const QString name = path(QStringLiteral("p%1-%2-%3.pkg").arg(method).arg(size).arg(cut));
        writeWholeFile(name, v2Header(quint32(method) << 12 | 2) + stream);
        return name;
    }

    /// The member's bytes through writeTo(), each chunk within bounds.
    QByteArray written(PackageMemberWriter &writer, PackageArchiveFile *member)
    {
        QByteArray out;
        writer.writeTo(member, [&out](const char *bytes, int length) {
            EXPECT_GT(length, 0);
            EXPECT_LE(length, int(PackageMemberWriter::WholeMemberBound));
            out.append(bytes, length);
        });
        return out;
    }

    QStringList entries(const QString &directory) const
    {
        return QDir(directory).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
};

// Every size and codec comes through whole: large zlib members by a second
// decoding from a checkpoint, large bzip2 members through the spool file,
// which is gone afterwards.
TEST_F(MemberWriterTest, SinkGetsEveryByte)
{
    QDir().mkdir(path("spool"));
    for (int method : {0, 1}) {
        for (int size : {0, Small, Large}) {
            SCOPED_TRACE(testing::Message() << "method " << method << " size " << size);
            PackageArchive archive(package(method, size, 0));
            PackageMemberWriter writer(archive, path("spool"));
            EXPECT_EQ(written(writer, archive.find("member")), data.left(size));
            // Backwards in the body afterwards: a restart, with the same bytes.
            EXPECT_EQ(written(writer, archive.find("before")), before);
            EXPECT_EQ(entries(path("spool")), QStringList());
        }
    }
}

TEST_F(MemberWriterTest, DamagedMemberWritesNothing)
{
    const std::tuple<int, int, std::string> cases[] = {
        {0, Small, "error reading stream"},
        {0, Large, "error reading stream"},
        {1, Small, "error reading from compressed stream"},
        {1, Large, "error reading from compressed stream"},
    };
    QDir().mkdir(path("spool"));
    for (const auto &[method, size, message] : cases) {
        SCOPED_TRACE(testing::Message() << "method " << method << " size " << size);
        PackageArchive archive(package(method, size, 5000));
        PackageMemberWriter writer(archive, path("spool"));
        int chunks = 0;
        EXPECT_EQ(thrownMessage([&] { writer.writeTo(archive.find("member"), [&](const char *, int) { ++chunks; }); }),
                  message);
        EXPECT_EQ(chunks, 0);
        EXPECT_EQ(entries(path("spool")), QStringList());
    }
}

TEST_F(MemberWriterTest, SpoolDirectoryThatCannotHoldTheMember)
{
    PackageArchive archive(package(1, Large, 0));
    PackageMemberWriter writer(archive, path("missing"));
    EXPECT_EQ(thrownMessage([&] { written(writer, archive.find("member")); }),
              "cannot create temporary file in " + pathBytes(path("missing")).toStdString());
}

// A member that fails leaves no file, and an old file it was to replace
// stays as it was; no temporary file is left beside it.
TEST_F(MemberWriterTest, DamagedMemberLeavesNoFile)
{
    for (int method : {0, 1}) {
        for (int size : {Small, Large}) {
            SCOPED_TRACE(testing::Message() << "method " << method << " size " << size);
            const QString out = path(QStringLiteral("out%1-%2").arg(method).arg(size));
            PackageArchive archive(package(method, size, 5000));
            PackageMemberWriter writer(archive);
            EXPECT_NE(thrownMessage([&] { writer.extractFileTo(archive.find("member"), out, false); }),
                      "<no exception>");
            EXPECT_FALSE(QFile::exists(out + "/member"));
            QDir().mkpath(out);
            writeWholeFile(out + "/member", "old");
            EXPECT_NE(thrownMessage([&] { writer.extractFileTo(archive.find("member"), out, true); }),
                      "<no exception>");
            EXPECT_EQ(readWholeFile(out + "/member"), QByteArray("old"));
            EXPECT_EQ(entries(out), QStringList{"member"});
        }
    }
}

// Large members go through a temporary file beside the target: the result,
// its time and mode are the same, and whatever stood at the target decides
// as it does for small ones.
TEST_F(MemberWriterTest, LargeMemberExtraction)
{
    PackageArchive archive(package(0, Large, 0));
    PackageArchiveFile *member = archive.find("member");
    PackageMemberWriter writer(archive);
    writer.extractFileTo(member, path("out"), false);
    EXPECT_EQ(readWholeFile(path("out/member")), data.left(Large));
    struct stat st;
    ASSERT_EQ(stat(pathBytes(path("out/member")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode, mode_t(0100640));
    EXPECT_EQ(st.st_mtime, 77);
    EXPECT_EQ(thrownMessage([&] { writer.extractFileTo(member, path("out"), false); }),
              "cannot overwrite file " + pathBytes(path("out/member")).toStdString());
    writeWholeFile(path("out/member"), "old");
    writer.extractFileTo(member, path("out"), true);
    EXPECT_EQ(readWholeFile(path("out/member")), data.left(Large));
    // A directory at the target cannot be replaced by the finished file.
    QDir().mkpath(path("dir/member/inside"));
    EXPECT_EQ(thrownMessage([&] { writer.extractFileTo(member, path("dir"), true); }),
              "cannot create output file " + pathBytes(path("dir/member")).toStdString());
    EXPECT_EQ(entries(path("dir")), QStringList{"member"});
    EXPECT_EQ(entries(path("out")), QStringList{"member"});
}

} // namespace
