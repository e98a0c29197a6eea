// Reading the files the tool is handed to read (solution, import, include,
// template and configuration files), which must be regular files.
#pragma once

#include <QByteArray>

#include <optional>

/// Opens `path` (an 8-bit file name; links followed) for reading without
/// blocking and, when the opened file is a regular file, reads it whole, or
/// its first `limit` bytes when `limit` is not negative. Returns nothing when
/// the file cannot be opened or read, is not a regular file (a FIFO, a
/// device, a directory) or holds more than 1 GiB: such a file is never
/// waited on and never read without end.
std::optional<QByteArray> readRegularFile(const QByteArray &path, qint64 limit = -1);

/// Whether `path` opens, without blocking, as a regular file that may be read.
bool isReadableRegularFile(const QByteArray &path);
