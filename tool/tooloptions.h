// The result of the option scan and of the environment the driver reads,
// read by every command.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

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

    // From the environment (tool/toolenvironment.h), for -c, -r and -hzr.
    /// SOURCE_DATE_EPOCH: members added store no later time, and directory
    /// entries and wildcard matches are taken in byte order. None: the
    /// files' own times and the file system's order.
    std::optional<quint32> sourceDateEpoch;
    /// DURIV_DEPFILE: where to write the make rule naming every input of the
    /// package or archive written; empty for none. Latin-1, one character
    /// per byte.
    QString dependencyFile;
    /// DURIV_THREADS: at most this many threads compress a zlib package
    /// (1: none besides the main one); 0: one per online core.
    int compressionThreads = 0;
};

/// Scans argv[1..argc-1]. Throws HException "argument expected" or
/// "unknown option " + name.
ToolOptions scanToolOptions(int argc, char **argv);
