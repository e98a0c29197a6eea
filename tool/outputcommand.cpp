// -f: the bytes of every matching member, back to back, on standard output.
#include "package/packagearchive.h"
#include "tool/commands.h"
#include "tool/standardoutput.h"

void runOutputCommand(const ToolOptions &, CommandContext &context)
{
    if (context.arguments.isEmpty())
        throw HException("wildcard expected");

    // Streamed in chunks, so a member of any size costs one buffer.
    for (PackageArchiveFile *member : context.archive->match(context.arguments.first())) {
        context.archive->readFileData(member, [](const char *data, int length) {
            writeStandardOutput(data, static_cast<std::size_t>(length));
        });
    }
    flushStandardOutput();
}
