// -f: the bytes of every matching member, back to back, on standard output.
#include "package/packagememberwriter.h"
#include "tool/commands.h"
#include "tool/standardoutput.h"
#include "tool/temporarydirectory.h"

void runOutputCommand(const ToolOptions &, CommandContext &context)
{
    if (context.arguments.isEmpty())
        throw HException("wildcard expected");

    // Each member whole or not at all: one that cannot be read writes none of
    // its bytes. Memory stays bounded whatever the members' sizes.
    PackageMemberWriter writer(*context.archive, temporaryDirectory());
    for (PackageArchiveFile *member : context.archive->match(context.arguments.first())) {
        writer.writeTo(member, [](const char *data, int length) {
            writeStandardOutput(data, static_cast<std::size_t>(length));
        });
    }
    flushStandardOutput();
}
