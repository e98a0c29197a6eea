// Running a solution's load commands.
#pragma once

#include <QString>
#include <QStringList>

/// Splits a command line into words like a POSIX shell without expansions:
/// blanks separate words, single quotes keep everything, double quotes keep
/// everything but a backslash before '"' or '\', and a backslash outside
/// quotes keeps the next character.
QStringList splitCommandLine(const QString &command);

/// How a load command ended.
struct LoadCommandResult {
    enum class Outcome {
        Exited,          ///< the program ran to its end; `status` tells how
        NotStarted,      ///< the command has no program word, or the program cannot be started
        OutputNotOpened, ///< a redirection file cannot be opened; nothing was run
    };
    Outcome outcome = Outcome::Exited;
    int status = 0;     ///< the exit code, or 128 + the signal that killed the program
    QString program;    ///< the program word; empty when the command has none
    QString outputFile; ///< the redirection file that could not be opened, as opened
};

/// Runs `words` (program, arguments, then redirections ">", "1>", "2>", "&>"
/// and their ">>" forms, each followed by a file name) from `workingDirectory`
/// and waits for the program alone: standard input and any output that is not
/// redirected are the null device, so a background child the program leaves
/// behind is not waited for. Redirection files are taken relative to
/// `workingDirectory`.
LoadCommandResult runLoadCommand(const QStringList &words, const QString &workingDirectory);
