// TEMPORARY: weak stand-ins for commands whose files have not landed yet, so
// the binary links meanwhile. Each real definition overrides its stand-in;
// this file goes away once all of them exist.
#include "package/hexception.h"
#include "tool/commands.h"
#include "tool/packagecommand.h"

__attribute__((weak)) void runPackageCommand(const ToolOptions &)
{
    throw HException("package commands not available");
}

__attribute__((weak)) void runProjectArchiveCommand(const ToolOptions &)
{
    throw HException("project archive command not available");
}
