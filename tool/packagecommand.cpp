// The common start of the package commands and the dispatch to one of them.
#include "tool/packagecommand.h"

#include "package/packagearchive.h"
#include "tool/commands.h"
#include "tool/savestep.h"

#include <QTextCodec>

PackageCommandContext::PackageCommandContext() = default;

// The archive goes first: it closes the old package before the lock that
// guarded it is released.
PackageCommandContext::~PackageCommandContext()
{
    archive.reset();
    lock.reset();
}

namespace {

using CommandFunction = void (*)(const ToolOptions &, PackageCommandContext &);

struct PackageCommandSpec {
    ToolCommand command;
    CommandFunction run;
    /// Changing commands lock the package's directory before they load.
    bool changesPackage;
    /// Create starts from an empty archive and never reads the old package.
    bool loadsPackage;
};

const PackageCommandSpec kPackageCommands[] = {
    {ToolCommand::Create, runCreateCommand, true, false},
    {ToolCommand::Remove, runRemoveCommand, true, true},
    {ToolCommand::Output, runOutputCommand, false, true},
    {ToolCommand::Replace, runReplaceCommand, true, true},
    {ToolCommand::List, runListCommand, false, true},
    {ToolCommand::Extract, runExtractCommand, false, true},
    {ToolCommand::Info, runInfoCommand, false, true},
};

const PackageCommandSpec &findPackageCommand(ToolCommand command)
{
    for (const PackageCommandSpec &spec : kPackageCommands) {
        if (spec.command == command)
            return spec;
    }
    throw HException("unknown command");
}

} // namespace

void runPackageCommand(const ToolOptions &options)
{
    // Package members, arguments and the paths handed to the system are bytes:
    // one character per byte both ways, whatever the user's locale says.
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("ISO-8859-1"));

    const PackageCommandSpec &spec = findPackageCommand(options.command);

    PackageCommandContext context;
    context.arguments = options.fileArguments;
    context.packagePath = context.arguments.takeFirst();
    if (spec.changesPackage)
        context.lock = lockPackageDirectory(context.packagePath);
    context.archive = std::make_unique<PackageArchive>();
    if (spec.loadsPackage)
        context.archive->load(context.packagePath, 0, 0);
    spec.run(options, context);
}
