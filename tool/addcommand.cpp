// -c and -r: the file, directory and wildcard arguments expanded and added to
// the package, then the save step.
#include "package/packagearchive.h"
#include "tool/commands.h"
#include "tool/dependencyfile.h"
#include "tool/expansion.h"
#include "tool/savestep.h"

#include <cstdio>

void runAddCommand(const ToolOptions &options, CommandContext &context)
{
    DependencyFile dependencies(options.dependencyFile, context.packagePath);
    ExpansionOptions expansion;
    expansion.excludePaths = options.excludePaths;
    expansion.order = options.sourceDateEpoch ? EntryOrder::Bytes : EntryOrder::FileSystem;
    expansion.onDirectoryListed = [&dependencies](const QString &directory) { dependencies.add(directory); };
    // Every argument is expanded before the first member is added, so an
    // expansion error comes before any "Adding" line and before any disk read.
    const QStringList paths = expandFileArguments(context.arguments, expansion);
    context.archive->setLatestMemberTime(options.sourceDateEpoch);
    for (const QString &path : paths) {
        if (options.verbose)
            std::printf("Adding %s\n", path.toLatin1().constData());
        PackageArchiveFile *member = context.archive->addFile(path);
        if (options.readOnly)
            member->setMode(member->mode() & ~PackageArchiveFile::WriteBits);
        dependencies.add(path);
    }
    savePackage(*context.archive, context.packagePath, options);
    dependencies.write();
}
