// -x: every member written below an output directory.
#include "package/packagememberwriter.h"
#include "tool/commands.h"

#include <cstdio>

void runExtractCommand(const ToolOptions &options, CommandContext &context)
{
    // An empty name would put every member under "/" (the joined path starts
    // with the separator), so it counts as no directory at all.
    if (context.arguments.isEmpty() || context.arguments.first().isEmpty())
        throw HException("output directory not specified");
    const QString directory = context.arguments.first();

    // One writer for the whole run: it remembers the directories it has seen.
    PackageMemberWriter writer(*context.archive);
    for (const auto &member : context.archive->files()) {
        // A ".." component would place the file outside the directory; the
        // check comes before anything of the member is printed or written.
        if (PackageArchive::hasParentComponent(member->name()))
            throw HException(QStringLiteral("cannot extract file outside output directory ") +
                             member->name());
        if (options.verbose) {
            std::printf("Extracting %s\n", member->name().toLatin1().constData());
            std::fflush(stdout);
        }
        writer.extractFileTo(member.get(), directory, options.overwrite);
    }
}
