// The result of the option scan, read by every command.
#pragma once

#include <QString>
#include <QStringList>

enum class ToolCommand {
    None = 0,
    Create = 1,
    Remove = 2,
    Output = 3,
    Replace = 4,
    List = 5,
    Extract = 6,
    Info = 7,
    ProjectArchive = 8,
};

struct ToolOptions {
    ToolCommand command = ToolCommand::None;
    bool verbose = false;
    bool showVersion = false;
    bool overwrite = false;
    bool readOnly = false;
    bool useBzip2 = false;
    /// Negative: the default level; above 9 counts as 9 (applied when saving).
    int compressLevel = -1;
    /// -1: no version asked for.
    int formatVersion = -1;
    QStringList excludePaths;
    /// Every non-option argument in order; Latin-1, one character per byte.
    QStringList fileArguments;
};

/// Scans argv[1..argc-1]. Throws HException "argument expected" or
/// "unknown option " + name.
ToolOptions scanToolOptions(int argc, char **argv);
