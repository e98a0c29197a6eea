// A real tree of a few hundred files through -c and -x: every file comes
// back byte for byte with its time, and with its mode where the format keeps
// one. Names with blanks and bytes that are not UTF-8 included.
#include "tool/tests/testsupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

struct DiskFile {
    QByteArray bytes;
    mode_t mode;
    time_t time;
};

/// Every regular file below `root`, by its path relative to `root`.
QMap<QByteArray, DiskFile> collectFiles(const QByteArray &root)
{
    QMap<QByteArray, DiskFile> files;
    const QMap<QByteArray, QByteArray> snapshot = directorySnapshot(root);
    for (auto it = snapshot.constBegin(); it != snapshot.constEnd(); ++it) {
        const QByteArray full = root + '/' + it.key();
        if (!S_ISDIR(fileMode(full)))
            files.insert(it.key(), {it.value(), fileMode(full), fileTime(full)});
    }
    return files;
}

class RoundTripTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const mode_t modes[] = {0644, 0755, 0600, 0444, 0640, 0555};
        const time_t times[] = {utcTime(1985, 7, 1, 12, 0, 0), utcTime(2001, 2, 3, 4, 5, 6),
                                utcTime(currentUtcYear(), 1, 1, 0, 0, 1), utcTime(2037, 12, 31, 23, 59, 59)};
        int index = 0;
        auto add = [&](const QByteArray &path, const QByteArray &bytes) {
            sandbox.writeFile(QString::fromLatin1("tree/" + path), bytes, modes[index % 6], times[index % 4]);
            ++index;
        };
        for (int top = 0; top < 6; ++top) {
            for (int sub = 0; sub < 4; ++sub) {
                const QByteArray directory = "d" + QByteArray::number(top) + "/s" + QByteArray::number(sub);
                for (int n = 0; n < 12; ++n) {
                    const QByteArray number = QByteArray::number(n);
                    QByteArray bytes;
                    if (n % 4 == 1)
                        bytes = incompressibleBytes(n * 397 + top * 31 + sub, quint32(n + 1));
                    else if (n % 4 == 2)
                        bytes = QByteArray("line of text ").repeated(n + top + sub) + number;
                    // n % 4 == 0 and 3: empty files
                    add(directory + "/f" + number + (n % 3 ? ".c" : ".h"), bytes);
                }
            }
        }
        add("name with blanks.txt", "blanks");
        add("d1/ sub with  blanks /x y.c", "more blanks");
        add("latin1/caf\xe9 cr\xe8me.h", "latin-1 name");
        add("latin1/bad\xff\xfe utf8.bin", incompressibleBytes(4096, 99));
        add("utf8/gr\xc3\xbc\xc3\x9f" "e.c", "utf-8 name");
        QByteArray big = incompressibleBytes(1 << 20, 1234);
        big += QByteArray("compressible tail ").repeated(100000);
        add("big/multi megabyte.bin", big);
        original = collectFiles(sandbox.full("tree"));
        ASSERT_GT(original.size(), 290);
    }

    ToolSandbox sandbox;
    QMap<QByteArray, DiskFile> original;
};

TEST_F(RoundTripTest, CreateThenExtractGivesTheTreeBack)
{
    const struct {
        const char *label;
        QList<QByteArray> options;
        bool keepsMode;
    } forms[] = {
        {"version 1", {}, false},
        {"version 2 zlib", {"-format", "2"}, true},
        {"version 2 bzip2", {"-bzip2"}, true},
    };
    for (const auto &form : forms) {
        SCOPED_TRACE(form.label);
        const QByteArray out = "out-" + QByteArray::number(form.options.size()) + form.options.value(0);
        const ToolRun created = sandbox.run(QList<QByteArray>{"-c"} + form.options + QList<QByteArray>{"pkg.lxPackage", "tree"});
        ASSERT_EQ(created.status, 0) << created.err.constData();
        const ToolRun extracted = sandbox.run({"-x", "pkg.lxPackage", out});
        ASSERT_EQ(extracted.status, 0) << extracted.err.constData();

        const QMap<QByteArray, DiskFile> copy = collectFiles(sandbox.full(out + "/tree"));
        EXPECT_EQ(copy.keys(), original.keys());
        for (auto it = original.constBegin(); it != original.constEnd(); ++it) {
            SCOPED_TRACE(it.key().constData());
            const DiskFile back = copy.value(it.key());
            EXPECT_EQ(back.bytes, it->bytes);
            EXPECT_EQ(back.time, it->time);
            // The legacy form keeps only "read-only or not".
            const mode_t expected = form.keepsMode ? it->mode
                                    : (it->mode & 0222) ? (S_IFREG | 0666)
                                                        : (S_IFREG | 0444);
            EXPECT_EQ(back.mode, expected);
        }
    }
}

} // namespace
