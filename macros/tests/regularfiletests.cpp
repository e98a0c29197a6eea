// Reading files that must be regular files: what is read, and what is refused
// without being waited on.
#include "macros/regularfile.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

namespace {

class RegularFile : public ::testing::Test {
protected:
    QByteArray path(const char *name) const { return QFile::encodeName(dir.path()) + '/' + name; }
    void write(const char *name, const QByteArray &bytes) const
    {
        QFile file(QString::fromLocal8Bit(path(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }
    QTemporaryDir dir;
};

TEST_F(RegularFile, ReadsTheWholeFileThroughLinks)
{
    // Longer than one read, with a NUL byte inside.
    QByteArray bytes(200000, 'x');
    bytes[7] = '\0';
    write("big.xml", bytes);
    write("empty.xml", QByteArray());
    ASSERT_EQ(::symlink(path("big.xml").constData(), path("link.xml").constData()), 0);
    EXPECT_EQ(readRegularFile(path("big.xml")), bytes);
    EXPECT_EQ(readRegularFile(path("link.xml")), bytes);
    EXPECT_EQ(readRegularFile(path("empty.xml")), QByteArray());
    EXPECT_TRUE(isReadableRegularFile(path("link.xml")));
}

TEST_F(RegularFile, ReadsOnlyTheStartWhenLimited)
{
    write("a.xml", "<!DOCTYPE x>");
    EXPECT_EQ(readRegularFile(path("a.xml"), 5), QByteArray("<!DOC"));
    EXPECT_EQ(readRegularFile(path("a.xml"), 0), QByteArray());
    EXPECT_EQ(readRegularFile(path("a.xml"), 100), QByteArray("<!DOCTYPE x>"));
}

// A FIFO without a writer would block a plain open for ever, and /dev/zero
// would be read until memory runs out.
TEST_F(RegularFile, RefusesWhatIsNotARegularFile)
{
    ASSERT_EQ(::mkfifo(path("fifo").constData(), 0644), 0);
    ASSERT_EQ(::mkdir(path("dir").constData(), 0755), 0);
    ASSERT_EQ(::symlink(path("fifo").constData(), path("to-fifo").constData()), 0);
    ASSERT_EQ(::symlink("/dev/zero", path("to-zero").constData()), 0);
    const QByteArray refused[] = {
        path("missing"),
        path("fifo"),
        path("to-fifo"),
        path("dir"),
        path("to-zero"),
    };
    for (const QByteArray &name : refused) {
        EXPECT_FALSE(readRegularFile(name).has_value()) << name.constData();
        EXPECT_FALSE(isReadableRegularFile(name)) << name.constData();
    }
}

} // namespace
