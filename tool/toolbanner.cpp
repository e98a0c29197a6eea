// The version banner and the usage text.
#include "tool/toolbanner.h"

#include "macros/product.h"

namespace {

const char kToolTitle[] = "Package Maintainer";

// The product's legal notices, one line each; the list ends with an empty entry.
const char *const kLegalNotices[] = {
    "Copyright (c) 2026 Varnix. All rights reserved.",
    "This program is licensed under the Varnix software licence; see the installation's licence file.",
    "",
};

const char kUsage[] =
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

} // namespace

void printVersionBanner(FILE *stream)
{
    std::fprintf(stream, "%s %s - Release %d.%s\n", product::kFullName, kToolTitle,
                 product::kMajorVersion, product::kMinorVersion);
    for (const char *const *notice = kLegalNotices; **notice; ++notice)
        std::fprintf(stream, "%s\n", *notice);
    std::fflush(stream);
}

void printUsage()
{
    printVersionBanner(stderr);
    std::fputs(kUsage, stderr);
    std::fflush(stderr);
}
