// The common start of the package commands and the dispatch to one of them.
#pragma once

#include "tool/tooloptions.h"

/// Takes the package name off the file arguments, locks its directory for the
/// changing commands, loads the package (not for Create) and runs the command.
/// Throws HException.
void runPackageCommand(const ToolOptions &options);
