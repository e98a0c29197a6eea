// The driver through the real binary: the option table, the usage text, the
// version banner and the exit statuses.
#include "tool/tests/testpackages.h"
#include "tool/tests/testsupport.h"

#include <gtest/gtest.h>

namespace {

const QByteArray kBanner =
    "Varnix Lodestar for RISC-V Package Maintainer - Release 4.22\n"
    "Copyright (c) 2026 Varnix. All rights reserved.\n"
    "This program is licensed under the Varnix software licence; see the installation's licence file.\n";

const QByteArray kUsage =
    "\n"
    "Usage:\n"
    "  duriv [options] package file...\n"
    "  duriv -x package output_directory\n"
    "  duriv -f package file_wildcard\n"
    "  duriv -t package [file_wildcard]\n"
    "  duriv -hzr project.lxProject [output.lxArchive]\n"
    "\n"
    "Options:\n"
    "  -c               create new package from files\n"
    "  -compress level  change compression level (0 for none, 9 for maximum)\n"
    "  -d               remove files from package\n"
    "  -exclude path    exclude path from package\n"
    "  -f               output files to stdout\n"
    "  -overwrite       overwrite existing files\n"
    "  -hzr             create lxArchive file\n"
    "  -r               replace file in package\n"
    "  -readonly        force all files to have read only attribute\n"
    "  -t               list contents of package\n"
    "  -v               verbose\n"
    "  -V               show version\n"
    "  -x               extract files from package\n";

struct UsageCase {
    const char *label;
    QList<QByteArray> arguments;
};

class UsageTest : public ::testing::TestWithParam<UsageCase> {};

// No command, or a command without a file: banner and usage on standard
// error, nothing on standard output, status 1.
TEST_P(UsageTest, PrintsBannerAndUsageOnStandardError)
{
    ToolSandbox sandbox;
    const ToolRun run = sandbox.run(GetParam().arguments);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, QByteArray());
    EXPECT_EQ(run.err, kBanner + kUsage);
}

INSTANTIATE_TEST_SUITE_P(
    Driver, UsageTest,
    ::testing::Values(UsageCase{"NoArguments", {}}, UsageCase{"VersionAlone", {"-V"}},
                      UsageCase{"OnlyFlags", {"-v", "-overwrite", "-bzip2", "-compress", "3"}},
                      UsageCase{"CommandWithoutFile", {"-t"}},
                      UsageCase{"FileWithoutCommand", {"package.lxPackage"}},
                      // The value of -exclude is not a file argument.
                      UsageCase{"ValueIsNotAFile", {"-x", "-exclude", "out"}},
                      UsageCase{"InfoWithoutFile", {"-V", "-info"}}),
    [](const ::testing::TestParamInfo<UsageCase> &info) { return std::string(info.param.label); });

struct ScanErrorCase {
    const char *label;
    QList<QByteArray> arguments;
    QByteArray message;
};

class ScanErrorTest : public ::testing::TestWithParam<ScanErrorCase> {};

// Scan errors come before the usage check and print only the error line.
TEST_P(ScanErrorTest, PrintsOneErrorLine)
{
    ToolSandbox sandbox;
    const ToolRun run = sandbox.run(GetParam().arguments);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, QByteArray());
    EXPECT_EQ(run.err, "error: " + GetParam().message + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Driver, ScanErrorTest,
    ::testing::Values(
        ScanErrorCase{"CompressLast", {"-t", "p.lxPackage", "-compress"}, "argument expected"},
        ScanErrorCase{"ExcludeLast", {"-exclude"}, "argument expected"},
        ScanErrorCase{"FormatLast", {"-c", "p", "x", "-format"}, "argument expected"},
        ScanErrorCase{"LoneDash", {"-t", "p.lxPackage", "-"}, "unknown option "},
        ScanErrorCase{"TwoDashes", {"--c", "p.lxPackage"}, "unknown option -c"},
        ScanErrorCase{"UpperCase", {"-C", "p.lxPackage"}, "unknown option C"},
        ScanErrorCase{"LongName", {"-verbose"}, "unknown option verbose"},
        // The scan stops at the first bad option, even after a command.
        ScanErrorCase{"AfterEverything", {"-t", "p", "-V", "-nope", "-alsobad"}, "unknown option nope"},
        // Option names are bytes: a Latin-1 name prints back unchanged.
        ScanErrorCase{"EightBitName", {"-\xe9t\xc3\xa9"}, "unknown option \xe9t\xc3\xa9"}),
    [](const ::testing::TestParamInfo<ScanErrorCase> &info) { return std::string(info.param.label); });

