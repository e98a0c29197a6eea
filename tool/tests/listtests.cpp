// -t through the real binary: exact listing lines, dates in and out of the
// current year, permission text, wildcards and the summary line.
#include "tool/tests/testpackages.h"
#include "tool/tests/testsupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

QString latin1(const char *bytes)
{
    return QString::fromLatin1(bytes);
}

class ListCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        year = currentUtcYear();
        writeTestPackage(sandbox.filePath("p.lxPackage"),
                         {
                             {latin1("b.h"), "12345", 0100644, utcTime(year, 3, 7, 14, 5, 59)},
                             {latin1("inc/a.h"), "", 0, utcTime(1999, 12, 31, 23, 59)},
                             {latin1("tools/run"), QByteArray(1000, 'x'), 0100755, utcTime(2100, 1, 2)},
                             {latin1("src/m.c"), "int x;\n", 0100600, utcTime(year, 11, 30, 0, 0)},
                         });
    }

    ToolSandbox sandbox;
    int year = 0;
};

TEST_F(ListCommand, ListsEveryMemberInArchiveOrderWithSummary)
{
    const ToolRun run = sandbox.run({"-t", "p.lxPackage"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, QByteArray());
    EXPECT_EQ(run.out, "-rw-r--r--         5  Mar  7 14:05  b.h\n"
                       "----------         0  Dec 31  1999  inc/a.h\n"
                       "-rwxr-xr-x      1000  Jan  2  2100  tools/run\n"
                       "-rw-------         7  Nov 30 00:00  src/m.c\n"
                       "4 Files, 1012 Bytes\n");
}

struct WildcardCase {
    const char *label;
    QList<QByteArray> extraArguments;
    QList<QByteArray> names;
};

class ListWildcard : public ListCommand, public ::testing::WithParamInterface<WildcardCase> {};

// The whole name must match; "*" crosses "/"; case matters; only the first
// argument is the wildcard.
TEST_P(ListWildcard, ListsOnlyMatchingMembers)
{
    QList<QByteArray> arguments = {"-t", "p.lxPackage"};
    arguments.append(GetParam().extraArguments);
    const ToolRun run = sandbox.run(arguments);
    ASSERT_EQ(run.status, 0) << run.err.constData();
    QList<QByteArray> lines = run.out.split('\n');
    ASSERT_GE(lines.size(), 2);
    ASSERT_EQ(lines.takeLast(), QByteArray());
    const QByteArray summary = lines.takeLast();
    QList<QByteArray> names;
    for (const QByteArray &line : lines)
        names.append(line.mid(line.lastIndexOf("  ") + 2));
    EXPECT_EQ(names, GetParam().names);
    EXPECT_TRUE(summary.startsWith(QByteArray::number(GetParam().names.size()) + " Files, "))
        << summary.constData();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ListWildcard,
    ::testing::Values(WildcardCase{"StarSuffixCrossesSlash", {"*.h"}, {"b.h", "inc/a.h"}},
                      WildcardCase{"CaseSensitive", {"B.H"}, {}},
                      WildcardCase{"WholeNameOnly", {"a.h"}, {}},
                      WildcardCase{"Question", {"?.h"}, {"b.h"}},
                      WildcardCase{"Set", {"[ab].h"}, {"b.h"}},
                      WildcardCase{"Directory", {"inc/*"}, {"inc/a.h"}},
                      WildcardCase{"Exact", {"src/m.c"}, {"src/m.c"}},
                      WildcardCase{"FurtherArgumentsIgnored", {"b.h", "inc/a.h", "*"}, {"b.h"}},
                      WildcardCase{"Everything", {"*"}, {"b.h", "inc/a.h", "tools/run", "src/m.c"}}),
    [](const ::testing::TestParamInfo<WildcardCase> &info) { return std::string(info.param.label); });

TEST_F(ListCommand, WildcardMatchingNothingPrintsOnlyTheSummary)
{
    const ToolRun run = sandbox.run({"-t", "p.lxPackage", "*.cpp"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "0 Files, 0 Bytes\n");
}

TEST_F(ListCommand, FailingStandardOutputIsAnError)
{
    ToolRunOptions options;
    options.standardOutputPath = "/dev/full";
    const ToolRun run = sandbox.run({"-t", "p.lxPackage"}, options);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "error: cannot write to standard output\n");
}

TEST_F(ListCommand, TimesAreShownInLocalTime)
{
    // A fixed zone two hours east of UTC, spelled so no zone database is needed.
    ToolRunOptions options;
    options.environment.append(qMakePair(QByteArray("TZ"), QByteArray("XYZ-2")));
    const ToolRun run = sandbox.run({"-t", "p.lxPackage", "inc/a.h"}, options);
    EXPECT_EQ(run.status, 0);
    // 1999-12-31 23:59 UTC is already 2000 there.
    EXPECT_EQ(run.out, "----------         0  Jan  1  2000  inc/a.h\n1 Files, 0 Bytes\n");
}

TEST(ListCommandAlone, EmptyPackageListsOnlyTheSummary)
{
    for (TestFormat format : {TestFormat::Version1, TestFormat::Version2Zlib, TestFormat::Version2Bzip2}) {
        ToolSandbox sandbox;
        writeTestPackage(sandbox.filePath("empty.lxPackage"), {}, format);
        const ToolRun run = sandbox.run({"-t", "empty.lxPackage"});
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, "0 Files, 0 Bytes\n");
        EXPECT_EQ(run.err, QByteArray());
    }
}

