// Shared by the libFuzzer harnesses: an in-memory file to load from, and the
// walk over a loaded package that the reading commands do.
#pragma once

#include <QByteArray>
#include <QString>

/// Holds `bytes` in a memory file and answers a path that opens it.
QString fuzzFileWith(const QByteArray &bytes);

/// Loads the package at `path`, lists it, reads members in body order and
/// reads the description, swallowing the HExceptions that bad input earns.
void exercisePackage(const QString &path);

/// Wraps a plain body in a valid header of the form `form` picks (modulo 4):
/// version 2 with zlib, version 2 with bzip2, version 1 wrapped, version 1
/// bare. With `compress` false, the bytes after the header are taken as the
/// already compressed stream, so the decoders meet the mutations directly.
QByteArray fuzzPackageFromBody(unsigned form, bool compress, const QByteArray &body);