TEST(Driver, ValueOptionConsumesTheNextArgumentWhateverItIs)
{
    ToolSandbox sandbox;
    // "-t" is the value of -exclude, so there is no command: usage.
    ToolRun run = sandbox.run({"-exclude", "-t", "p.lxPackage"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, kBanner + kUsage);
    // "-nope" is the value of -compress, not an unknown option.
    run = sandbox.run({"-compress", "-nope"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, kBanner + kUsage);
}

// A small package to run commands on, and its exact listing.
class DriverWithPackage : public ::testing::Test {
protected:
    void SetUp() override
    {
        writeTestPackage(sandbox.filePath("p.lxPackage"),
                         {{QStringLiteral("a.c"), "abc", 0100644, utcTime(2000, 2, 29, 10, 0)}});
        original = sandbox.readFile("p.lxPackage");
    }

    const QByteArray listing = "-rw-r--r--         3  Feb 29  2000  a.c\n1 Files, 3 Bytes\n";
    ToolSandbox sandbox;
    QByteArray original;
};

TEST_F(DriverWithPackage, VersionWithACommandPrintsTheBannerOnStandardOutputFirst)
{
    const ToolRun run = sandbox.run({"-V", "-t", "p.lxPackage"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, kBanner + listing);
    EXPECT_EQ(run.err, QByteArray());
}

struct CommandLineCase {
    const char *label;
    QList<QByteArray> arguments;
};

class DriverListing : public DriverWithPackage,
                      public ::testing::WithParamInterface<CommandLineCase> {};

// Each of these command lines comes down to listing p.lxPackage.
TEST_P(DriverListing, ListsThePackage)
{
    const ToolRun run = sandbox.run(GetParam().arguments);
    EXPECT_EQ(run.status, 0) << run.err.constData();
    EXPECT_EQ(run.out, listing);
    EXPECT_EQ(run.err, QByteArray());
    EXPECT_EQ(sandbox.readFile("p.lxPackage"), original);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DriverListing,
    ::testing::Values(CommandLineCase{"LastCommandWins", {"-c", "-t", "p.lxPackage"}},
                      CommandLineCase{"LastOfMany", {"-x", "-f", "-d", "-r", "-c", "-t", "p.lxPackage"}},
                      CommandLineCase{"OptionAfterFile", {"p.lxPackage", "-t"}},
                      CommandLineCase{"RepeatedFlags", {"-t", "-overwrite", "-overwrite", "p.lxPackage"}},
                      CommandLineCase{"SavingOptionsIgnored",
                                      {"-bzip2", "-compress", "9", "-format", "2", "-readonly",
                                       "-exclude", "a.c", "-t", "p.lxPackage"}}),
    [](const ::testing::TestParamInfo<CommandLineCase> &info) { return std::string(info.param.label); });

struct MissingPackageCase {
    const char *label;
    QList<QByteArray> arguments;
};

class DriverMissingPackage : public ::testing::TestWithParam<MissingPackageCase> {};

// Every command that reads the package names it when it is missing.
TEST_P(DriverMissingPackage, NamesTheFile)
{
    ToolSandbox sandbox;
    sandbox.writeFile("a.c", "abc");
    const ToolRun run = sandbox.run(GetParam().arguments);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, QByteArray());
    EXPECT_EQ(run.err, "error: missing.lxPackage does not exist\n");
    EXPECT_FALSE(sandbox.exists("missing.lxPackage"));
    EXPECT_FALSE(sandbox.exists("missing.lxPackage.part"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DriverMissingPackage,
    ::testing::Values(MissingPackageCase{"List", {"-t", "missing.lxPackage"}},
                      MissingPackageCase{"Extract", {"-x", "missing.lxPackage", "out"}},
                      MissingPackageCase{"Output", {"-f", "missing.lxPackage", "*"}},
                      MissingPackageCase{"Info", {"-info", "missing.lxPackage"}},
                      MissingPackageCase{"Replace", {"-r", "missing.lxPackage", "a.c"}},
                      MissingPackageCase{"Remove", {"-d", "missing.lxPackage", "a.c"}}),
    [](const ::testing::TestParamInfo<MissingPackageCase> &info) { return std::string(info.param.label); });

TEST(Driver, ForeignFileGivesTheLoaderMessage)
{
    ToolSandbox sandbox;
    sandbox.writeFile("foreign.lxPackage", "this is not a package at all");
    const ToolRun run = sandbox.run({"-t", "foreign.lxPackage"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "error: unsupported package file format\n");
}

struct LevelCase {
    const char *label;
    QList<QByteArray> options;
    /// The second byte of the zlib stream, which carries its level class.
    unsigned char levelByte;
};

class DriverCompressLevel : public ::testing::TestWithParam<LevelCase> {};

// -compress is read as a decimal number where anything else is 0; the level
// shows in the zlib header that follows the 12-byte version-1 wrapper.
TEST_P(DriverCompressLevel, LevelReachesTheCompressedStream)
{
    ToolSandbox sandbox;
    sandbox.writeFile("a.c", QByteArray(4096, 'a'));
    QList<QByteArray> arguments = {"-c", "p.lxPackage", "a.c"};
    arguments.append(GetParam().options);
    const ToolRun run = sandbox.run(arguments);
    ASSERT_EQ(run.status, 0) << run.err.constData();
    const QByteArray package = sandbox.readFile("p.lxPackage");
    ASSERT_GT(package.size(), 14);
    EXPECT_EQ(static_cast<unsigned char>(package[12]), 0x78);
    EXPECT_EQ(static_cast<unsigned char>(package[13]), GetParam().levelByte);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DriverCompressLevel,
    ::testing::Values(LevelCase{"Default", {}, 0xDA}, LevelCase{"Zero", {"-compress", "0"}, 0x01},
                      LevelCase{"NotANumber", {"-compress", "fast"}, 0x01},
                      LevelCase{"TrailingGarbage", {"-compress", "9x"}, 0x01},
                      LevelCase{"Three", {"-compress", "3"}, 0x5E},
                      LevelCase{"Six", {"-compress", "6"}, 0x9C},
                      LevelCase{"LastValueWins", {"-compress", "0", "-compress", "6"}, 0x9C},
                      LevelCase{"Negative", {"-compress", "-4"}, 0xDA},
                      LevelCase{"AboveNine", {"-compress", "12"}, 0xDA}),
    [](const ::testing::TestParamInfo<LevelCase> &info) { return std::string(info.param.label); });

// -format is read the same way: a word that is not a number asks for version 0.
TEST(Driver, FormatThatIsNotANumberAsksForVersionZero)
{
    ToolSandbox sandbox;
    sandbox.writeFile("a.c", "abc");
    const ToolRun run = sandbox.run({"-v", "-c", "p.lxPackage", "a.c", "-format", "two"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.out.contains("Setting file format to version 0\n")) << run.out.constData();
    EXPECT_EQ(run.err, "error: unsupported package file version\n");
    EXPECT_FALSE(sandbox.exists("p.lxPackage"));
}

} // namespace
