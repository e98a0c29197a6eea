// The command table: how each command treats the package, and the dispatch.
#pragma once

#include "tool/tooloptions.h"

/// Runs the command `options` selects (not None): the package commands get
/// their package file name taken off the file arguments, the lock of its
/// directory when they change it and the archive loaded from it (empty for
/// -c); -hzr gets the file arguments alone. Throws HException or
/// SolutionLoadError.
void runCommand(const ToolOptions &options);
