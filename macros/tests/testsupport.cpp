#include "testsupport.h"

#include <QFile>
#include <QTemporaryFile>

#include <cstdio>
#include <unistd.h>

ScopedEnvironmentVariable::ScopedEnvironmentVariable(const char *name, const std::optional<QByteArray> &value)
    : m_name(name)
{
    if (qEnvironmentVariableIsSet(name))
        m_saved = qgetenv(name);
    set(name, value);
}

void ScopedEnvironmentVariable::set(const char *name, const std::optional<QByteArray> &value)
{
    if (value)
        qputenv(name, *value);
    else
        qunsetenv(name);
}

QByteArray captureStandardOutput(const std::function<void()> &call)
{
    QTemporaryFile sink;
    if (!sink.open())
        return QByteArray("<cannot open capture file>");
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    dup2(sink.handle(), STDOUT_FILENO);
    call();
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    QFile reader(sink.fileName());
    return reader.open(QIODevice::ReadOnly) ? reader.readAll() : QByteArray("<cannot read capture file>");
}
