// -d: members removed by exact name, a warning for each missing one, then
// the save step.
#include "package/packagearchive.h"
#include "tool/commands.h"
#include "tool/savestep.h"

#include <cstdio>

void runRemoveCommand(const ToolOptions &options, CommandContext &context)
{
    for (const QString &name : context.arguments) {
        const QByteArray bytes = name.toLatin1();
        if (options.verbose)
            std::printf("Removing %s\n", bytes.constData());
        if (!context.archive->remove(name)) {
            // Keep the two streams in order when they share a terminal or file.
            std::fflush(stdout);
            std::fprintf(stderr, "warning: cannot remove %s\n", bytes.constData());
        }
    }
    savePackage(*context.archive, context.packagePath, options);
}
