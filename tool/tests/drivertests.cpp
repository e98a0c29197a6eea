// The driver through the real binary: the option table, the usage text, the
// version banner and the exit statuses.
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

} // namespace
