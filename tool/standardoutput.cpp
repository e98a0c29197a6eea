// Checked writes to standard output.
#include "tool/standardoutput.h"

#include "package/hexception.h"

#include <cstdarg>
#include <cstdio>

namespace {

[[noreturn]] void failStandardOutput()
{
    throw HException("cannot write to standard output");
}

} // namespace

void writeStandardOutput(const char *data, std::size_t length)
{
    if (length > 0 && std::fwrite(data, 1, length, stdout) != length)
        failStandardOutput();
}

void writeStandardOutput(const QByteArray &bytes)
{
    writeStandardOutput(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

void printStandardOutput(const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    const int written = std::vfprintf(stdout, format, arguments);
    va_end(arguments);
    if (written < 0)
        failStandardOutput();
}

void flushStandardOutput()
{
    // The error flag also catches a buffered write that failed earlier
    // without the call that queued it noticing.
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        failStandardOutput();
}
