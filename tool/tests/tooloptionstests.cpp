// The option scan's reading of values: decimal numbers where anything else
// is 0; the last one counts. Commands, flags and exclusions are checked
// through the binary.
#include "tool/tooloptions.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

ToolOptions scan(std::vector<QByteArray> storage)
{
    storage.insert(storage.begin(), "duriv");
    std::vector<char *> argv;
    for (QByteArray &argument : storage)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    return scanToolOptions(int(storage.size()), argv.data());
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
    const ToolOptions options = scan({"-compress", "1", "-format", "2", "-compress", "9"});
    EXPECT_EQ(options.compressLevel, 9);
    EXPECT_EQ(options.formatVersion, 2);
}

} // namespace
