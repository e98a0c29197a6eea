// $TMPDIR for the commands.
#include "tool/temporarydirectory.h"

#include "package/pathbytes.h"

QString temporaryDirectory()
{
    const QByteArray directory = qgetenv("TMPDIR");
    return pathFromBytes(directory.isEmpty() ? QByteArray("/tmp") : directory);
}
