// The version banner and the usage text.
#pragma once

#include <cstdio>

/// Writes the version banner to `stream` and flushes it.
void printVersionBanner(FILE *stream);
/// Writes the banner and the usage text to standard error.
void printUsage();
