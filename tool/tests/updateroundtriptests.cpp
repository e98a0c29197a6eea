// A real tree of a few hundred files through -c and -x: every file comes
// back byte for byte with its time, and with its mode where the format keeps
// one. Names with blanks and bytes that are not UTF-8 included.
#include "tool/tests/testsupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

/// Every regular file below `root`: its mode, time and bytes. The legacy
/// form keeps only "read-only or not".
QMap<QByteArray, QByteArray> collectFiles(const QByteArray &root, bool legacy = false)
{
    QMap<QByteArray, QByteArray> files;
    const QMap<QByteArray, QByteArray> snapshot = directorySnapshot(root);
    for (auto it = snapshot.constBegin(); it != snapshot.constEnd(); ++it) {
        const QByteArray full = root + '/' + it.key();
        const mode_t mode = fileMode(full);
        if (!S_ISDIR(mode))
            files.insert(it.key(), QByteArray::number(!legacy ? mode : mode & 0222 ? 0100666 : 0100444, 8) + " " +
                                       QByteArray::number(qint64(fileTime(full))) + " " + it.value());
    }
    return files;
}

TEST(RoundTripTest, CreateThenExtractGivesTheTreeBack)
{
    ToolSandbox sandbox;
    const mode_t modes[] = {0644, 0755, 0600, 0444, 0640, 0555};
    const time_t times[] = {utcTime(1985, 7, 1, 12), utcTime(2001, 2, 3, 4, 5, 6),
                            utcTime(currentUtcYear(), 1, 1, 0, 0, 1), utcTime(2037, 12, 31, 23, 59, 59)};
    int index = 0;
    const auto add = [&](const QByteArray &path, const QByteArray &bytes) {
        sandbox.writeFile(QString::fromLatin1("tree/" + path), bytes, modes[index % 6], times[index % 4]);
        ++index;
    };
    for (int top = 0; top < 6; ++top) {
        for (int sub = 0; sub < 4; ++sub) {
            for (int n = 0; n < 12; ++n) { // incompressible, text, or empty
                const QByteArray bytes = n % 4 == 1 ? incompressibleBytes(n * 397 + top * 31 + sub, quint32(n + 1))
                                         : n % 4 == 2 ? QByteArray("line of text ").repeated(n + top + sub)
                                                      : QByteArray();
                add("d" + QByteArray::number(top) + "/s" + QByteArray::number(sub) + "/f" + QByteArray::number(n) +
                        (n % 3 ? ".c" : ".h"), bytes);
            }
        }
    }
    add("name with blanks.txt", "blanks");
    add("d1/ sub with  blanks /x y.c", "more blanks");
    add("latin1/caf\xe9 cr\xe8me.h", "latin-1 name");
    add("latin1/bad\xff\xfe utf8.bin", incompressibleBytes(4096, 99));
    add("utf8/gr\xc3\xbc\xc3\x9f" "e.c", "utf-8 name");
    add("big/multi megabyte.bin", incompressibleBytes(1 << 20, 1234) + QByteArray("compressible tail ").repeated(100000));
    ASSERT_GT(collectFiles(sandbox.full("tree")).size(), 290);

    for (const QList<QByteArray> &options : {QList<QByteArray>{}, {"-format", "2"}, {"-bzip2"}}) {
        SCOPED_TRACE(options.join(' ').constData());
        const QByteArray out = "out" + options.value(0);
        const ToolRun created = sandbox.run(QList<QByteArray>{"-c"} + options + QList<QByteArray>{"p.lxPackage", "tree"});
        ASSERT_EQ(created.status, 0) << created.err.constData();
        const ToolRun extracted = sandbox.run({"-x", "p.lxPackage", out});
        ASSERT_EQ(extracted.status, 0) << extracted.err.constData();
        const QMap<QByteArray, QByteArray> expected = collectFiles(sandbox.full("tree"), options.isEmpty());
        const QMap<QByteArray, QByteArray> copy = collectFiles(sandbox.full(out + "/tree"));
        EXPECT_EQ(copy.keys(), expected.keys());
        for (const QByteArray &name : expected.keys())
            EXPECT_TRUE(copy.value(name) == expected.value(name)) << name.constData();
    }
}

} // namespace
