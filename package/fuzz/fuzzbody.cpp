// libFuzzer harness: a valid header and a mutated body. The first input byte
// picks the form (bits 0-1) and whether the rest is the plain body, which the
// harness compresses (bit 2 clear), or the compressed stream itself.
#include "fuzzsupport.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray body(reinterpret_cast<const char *>(data + 1), int(size - 1));
    exercisePackage(fuzzFileWith(fuzzPackageFromBody(data[0] & 3, (data[0] & 4) == 0, body)));
    return 0;
}
