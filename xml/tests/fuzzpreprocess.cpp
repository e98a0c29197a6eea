// libFuzzer harness: reading, writing and preprocessing arbitrary text must
// end and must not crash.
#include "xml/tests/fuzzpreprocess.h"

#include <QTemporaryDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir directory;
    fuzzXMLPreprocessor(directory.path(), data, size, [] { return std::make_unique<XMLPP2>(); });
    return 0;
}
