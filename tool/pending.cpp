// TEMPORARY: a weak stand-in for the project archive command until its file
// lands, so the binary links meanwhile. The real definition overrides it;
// this file goes away then.
#include "package/hexception.h"
#include "tool/commands.h"

__attribute__((weak)) void runProjectArchiveCommand(const ToolOptions &)
{
    throw HException("project archive command not available");
}
