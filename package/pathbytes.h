// Paths as the system takes them: one byte per character both ways, so file
// names of any bytes, UTF-8 or not, pass through unchanged whatever the
// user's locale says.
#pragma once

#include <QByteArray>
#include <QString>

/// The bytes handed to the system for `path`: each character as its Latin-1
/// byte (a character above U+00FF becomes "?").
inline QByteArray pathBytes(const QString &path)
{
    return path.toLatin1();
}

/// The path string of bytes the system gave back: one character per byte.
inline QString pathFromBytes(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes);
}
