// The command table and the common start of the commands.
#include "tool/commandtable.h"

#include "package/hexception.h"
#include "package/packagearchive.h"
#include "tool/commands.h"
#include "tool/savestep.h"

CommandContext::CommandContext() = default;

// The archive goes first: it closes the old package before the lock that
// guarded it is released.
CommandContext::~CommandContext()
{
    archive.reset();
    lock.reset();
}

namespace {

/// How a command treats the package named by its first file argument.
enum class PackageUse {
    None,           ///< no package at all (-hzr)
    NewAndSaved,    ///< an empty archive, saved over the package, which is never read (-c)
    LoadedAndRead,  ///< loaded, never written (-t, -x, -f, -info)
    LoadedAndSaved, ///< loaded under the directory lock and saved (-r, -d)
};

struct CommandSpec {
    ToolCommand command;
    PackageUse package;
    void (*run)(const ToolOptions &, CommandContext &);
};

const CommandSpec kCommands[] = {
    {ToolCommand::Create, PackageUse::NewAndSaved, runAddCommand},
    {ToolCommand::Remove, PackageUse::LoadedAndSaved, runRemoveCommand},
    {ToolCommand::Output, PackageUse::LoadedAndRead, runOutputCommand},
    {ToolCommand::Replace, PackageUse::LoadedAndSaved, runAddCommand},
    {ToolCommand::List, PackageUse::LoadedAndRead, runListCommand},
    {ToolCommand::Extract, PackageUse::LoadedAndRead, runExtractCommand},
    {ToolCommand::Info, PackageUse::LoadedAndRead, runInfoCommand},
    {ToolCommand::ProjectArchive, PackageUse::None, runProjectArchiveCommand},
};

const CommandSpec &findCommand(ToolCommand command)
{
    for (const CommandSpec &spec : kCommands) {
        if (spec.command == command)
            return spec;
    }
    throw HException("unknown command");
}

/// The package file name off the arguments, the lock, the archive.
void openPackage(PackageUse use, CommandContext &context)
{
    context.packagePath = context.arguments.takeFirst();
    if (use == PackageUse::NewAndSaved || use == PackageUse::LoadedAndSaved)
        context.lock = lockPackageDirectory(context.packagePath);
    context.archive = std::make_unique<PackageArchive>();
    if (use == PackageUse::LoadedAndRead || use == PackageUse::LoadedAndSaved)
        context.archive->load(context.packagePath, 0, 0);
}

} // namespace

void runCommand(const ToolOptions &options)
{
    const CommandSpec &spec = findCommand(options.command);
    CommandContext context;
    context.arguments = options.fileArguments;
    if (spec.package != PackageUse::None)
        openPackage(spec.package, context);
    spec.run(options, context);
}
