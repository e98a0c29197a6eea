// The error type of the archive layer, the driver and the file utilities.
#pragma once

#include "package/pathbytes.h"

#include <QByteArray>
#include <QString>

#include <exception>

/// Carries one message as 8-bit text. Thrown, never returned; the driver
/// prints it as "error: <message>".
class HException : public std::exception {
public:
    explicit HException(QByteArray message) : m_message(std::move(message)) {}
    /// Latin-1 conversion, so names read from the command line print back unchanged.
    explicit HException(const QString &message) : m_message(message.toLatin1()) {}
    explicit HException(const char *message) : m_message(message) {}
    /// A message about a file or member: `phrase` followed directly by the
    /// bytes of `path` (or name), with no quotes.
    HException(const char *phrase, const QString &path) : m_message(phrase + pathBytes(path)) {}

    const QByteArray &message() const { return m_message; }
    const char *what() const noexcept override { return m_message.constData(); }

private:
    QByteArray m_message;
};
