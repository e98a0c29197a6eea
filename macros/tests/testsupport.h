// Helpers shared by the macros tests.
#pragma once

#include <QByteArray>

#include <functional>
#include <optional>

/// Sets (or unsets) one environment variable and puts the old state back on destruction.
class ScopedEnvironmentVariable {
public:
    ScopedEnvironmentVariable(const char *name, const std::optional<QByteArray> &value);
    ~ScopedEnvironmentVariable() { set(m_name.constData(), m_saved); }
    ScopedEnvironmentVariable(const ScopedEnvironmentVariable &) = delete;
    ScopedEnvironmentVariable &operator=(const ScopedEnvironmentVariable &) = delete;

private:
    static void set(const char *name, const std::optional<QByteArray> &value);
    QByteArray m_name;
    std::optional<QByteArray> m_saved;
};

/// Runs `call` with file descriptor 1 sent to a temporary file and returns what it wrote.
QByteArray captureStandardOutput(const std::function<void()> &call);
