// The option scan on its own: what each option sets and how repeats combine.
#include "tool/tooloptions.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

ToolOptions scan(std::vector<const char *> arguments)
{
    std::vector<QByteArray> storage = {"duriv"};
    storage.insert(storage.end(), arguments.begin(), arguments.end());
    std::vector<char *> argv;
    for (QByteArray &argument : storage)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    return scanToolOptions(int(storage.size()), argv.data());
}

TEST(ToolOptionsScan, CommandsAndFlags)
{
    const ToolOptions none = scan({});
    EXPECT_EQ(none.command, ToolCommand::None);
    EXPECT_FALSE(none.verbose || none.showVersion || none.overwrite || none.readOnly || none.useBzip2);
    EXPECT_EQ(none.compressLevel, -1);
    EXPECT_EQ(none.formatVersion, -1);
    const std::pair<const char *, ToolCommand> cases[] = {
        {"-c", ToolCommand::Create}, {"-d", ToolCommand::Remove},  {"-f", ToolCommand::Output},
        {"-r", ToolCommand::Replace}, {"-t", ToolCommand::List},   {"-x", ToolCommand::Extract},
        {"-info", ToolCommand::Info}, {"-hzr", ToolCommand::ProjectArchive},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(scan({c.first}).command, c.second) << c.first;
        EXPECT_EQ(scan({"-hzr", "-c", c.first}).command, c.second) << c.first; // the last wins
    }
    const ToolOptions flags = scan({"-v", "-V", "-v"});
    EXPECT_TRUE(flags.verbose && flags.showVersion);
    EXPECT_FALSE(flags.overwrite);
    EXPECT_TRUE(scan({"-overwrite"}).overwrite);
    EXPECT_TRUE(scan({"-readonly"}).readOnly);
    EXPECT_TRUE(scan({"-bzip2"}).useBzip2);
    EXPECT_FALSE(scan({"-overwrite"}).readOnly);
}

// Values are decimal numbers where anything else is 0; the last one counts.
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
    const ToolOptions options = scan({"-compress", "1", "-format", "2", "-compress", "9"});
    EXPECT_EQ(options.compressLevel, 9);
    EXPECT_EQ(options.formatVersion, 2);
}

// Exclusions accumulate and are not files; file arguments keep order and bytes.
TEST(ToolOptionsScan, ExcludesAndFileArguments)
{
    const ToolOptions options =
        scan({"-c", "pkg", "-exclude", "a/b", "src", "-exclude", "-t", "-exclude", "a/b"});
    EXPECT_EQ(options.command, ToolCommand::Create);
    EXPECT_EQ(options.excludePaths, QStringList({"a/b", "-t", "a/b"}));
    EXPECT_EQ(options.fileArguments, QStringList({"pkg", "src"}));
    const ToolOptions files = scan({"b", "-t", "a", "caf\xe9", "caf\xc3\xa9", "with blank"});
    ASSERT_EQ(files.fileArguments.size(), 5);
    EXPECT_EQ(files.fileArguments.mid(0, 2), QStringList({"b", "a"}));
    EXPECT_EQ(files.fileArguments[2].toLatin1(), QByteArray("caf\xe9"));
    EXPECT_EQ(files.fileArguments[3].size(), 5); // one character per byte
    EXPECT_EQ(files.fileArguments[3].toLatin1(), QByteArray("caf\xc3\xa9"));
    EXPECT_EQ(files.fileArguments[4], QStringLiteral("with blank"));
}

} // namespace
