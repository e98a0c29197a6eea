// libFuzzer harness: reading, writing and preprocessing arbitrary text must
// end and must not crash.
#include "xml/tests/fuzzpreprocess.h"

#include <QTemporaryDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir directory;
    fuzzXMLPreprocessor<XMLPP2>(directory.path(), data, size);
    return 0;
}
