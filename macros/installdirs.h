// Where the running executable and its installation live.
#pragma once

#include <QString>

/// Records the executable's path (the /proc/self/exe link, else argv0), its
/// canonical directory and the canonical directory one level above it.
/// Never fails.
void recordInstallationDirectories(const char *argv0);

QString executablePath();
QString executableDirectory();
/// The installation directory: the canonical parent of executableDirectory().
QString installationDirectory();
