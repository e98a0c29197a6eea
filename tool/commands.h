// One entry point per command. Each throws HException (or SolutionLoadError
// for the project archive command) and prints only its own output and
// warnings; the driver prints errors.
#pragma once

#include "tool/tooloptions.h"

#include <QString>

#include <memory>

class PackageArchive;
class PackageLock;

/// The common start of the package commands: the package file name taken off
/// `options.fileArguments` (which then holds the remaining arguments), and the
/// archive loaded from it (not for Create).
struct PackageCommandContext {
    PackageCommandContext();
    ~PackageCommandContext();
    QString packagePath;
    QStringList arguments;
    /// Taken before loading for the changing commands and held until the new
    /// package is in place, so concurrent updates of one package serialise.
    std::unique_ptr<PackageLock> lock;
    std::unique_ptr<PackageArchive> archive;
};

/// Locks the directory that holds `packagePath` (advisory flock, blocking).
/// Defined with the save step.
std::unique_ptr<PackageLock> lockPackageDirectory(const QString &packagePath);

// Reading commands (listing, extraction, output, info).
void runListCommand(const ToolOptions &options, PackageCommandContext &context);
void runExtractCommand(const ToolOptions &options, PackageCommandContext &context);
void runOutputCommand(const ToolOptions &options, PackageCommandContext &context);
void runInfoCommand(const ToolOptions &options, PackageCommandContext &context);

// Changing commands; each ends with the save step that replaces the package.
void runCreateCommand(const ToolOptions &options, PackageCommandContext &context);
void runReplaceCommand(const ToolOptions &options, PackageCommandContext &context);
void runRemoveCommand(const ToolOptions &options, PackageCommandContext &context);

// The project archive command.
void runProjectArchiveCommand(const ToolOptions &options);
