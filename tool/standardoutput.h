// Checked writes to standard output for the commands whose output is their
// result (-t, -f, -info): a failing standard output ends the command with
// "cannot write to standard output" instead of a silent success.
#pragma once

#include <QByteArray>

#include <cstddef>

/// Writes `length` bytes; throws HException "cannot write to standard output".
void writeStandardOutput(const char *data, std::size_t length);
void writeStandardOutput(const QByteArray &bytes);
/// printf to standard output, with the same check.
void printStandardOutput(const char *format, ...) __attribute__((format(printf, 1, 2)));
/// Flushes standard output, with the same check; call at the end of the command.
void flushStandardOutput();
