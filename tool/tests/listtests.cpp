// -t through the real binary: exact listing lines, dates in and out of the
// current year, permission text, wildcards and the summary line.
#include "tool/tests/testsupport.h"

#include <QtEndian>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

QByteArray listing(const QList<Member> &members, const QList<QByteArray> &arguments = {},
                   const ToolRunOptions &options = {})
{
    ToolSandbox sandbox;
    writePackage(sandbox.filePath("p.lxPackage"), members);
    const ToolRun run = sandbox.run(QList<QByteArray>{"-t", "p.lxPackage"} + arguments, options);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, QByteArray());
    return run.out;
}

TEST(ListCommand, LinesDatesAndSummary)
{
    const int year = currentUtcYear();
    const QList<Member> members = {
        {"b.h", "12345", 0100644, quint32(utcTime(year, 3, 7, 14, 5, 59))},
        {"inc/a.h", "", 0, quint32(utcTime(1999, 12, 31, 23, 59))},
        {"tools/run", QByteArray(1000, 'x'), 0100755, quint32(utcTime(2100, 1, 2))},
        {"first", "", 0600, quint32(utcTime(year, 1, 1, 0, 0, 0))},
        {"last", "", 0600, quint32(utcTime(year, 12, 31, 23, 59, 59))},
        {"before", "", 0600, quint32(utcTime(year - 1, 12, 31, 23, 59, 59))},
        {"after", "", 0600, quint32(utcTime(year + 1, 1, 1))},
        {"caf\xe9 %s", "a", 0644, quint32(utcTime(2002, 2, 2))},
        // Each permission bit once, in a different place; type and set-id bits never show.
        {"m1", "", 0421, 581848200},
        {"m2", "", 0142, 581848200},
        {"m3", "", 0214, 581848200},
        {"m4", "", 040755, 581848200},
        {"m6", "", 07000, 581848200},
    };
    EXPECT_EQ(listing(members), "-rw-r--r--         5  Mar  7 14:05  b.h\n"
                                "----------         0  Dec 31  1999  inc/a.h\n"
                                "-rwxr-xr-x      1000  Jan  2  2100  tools/run\n"
                                "-rw-------         0  Jan  1 00:00  first\n"
                                "-rw-------         0  Dec 31 23:59  last\n"
                                "-rw-------         0  Dec 31  " + QByteArray::number(year - 1) + "  before\n"
                                "-rw-------         0  Jan  1  " + QByteArray::number(year + 1) + "  after\n"
                                "-rw-r--r--         1  Feb  2  2002  caf\xe9 %s\n"
                                "-r---w---x         0  Jun  9  1988  m1\n"
                                "---xr---w-         0  Jun  9  1988  m2\n"
                                "--w---xr--         0  Jun  9  1988  m3\n"
                                "-rwxr-xr-x         0  Jun  9  1988  m4\n"
                                "----------         0  Jun  9  1988  m6\n"
                                "13 Files, 1006 Bytes\n");
    // A fixed zone two hours east, spelled so no zone database is needed.
    ToolRunOptions east;
    east.environment = {{"TZ", "XYZ-2"}};
    EXPECT_EQ(listing(members, {"inc/a.h"}, east), "----------         0  Jan  1  2000  inc/a.h\n1 Files, 0 Bytes\n");
    EXPECT_EQ(listing({}), "0 Files, 0 Bytes\n");
}

// Only the first argument is the wildcard, and its bytes match the names'
// bytes; how patterns match is the archive's own test.
TEST(ListCommand, Wildcards)
{
    const QList<Member> members = {
        {"b.h", "1"},
        {"inc/a.h", "22"},
        {"caf\xe9", "4444"},
    };
    EXPECT_EQ(listing(members, {"b.h", "inc/a.h", "*"}), "-rw-r--r--         1  Jan  1  1970  b.h\n1 Files, 1 Bytes\n");
    EXPECT_EQ(listing(members, {"caf\xe9*"}), "-rw-r--r--         4  Jan  1  1970  caf\xe9\n1 Files, 4 Bytes\n");
}