struct ModeCase {
    quint32 mode;
    const char *text;
};

// Every permission bit has its own letter; file type bits never show.
TEST(ListCommandAlone, PermissionTextFollowsEachModeBit)
{
    const ModeCase cases[] = {
        {0100644, "-rw-r--r--"}, {0, "----------"},         {0777, "-rwxrwxrwx"},
        {0400, "-r--------"},    {0200, "--w-------"},      {0100, "---x------"},
        {040, "----r-----"},     {020, "-----w----"},       {010, "------x---"},
        {04, "-------r--"},      {02, "--------w-"},        {01, "---------x"},
        {040755, "-rwxr-xr-x"},  {0120777, "-rwxrwxrwx"},   {07000, "----------"},
    };
    ToolSandbox sandbox;
    QList<TestMember> members;
    QByteArray expected;
    int index = 0;
    for (const ModeCase &c : cases) {
        const QString name = QStringLiteral("m%1").arg(index++);
        members.append({name, "", c.mode, utcTime(2001, 6, 15, 12, 0)});
        expected += QByteArray(c.text) + "         0  Jun 15  2001  " + name.toLatin1() + "\n";
    }
    expected += QByteArray::number(index) + " Files, 0 Bytes\n";
    writeTestPackage(sandbox.filePath("modes.lxPackage"), members);
    const ToolRun run = sandbox.run({"-t", "modes.lxPackage"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, expected);
}

TEST(ListCommandAlone, MonthNamesInTheCLocale)
{
    static const char *const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    ToolSandbox sandbox;
    QList<TestMember> members;
    QByteArray expected;
    for (int month = 1; month <= 12; ++month) {
        const QString name = QStringLiteral("f%1").arg(month);
        members.append({name, "", 0644, utcTime(1988, month, month + 9, 8, 30)});
        expected += QByteArray("-rw-r--r--         0  ") + kMonths[month - 1] + " " +
                    QByteArray::number(month + 9) + "  1988  " + name.toLatin1() + "\n";
    }
    expected += "12 Files, 0 Bytes\n";
    writeTestPackage(sandbox.filePath("months.lxPackage"), members);
    const ToolRun run = sandbox.run({"-t", "months.lxPackage"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, expected);
}

TEST(ListCommandAlone, CurrentYearShowsHourAndMinuteFromItsFirstToItsLastSecond)
{
    const int year = currentUtcYear();
    ToolSandbox sandbox;
    writeTestPackage(sandbox.filePath("p.lxPackage"),
                     {{latin1("first"), "", 0644, utcTime(year, 1, 1, 0, 0, 0)},
                      {latin1("last"), "", 0644, utcTime(year, 12, 31, 23, 59, 59)},
                      {latin1("before"), "", 0644, utcTime(year - 1, 12, 31, 23, 59, 59)},
                      {latin1("after"), "", 0644, utcTime(year + 1, 1, 1, 0, 0, 0)}});
    const ToolRun run = sandbox.run({"-t", "p.lxPackage"});
    EXPECT_EQ(run.status, 0);
    const QByteArray before = QByteArray::number(year - 1);
    const QByteArray after = QByteArray::number(year + 1);
    EXPECT_EQ(run.out, "-rw-r--r--         0  Jan  1 00:00  first\n"
                       "-rw-r--r--         0  Dec 31 23:59  last\n"
                       "-rw-r--r--         0  Dec 31  " + before + "  before\n"
                       "-rw-r--r--         0  Jan  1  " + after + "  after\n"
                       "4 Files, 0 Bytes\n");
}

// Sizes come from the table of contents only, so a bare legacy table can
// claim sizes that add up past 32 bits: the total wraps as a signed sum.
TEST(ListCommandAlone, ByteSumIsASigned32BitTotal)
{
    struct SumCase {
        QList<quint32> sizes;
        QByteArray summary;
    };
    const SumCase cases[] = {
        {{0x80000000u, 0x80000000u, 5}, "3 Files, 5 Bytes\n"},
        {{3000000000u}, "1 Files, -1294967296 Bytes\n"},
        {{0x7FFFFFFFu, 1}, "2 Files, -2147483648 Bytes\n"},
    };
    for (const SumCase &c : cases) {
        ToolSandbox sandbox;
        QList<LegacyRecord> records;
        for (int i = 0; i < c.sizes.size(); ++i)
            records.append({"n" + QByteArray::number(i), c.sizes[i], i % 2 == 1, 915148800u});
        sandbox.writeFile("big.lxPackage", bareLegacyTableOnly(records));
        const ToolRun run = sandbox.run({"-t", "big.lxPackage"});
        ASSERT_EQ(run.status, 0) << run.err.constData();
        const QList<QByteArray> lines = run.out.split('\n');
        ASSERT_EQ(lines.size(), c.sizes.size() + 2);
        // Legacy members carry only the read-only flag: 0666 or 0444.
        EXPECT_EQ(lines[0], "-rw-rw-rw-  " + QByteArray::number(c.sizes[0]).rightJustified(8) +
                                "  Jan  1  1999  n0");
        if (c.sizes.size() > 1) {
            EXPECT_TRUE(lines[1].startsWith("-r--r--r--  ")) << lines[1].constData();
        }
        EXPECT_TRUE(run.out.endsWith(c.summary)) << run.out.constData();
    }
}

// A locale of our own whose only real category is LC_TIME, with month
// abbreviations made to be cut: the listing keeps at most five bytes and never
// splits a UTF-8 sequence. The other categories are deliberately empty, so the
// listing also shows that only LC_TIME is taken from the environment.
TEST(ListCommandAlone, LocalisedMonthNamesAreCutToFiveBytes)
{
    ToolSandbox sandbox;
    sandbox.writeFile("months.def",
                      "comment_char %\n"
                      "escape_char /\n"
                      "LC_CTYPE\ncopy \"POSIX\"\nEND LC_CTYPE\n"
                      "LC_TIME\n"
                      "abday \"Sun\";\"Mon\";\"Tue\";\"Wed\";\"Thu\";\"Fri\";\"Sat\"\n"
                      "day \"d1\";\"d2\";\"d3\";\"d4\";\"d5\";\"d6\";\"d7\"\n"
                      "abmon \"<U044F><U043D><U0432>\";\"f<U00E9>vr.\";\"abcdef\";\"<U00E9>abcd\";"
                      "\"ab<U00E9>cd\";\"abc<U00E9>d\";\"abcd<U00E9>\";\"<U20AC>xyz\";\"x<U20AC>yz\";"
                      "\"xyz<U20AC>\";\"a\";\"dec\"\n"
                      "mon \"m1\";\"m2\";\"m3\";\"m4\";\"m5\";\"m6\";\"m7\";\"m8\";\"m9\";\"m10\";\"m11\";\"m12\"\n"
                      "am_pm \"AM\";\"PM\"\n"
                      "d_t_fmt \"%a %b %e %H:%M:%S %Y\"\nd_fmt \"%m/%d/%y\"\n"
                      "t_fmt \"%H:%M:%S\"\nt_fmt_ampm \"%I:%M:%S %p\"\n"
                      "END LC_TIME\n");
    sandbox.makeDirectory("loc");
    const QByteArray command = "localedef -c -i '" + pathBytes(sandbox.filePath("months.def")) +
                               "' -f UTF-8 '" + pathBytes(sandbox.filePath("loc/cut.UTF-8")) +
                               "' >/dev/null 2>&1";
    // localedef warns (and exits non-zero) about the empty categories; what
    // counts is the LC_TIME file.
    std::system(command.constData());
    if (!sandbox.exists("loc/cut.UTF-8/LC_TIME"))
        GTEST_SKIP() << "localedef cannot build a test locale here";

    static const char *const kCut[] = {
        "\xd1\x8f\xd0\xbd", // a 6-byte name loses its whole last character
        "f\xc3\xa9vr",        // exactly five bytes with a two-byte character inside
        "abcde",
        "\xc3\xa9" "abc",
        "ab\xc3\xa9" "c",
        "abc\xc3\xa9",
        "abcd",               // a two-byte character straddling the cut goes
        "\xe2\x82\xac" "xy",
        "x\xe2\x82\xacy",
        "xyz",                // a three-byte character straddling the cut goes
        "a",
        "dec",
    };
    QList<TestMember> members;
    QByteArray expected;
    for (int month = 1; month <= 12; ++month) {
        const QString name = QStringLiteral("f%1").arg(month);
        members.append({name, "", 0644, utcTime(1995, month, 15, 8, 30)});
        expected += QByteArray("-rw-r--r--         0  ") + kCut[month - 1] + " 15  1995  " +
                    name.toLatin1() + "\n";
    }
    expected += "12 Files, 0 Bytes\n";
    writeTestPackage(sandbox.filePath("months.lxPackage"), members);
    ToolRunOptions options;
    options.environment.append(qMakePair(QByteArray("LOCPATH"), pathBytes(sandbox.filePath("loc"))));
    options.environment.append(qMakePair(QByteArray("LC_ALL"), QByteArray("cut.UTF-8")));
    const ToolRun run = sandbox.run({"-t", "months.lxPackage"}, options);
    EXPECT_EQ(run.status, 0) << run.err.constData();
    EXPECT_EQ(run.out, expected);
}

// Names are bytes: Latin-1 and UTF-8 names print back unchanged.
TEST(ListCommandAlone, NamesArePrintedAsStoredBytes)
{
    ToolSandbox sandbox;
    writeTestPackage(sandbox.filePath("p.lxPackage"),
                     {{latin1("caf\xe9.txt"), "a", 0644, utcTime(2002, 2, 2)},
                      {latin1("caf\xc3\xa9.txt"), "bb", 0644, utcTime(2002, 2, 2)},
                      {latin1("with blank %s.txt"), "ccc", 0644, utcTime(2002, 2, 2)}});
    ToolRun run = sandbox.run({"-t", "p.lxPackage"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "-rw-r--r--         1  Feb  2  2002  caf\xe9.txt\n"
                       "-rw-r--r--         2  Feb  2  2002  caf\xc3\xa9.txt\n"
                       "-rw-r--r--         3  Feb  2  2002  with blank %s.txt\n"
                       "3 Files, 6 Bytes\n");
    // A wildcard given as bytes matches the same bytes.
    run = sandbox.run({"-t", "p.lxPackage", "caf\xe9*"});
    EXPECT_EQ(run.out, "-rw-r--r--         1  Feb  2  2002  caf\xe9.txt\n1 Files, 1 Bytes\n");
}

} // namespace
