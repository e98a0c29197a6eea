// libFuzzer harness: the input is a whole package file.
#include "fuzzsupport.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    exercisePackage(fuzzFileWith(QByteArray(reinterpret_cast<const char *>(data), int(size))));
    return 0;
}