// Sizes come from the table of contents only: a bare legacy table (no data)
// can claim sizes past 32 bits, and the total wraps as a signed sum.
TEST(ListCommand, ByteSumIsASigned32BitTotal)
{
    const auto word = [](quint32 value) {
        value = qToLittleEndian(value);
        return QByteArray(reinterpret_cast<const char *>(&value), 4);
    };
    const std::pair<QList<quint32>, QByteArray> cases[] = {
        {{3000000000u}, "1 Files, -1294967296 Bytes\n"},
        {{0x7FFFFFFFu, 1}, "2 Files, -2147483648 Bytes\n"},
    };
    for (const auto &c : cases) {
        ToolSandbox sandbox;
        QByteArray body = word(0x4152C3C8) + word(c.first.size());
        quint32 offset = 8 + 1040 * c.first.size();
        for (int i = 0; i < c.first.size(); ++i) {
            body += ("n" + QByteArray::number(i)).leftJustified(1024, '\0', true);
            body += word(offset) + word(c.first[i]) + word(i % 2) + word(915148800u);
            offset += c.first[i];
        }
        sandbox.writeFile("big.lxPackage", body);
        const ToolRun run = sandbox.run({"-t", "big.lxPackage"});
        ASSERT_EQ(run.status, 0) << run.err.constData();
        const QList<QByteArray> lines = run.out.split('\n');
        ASSERT_EQ(lines.size(), c.first.size() + 2);
        EXPECT_EQ(lines[0], "-rw-rw-rw-  " + QByteArray::number(c.first[0]).rightJustified(8) + "  Jan  1  1999  n0");
        EXPECT_TRUE(run.out.endsWith(c.second)) << run.out.constData();
    }
}

// A locale whose only real category is LC_TIME, with month abbreviations made
// to be cut: at most five bytes, never a split UTF-8 sequence.
TEST(ListCommand, LocalisedMonthNamesAreCutToFiveBytes)
{
    ToolSandbox sandbox;
    sandbox.writeFile("months.def", R"(comment_char %
escape_char /
LC_CTYPE
copy "POSIX"
END LC_CTYPE
LC_TIME
abday "Sun";"Mon";"Tue";"Wed";"Thu";"Fri";"Sat"
day "d1";"d2";"d3";"d4";"d5";"d6";"d7"
abmon "<U044F><U043D><U0432>";"f<U00E9>vr.";"abcdef";"<U00E9>abcd";"ab<U00E9>cd";"abc<U00E9>d";/
      "abcd<U00E9>";"<U20AC>xyz";"x<U20AC>yz";"xyz<U20AC>";"a";"dec"
mon "m1";"m2";"m3";"m4";"m5";"m6";"m7";"m8";"m9";"m10";"m11";"m12"
am_pm "AM";"PM"
d_t_fmt "%a %b %e %H:%M:%S %Y"
d_fmt "%m/%d/%y"
t_fmt "%H:%M:%S"
t_fmt_ampm "%I:%M:%S %p"
END LC_TIME
)");
    sandbox.makeDirectory("loc");
    // localedef complains about the empty categories; the LC_TIME file is what counts.
    std::system(("localedef -c -i '" + sandbox.full("months.def") + "' -f UTF-8 '" +
                 sandbox.full("loc/cut.UTF-8") + "' >/dev/null 2>&1").constData());
    if (!sandbox.exists("loc/cut.UTF-8/LC_TIME"))
        GTEST_SKIP() << "localedef cannot build a test locale here";
    const char *cut[] = {
        "\xd1\x8f\xd0\xbd",
        "f\xc3\xa9vr",
        "abcde",
        "\xc3\xa9" "abc",
        "ab\xc3\xa9" "c",
        "abc\xc3\xa9",
        "abcd",
        "\xe2\x82\xac" "xy",
        "x\xe2\x82\xacy",
        "xyz",
        "a",
        "dec",
    };
    QList<Member> members;
    QByteArray expected;
    for (int month = 1; month <= 12; ++month) {
        members.append({"f" + QByteArray::number(month), "", 0644, quint32(utcTime(1995, month, 15, 8, 30))});
        expected += QByteArray("-rw-r--r--         0  ") + cut[month - 1] + " 15  1995  f" +
                    QByteArray::number(month) + "\n";
    }
    ToolRunOptions options;
    options.environment = {{"LOCPATH", sandbox.full("loc")}, {"LC_ALL", "cut.UTF-8"}};
    EXPECT_EQ(listing(members, {}, options), expected + "12 Files, 0 Bytes\n");
}

} // namespace
