// Running a solution's load commands.
#pragma once

#include <QString>
#include <QStringList>

/// Splits a command line into words like a POSIX shell without expansions:
/// blanks separate words, single quotes keep everything, double quotes keep
/// everything but a backslash before '"' or '\', and a backslash outside
/// quotes keeps the next character.
QStringList splitCommandLine(const QString &command);

/// Runs `words` (program, arguments, then redirections ">", "1>", "2>", "&>"
/// and their ">>" forms, each followed by a file name) from `workingDirectory`
/// and waits. Output that is not redirected is read and discarded. Returns
/// the exit code, 128 + the signal for a killed program, or -1 when the
/// program cannot be started.
int runLoadCommand(const QStringList &words, const QString &workingDirectory);
