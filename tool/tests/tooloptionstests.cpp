// The option scan on its own: what each option sets, and how repeated and
// value options combine. (The messages and the usage text are tested through
// the binary in drivertests.cpp.)
#include "tool/tooloptions.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

ToolOptions scan(std::vector<const char *> arguments)
{
    std::vector<QByteArray> storage = {"duriv"};
    for (const char *argument : arguments)
        storage.emplace_back(argument);
    std::vector<char *> argv;
    for (QByteArray &argument : storage)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    return scanToolOptions(static_cast<int>(storage.size()), argv.data());
}

TEST(ToolOptionsScan, DefaultsWithNoArguments)
{
    const ToolOptions options = scan({});
    EXPECT_EQ(options.command, ToolCommand::None);
    EXPECT_FALSE(options.verbose);
    EXPECT_FALSE(options.showVersion);
    EXPECT_FALSE(options.overwrite);
    EXPECT_FALSE(options.readOnly);
    EXPECT_FALSE(options.useBzip2);
    EXPECT_EQ(options.compressLevel, -1);
    EXPECT_EQ(options.formatVersion, -1);
    EXPECT_TRUE(options.excludePaths.isEmpty());
    EXPECT_TRUE(options.fileArguments.isEmpty());
}

TEST(ToolOptionsScan, EachCommandOption)
{
    const std::pair<const char *, ToolCommand> cases[] = {
        {"-c", ToolCommand::Create},  {"-d", ToolCommand::Remove},
        {"-f", ToolCommand::Output},  {"-r", ToolCommand::Replace},
        {"-t", ToolCommand::List},    {"-x", ToolCommand::Extract},
        {"-info", ToolCommand::Info}, {"-hzr", ToolCommand::ProjectArchive},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(scan({c.first}).command, c.second) << c.first;
        // The last command wins, whatever came before.
        EXPECT_EQ(scan({"-hzr", "-c", c.first}).command, c.second) << c.first;
    }
}

TEST(ToolOptionsScan, FlagsStaySetAndAreIndependent)
{
    const ToolOptions options = scan({"-v", "-V", "-v"});
    EXPECT_TRUE(options.verbose);
    EXPECT_TRUE(options.showVersion);
    EXPECT_FALSE(options.overwrite);

    EXPECT_TRUE(scan({"-overwrite"}).overwrite);
    EXPECT_TRUE(scan({"-readonly"}).readOnly);
    EXPECT_TRUE(scan({"-bzip2"}).useBzip2);
    EXPECT_FALSE(scan({"-overwrite"}).readOnly);
}

TEST(ToolOptionsScan, ValueOptionsReadDecimalNumbers)
{
    const std::pair<const char *, int> cases[] = {
        {"5", 5}, {"0", 0}, {"-3", -3}, {"12", 12}, {"+4", 4}, {"007", 7},
        {"word", 0}, {"5x", 0}, {"", 0}, {"0x10", 0}, {"99999999999", 0},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(scan({"-compress", c.first}).compressLevel, c.second) << c.first;
        EXPECT_EQ(scan({"-format", c.first}).formatVersion, c.second) << c.first;
    }
    // A value option keeps its last value.
    const ToolOptions options = scan({"-compress", "1", "-format", "2", "-compress", "9"});
    EXPECT_EQ(options.compressLevel, 9);
    EXPECT_EQ(options.formatVersion, 2);
}

TEST(ToolOptionsScan, ExcludeAccumulatesAndValuesAreNotFiles)
{
    const ToolOptions options =
        scan({"-c", "pkg", "-exclude", "a/b", "src", "-exclude", "-t", "-exclude", "a/b"});
    EXPECT_EQ(options.command, ToolCommand::Create);
    EXPECT_EQ(options.excludePaths, QStringList({"a/b", "-t", "a/b"}));
    EXPECT_EQ(options.fileArguments, QStringList({"pkg", "src"}));
}

TEST(ToolOptionsScan, FileArgumentsKeepOrderAndBytes)
{
    const ToolOptions options = scan({"b", "-t", "a", "caf\xe9", "caf\xc3\xa9", "with blank"});
    ASSERT_EQ(options.fileArguments.size(), 5);
    EXPECT_EQ(options.fileArguments[0], QStringLiteral("b"));
    EXPECT_EQ(options.fileArguments[1], QStringLiteral("a"));
    // One character per byte.
    EXPECT_EQ(options.fileArguments[2].toLatin1(), QByteArray("caf\xe9"));
    EXPECT_EQ(options.fileArguments[3].size(), 5);
    EXPECT_EQ(options.fileArguments[3].toLatin1(), QByteArray("caf\xc3\xa9"));
    EXPECT_EQ(options.fileArguments[4], QStringLiteral("with blank"));
}

} // namespace
