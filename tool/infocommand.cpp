// -info: one line with the archive's format and the package's identity.
#include "package/packagearchive.h"
#include "package/packagedescriptionfile.h"
#include "tool/commands.h"
#include "tool/standardoutput.h"

void runInfoCommand(const ToolOptions &, CommandContext &context)
{
    PackageDescriptionFile description;
    description.load(*context.archive);
    printStandardOutput("%d:%d,%s,%s,%s,%s\n", context.archive->version(),
                        context.archive->compression(), description.name().toLatin1().constData(),
                        description.version().toLatin1().constData(),
                        description.productVersions().toLatin1().constData(),
                        description.buildVersion().toLatin1().constData());
    flushStandardOutput();
}
