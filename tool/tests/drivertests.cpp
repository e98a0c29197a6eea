// The driver through the real binary: usage text, version banner, scan
// errors and exit statuses.
#include "tool/tests/testsupport.h"

#include <gtest/gtest.h>

namespace {

const QByteArray kBanner =
    "Varnix Lodestar for RISC-V Package Maintainer - Release 4.22\n"
    "Copyright (c) 2026 Varnix. All rights reserved.\n"
    "This program is licensed under the Varnix software licence; see the installation's licence file.\n";

const QByteArray kUsage =
    "\nUsage:\n"
    "  duriv [options] package file...\n"
    "  duriv -x package output_directory\n"
    "  duriv -f package file_wildcard\n"
    "  duriv -t package [file_wildcard]\n"
    "  duriv -hzr project.lxProject [output.lxArchive]\n"
    "\nOptions:\n"
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

struct Case {
    QList<QByteArray> arguments;
    QByteArray out;
    QByteArray err;
    int status;
};

void expectRuns(const Case *begin, const Case *end, bool withPackage)
{
    for (const Case *c = begin; c != end; ++c) {
        SCOPED_TRACE(c->arguments.join(' ').constData());
        ToolSandbox sandbox;
        sandbox.writeFile("a.c", "this is not a package at all");
        if (withPackage)
            writePackage(sandbox.filePath("p.lxPackage"), {{"a.c", "abc", 0100644, quint32(utcTime(2000, 2, 29, 10))}});
        const QByteArray before = withPackage ? sandbox.readFile("p.lxPackage") : QByteArray();
        const ToolRun run = sandbox.run(c->arguments);
        EXPECT_EQ(run.status, c->status);
        EXPECT_EQ(run.out, c->out);
        EXPECT_EQ(run.err, c->err);
        EXPECT_FALSE(sandbox.exists("missing.lxPackage"));
        EXPECT_FALSE(sandbox.exists("missing.lxPackage.part"));
        EXPECT_EQ(withPackage ? sandbox.readFile("p.lxPackage") : QByteArray(), before);
    }
}

// No command or no file: banner and usage on standard error. Scan errors
// come first and print only their line; the scan stops at the first bad one.
TEST(Driver, UsageAndScanErrors)
{
    const QByteArray usage = kBanner + kUsage;
    const QByteArray expected = "error: argument expected\n";
    const Case cases[] = {
        {{}, "", usage, 1},
        {{"-V"}, "", usage, 1},
        {{"-t"}, "", usage, 1},
        {{"package.lxPackage"}, "", usage, 1},
        {{"-exclude", "-t", "p.lxPackage"}, "", usage, 1}, // "-t" is the value
        {{"-t", "p.lxPackage", "-compress"}, "", expected, 1},
        {{"-t", "p.lxPackage", "-"}, "", "error: unknown option \n", 1},
        {{"--c", "p.lxPackage"}, "", "error: unknown option -c\n", 1},
        {{"-C", "p.lxPackage"}, "", "error: unknown option C\n", 1},
        {{"-verbose"}, "", "error: unknown option verbose\n", 1},
        {{"-t", "p", "-V", "-nope", "-alsobad"}, "", "error: unknown option nope\n", 1},
        {{"-\xe9t\xc3\xa9"}, "", "error: unknown option \xe9t\xc3\xa9\n", 1},
    };
    expectRuns(std::begin(cases), std::end(cases), false);
}

// Each command line comes down to listing p.lxPackage (the last command
// wins); reading commands name a missing package; a foreign file gives the
// loader's message.
TEST(Driver, CommandLinesOnAPackage)
{
    const QByteArray listing = "-rw-r--r--         3  Feb 29  2000  a.c\n1 Files, 3 Bytes\n";
    const QByteArray missing = "error: missing.lxPackage does not exist\n";
    const Case cases[] = {
        {{"-V", "-t", "p.lxPackage"}, kBanner + listing, "", 0},
        {{"-x", "-f", "-d", "-r", "-c", "-t", "p.lxPackage"}, listing, "", 0},
        {{"p.lxPackage", "-t"}, listing, "", 0},
        {{"-bzip2", "-compress", "9", "-format", "2", "-readonly", "-overwrite", "-exclude", "a.c", "-t",
          "p.lxPackage"}, listing, "", 0},
        {{"-t", "missing.lxPackage"}, "", missing, 1},
        {{"-x", "missing.lxPackage", "out"}, "", missing, 1},
        {{"-f", "missing.lxPackage", "*"}, "", missing, 1},
        {{"-info", "missing.lxPackage"}, "", missing, 1},
        {{"-r", "missing.lxPackage", "a.c"}, "", missing, 1},
        {{"-d", "missing.lxPackage", "a.c"}, "", missing, 1},
        {{"-t", "a.c"}, "", "error: unsupported package file format\n", 1},
    };
    expectRuns(std::begin(cases), std::end(cases), true);
}

} // namespace
