// One entry point per command. Each throws HException (or SolutionLoadError
// for the project archive command) and prints only its own output and
// warnings; the driver prints errors.
#pragma once

#include "tool/tooloptions.h"

#include <QString>
#include <QStringList>

#include <memory>

class PackageArchive;
class PackageLock;

/// What the command table hands a command: for the package commands the
/// package file name taken off the file arguments, the remaining arguments,
/// and the archive (empty for -c, loaded otherwise); for -hzr every file
/// argument and no archive.
struct CommandContext {
    CommandContext();
    ~CommandContext();
    QString packagePath;
    QStringList arguments;
    /// Taken before loading for the changing commands and held until the new
    /// package is in place, so concurrent updates of one package serialise.
    std::unique_ptr<PackageLock> lock;
    std::unique_ptr<PackageArchive> archive;
};

// Reading commands (listing, extraction, output, info).
void runListCommand(const ToolOptions &options, CommandContext &context);
void runExtractCommand(const ToolOptions &options, CommandContext &context);
void runOutputCommand(const ToolOptions &options, CommandContext &context);
void runInfoCommand(const ToolOptions &options, CommandContext &context);

// Changing commands; each ends with the save step that replaces the package.
/// -c and -r: the arguments expanded and added (a member of the same name
/// is refreshed), then the package saved.
void runAddCommand(const ToolOptions &options, CommandContext &context);
/// -d: members removed by exact name, then the package saved.
void runRemoveCommand(const ToolOptions &options, CommandContext &context);

// The project archive command.
void runProjectArchiveCommand(const ToolOptions &options, CommandContext &context);
