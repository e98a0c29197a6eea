// -d: members removed by exact name, a warning for each missing one, then
// the save step.
#include "package/packagearchive.h"
#include "tool/commands.h"
#include "tool/savestep.h"

#include <cstdio>

void runRemoveCommand(const ToolOptions &options, CommandContext &context)
{
    // All at once: removing one name at a time would move the rest of the
    // list for each of them. The lines follow the names in order all the same.
    const std::vector<bool> removed = context.archive->removeEach(context.arguments);
    for (int i = 0; i < context.arguments.size(); ++i) {
        const QByteArray bytes = context.arguments.at(i).toLatin1();
        if (options.verbose)
            std::printf("Removing %s\n", bytes.constData());
        if (!removed[size_t(i)]) {
            // Keep the two streams in order when they share a terminal or file.
            std::fflush(stdout);
            std::fprintf(stderr, "warning: cannot remove %s\n", bytes.constData());
        }
    }
    savePackage(*context.archive, context.packagePath, options);
}
