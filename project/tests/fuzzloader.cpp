// libFuzzer harness: loading any text as a solution file ends without a crash.
#include "project/tests/fuzzloader.h"

#include <QTemporaryDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir directory;
    fuzzSolutionLoader(directory.path(), data, size);
    return 0;
}
