// The product, host, directory and extension macros and the installation's
// configuration file.
#pragma once

#include <QString>

/// Reads configurationFilePath(installDir) when it exists, then defines the
/// standard product and directory macros in the global list.
void defineStandardMacros(const QString &installDir);

/// The installation's configuration file: installDir + "/bin/config.xml".
QString configurationFilePath(const QString &installDir);

/// Expands `text` with expandSystemMacros(), defines PackagesDir with it and
/// creates its "targets" subdirectory when missing.
void setPackagesDirectory(const QString &text);

/// The user root directory: the "root-user-dir" setting, else
/// MARROWGATE_ROOT_USER_DIR, else HOME + "/.varnix". Computed once.
QString userRootDirectory();

/// userRootDirectory() + "/" + the product's full name + "/v3".
QString studioUserDirectory();

/// A value of the settings store filled by the configuration file; empty when unset.
QString settingValue(const QString &name);

/// The five-digit release number: the major digit, the first two characters
/// of `minor`, then "00", or for a three-character minor the patch letter's
/// number in two digits (a = 01, b = 02, ...; case is ignored).
QString lodestarVersionNumber(int major, const QString &minor);

/// Forgets the cached user root directory and the settings store, so a test
/// can run the set-up again with another environment.
void resetGlobalMacroState();
