// Where the commands keep private files: the user's $TMPDIR, read here in the
// driver and handed down to the libraries that need a place.
#pragma once

#include <QString>

/// $TMPDIR, or /tmp when it is unset or empty.
QString temporaryDirectory();
