// The changing commands: -c and -r add files (expanded from the arguments),
// -d removes members by name; all three end in the save step.
#include "package/packagearchive.h"
#include "tool/commands.h"
#include "tool/expansion.h"
#include "tool/savestep.h"

#include <cstdio>

namespace {

constexpr quint32 kWriteBits = 0222;

// Every argument is expanded before the first member is added, so an
// expansion error comes before any "Adding" line and before any disk read.
void addExpandedFiles(const ToolOptions &options, PackageCommandContext &context)
{
    const QStringList paths = expandFileArguments(context.arguments, options.excludePaths);
    for (const QString &path : paths) {
        if (options.verbose)
            std::printf("Adding %s\n", path.toLatin1().constData());
        PackageArchiveFile *member = context.archive->addFile(path);
        if (options.readOnly)
            member->setMode(member->mode() & ~kWriteBits);
    }
}

} // namespace

void runCreateCommand(const ToolOptions &options, PackageCommandContext &context)
{
    addExpandedFiles(options, context);
    savePackage(*context.archive, context.packagePath, options);
}

void runReplaceCommand(const ToolOptions &options, PackageCommandContext &context)
{
    addExpandedFiles(options, context);
    savePackage(*context.archive, context.packagePath, options);
}

void runRemoveCommand(const ToolOptions &options, PackageCommandContext &context)
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
