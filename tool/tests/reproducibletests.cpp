// Reproducible packages under SOURCE_DATE_EPOCH: how the driver reads the
// variable, the byte order of walks and wildcards, and the same bytes from
// two copies of a tree written in different orders at different times.
#include "tool/tests/testsupport.h"
#include "tool/toolenvironment.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sys/stat.h>
#include <utime.h>

namespace {

const QByteArray kEpoch = "1700000000";

ToolRunOptions withEpoch(const QByteArray &value)
{
    ToolRunOptions options;
    options.environment = {{"SOURCE_DATE_EPOCH", value}};
    return options;
}

// Names whose byte order differs from their order by letter, case or locale,
// a subdirectory whose name is a prefix of a file's, and a Latin-1 byte.
const QList<QByteArray> kTree = {
    "tree/sub/z.c",
    "tree/b.c",
    "tree/\xe9t\xe9.c",
    "tree/sub/deep/k.c",
    "tree/Zeta.h",
    "tree/sub-x.c",
    "tree/a.c",
    "tree/sub/A.c",
    "tree/_u.c",
    "tree/B.c",
};

/// Writes kTree below `root`, in `order` (kTree or reversed), the file at
/// index i of kTree dated `firstTime` + i * `step`.
void writeTree(const QByteArray &root, bool reversed, time_t firstTime, time_t step)
{
    for (int n = 0; n < kTree.size(); ++n) {
        const int i = reversed ? kTree.size() - 1 - n : n;
        const QByteArray path = root + '/' + kTree[i];
        for (int slash = path.indexOf('/', 1); slash != -1; slash = path.indexOf('/', slash + 1))
            mkdir(path.left(slash).constData(), 0755);
        FILE *file = fopen(path.constData(), "wb");
        ASSERT_NE(file, nullptr) << path.constData();
        fputs(kTree[i].constData(), file);
        fclose(file);
        chmod(path.constData(), 0644);
        const struct utimbuf times = {firstTime + i * step, firstTime + i * step};
        ASSERT_EQ(utime(path.constData(), &times), 0) << path.constData();
    }
}

struct ParseRow {
    const char *value; ///< nullptr: not set
    SourceDateEpoch::State state;
    quint32 seconds;
};

TEST(SourceDateEpochTest, NumbersOnlyAndCappedAtTheLatestStoredTime)
{
    using State = SourceDateEpoch::State;
    const ParseRow rows[] = {
        {nullptr, State::Unset, 0},
        {"", State::Unset, 0},
        {"0", State::Number, 0},
        {"4294967295", State::Number, 4294967295u},
        {"4294967296", State::Number, 4294967295u},
        {"99999999999999999999999999", State::Number, 4294967295u},
        {"-1", State::NotANumber, 0},
        {"5 ", State::NotANumber, 0},
        {"0x10", State::NotANumber, 0},
    };
    for (const ParseRow &row : rows) {
        SCOPED_TRACE(row.value ? row.value : "(not set)");
        const SourceDateEpoch epoch = parseSourceDateEpoch(row.value ? QByteArray(row.value) : QByteArray());
        EXPECT_EQ(epoch.state, row.state);
        if (row.state == State::Number) {
            EXPECT_EQ(epoch.seconds, row.seconds);
        }
    }
}

// A value that is no number is ignored with one warning: the package is
// as without the variable. Which values are numbers is the table above.
TEST(SourceDateEpochTest, AnythingButANumberIsIgnoredWithOneWarning)
{
    ToolSandbox sandbox;
    sandbox.writeFile("f.c", "x", 0644, utcTime(2030, 1, 1));
    const ToolRun run = sandbox.run({"-c", "p.lxPackage", "f.c"}, withEpoch("yesterday"));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "warning: SOURCE_DATE_EPOCH is not a number, ignored\n");
    EXPECT_EQ(readPackage(sandbox.filePath("p.lxPackage")).members.value(0).time, quint32(utcTime(2030, 1, 1)));
}

// Every directory's entries in byte order, each subdirectory walked where it
// stands; wildcard matches in the same order.
TEST(SourceDateEpochTest, WalksAndWildcardsTakeEntriesInByteOrder)
{
    ToolSandbox sandbox;
    writeTree(pathBytes(sandbox.path()), false, 1800000000, 1);
    const ToolRun run = sandbox.run({"-c", "-v", "p.lxPackage", "tree", "tree/*.C"}, withEpoch(kEpoch));
    EXPECT_EQ(run.status, 0) << run.err.constData();
    const QList<QByteArray> walk = {
        "tree/B.c",
        "tree/Zeta.h",
        "tree/_u.c",
        "tree/a.c",
        "tree/b.c",
        "tree/sub/A.c",
        "tree/sub/deep/k.c",
        "tree/sub/z.c",
        "tree/sub-x.c",
        "tree/\xe9t\xe9.c",
    };
    const QList<QByteArray> wildcard = {
        "tree/B.c",
        "tree/_u.c",
        "tree/a.c",
        "tree/b.c",
        "tree/sub-x.c",
        "tree/\xe9t\xe9.c",
    };
    EXPECT_EQ(addedPaths(run.out), walk + wildcard);
    EXPECT_EQ(readPackage(sandbox.filePath("p.lxPackage")).names(), walk);
}

// Two copies of the tree, written in opposite orders with different file
// times, all later than the variable: packed from inside each copy with the
// same arguments, the packages are the same bytes, and without the variable
// they differ. How entries are ordered is the test above.
TEST(SourceDateEpochTest, TwoCopiesOfATreeGiveTheSameBytes)
{
    ToolSandbox first, second, output;
    writeTree(pathBytes(first.path()), false, 1800000000, 1);
    writeTree(pathBytes(second.path()), true, 1900000000, 37);
    const auto pack = [&](const ToolSandbox &copy, const QByteArray &package, const ToolRunOptions &options) {
        const ToolRun run = copy.run({"-c", output.full(package), "tree", "tree/*.c"}, options);
        EXPECT_EQ(run.status, 0) << run.err.constData();
        EXPECT_EQ(run.err, QByteArray());
        return output.readFile(pathFromBytes(package));
    };
    EXPECT_EQ(pack(first, "first.lxPackage", withEpoch(kEpoch)), pack(second, "second.lxPackage", withEpoch(kEpoch)));
    EXPECT_NE(pack(first, "first.lxPackage", {}), pack(second, "second.lxPackage", {}));
}

} // namespace
