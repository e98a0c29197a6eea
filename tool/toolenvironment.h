// The settings the driver takes from the environment: SOURCE_DATE_EPOCH for
// reproducible packages, DURIV_DEPFILE for the build that runs duriv and
// DURIV_THREADS for the threads that compress a package.
// Nothing below the driver reads the environment; the values travel in
// ToolOptions.
#pragma once

#include "tool/tooloptions.h"

#include <QByteArray>

/// A SOURCE_DATE_EPOCH value as read.
struct SourceDateEpoch {
    enum class State {
        Unset,      ///< not set, or empty
        Number,     ///< one or more decimal digits and nothing else
        NotANumber, ///< anything else: ignored with a warning
    };
    State state = State::Unset;
    /// For Number: the value, where any value above 4294967295 (the latest
    /// time a member can store, in 2106) counts as 4294967295.
    quint32 seconds = 0;
};

/// Reads a SOURCE_DATE_EPOCH value (null when the variable is not set).
SourceDateEpoch parseSourceDateEpoch(const QByteArray &value);

/// A DURIV_THREADS value as read: the number of threads (1 to 9999; more
/// counts as 9999), or 0 when unset, empty or not a positive decimal number.
int parseThreadCount(const QByteArray &value);

/// Sets `options.sourceDateEpoch`, `options.dependencyFile` and
/// `options.compressionThreads` from the environment. A SOURCE_DATE_EPOCH
/// that is not a number prints "warning: SOURCE_DATE_EPOCH is not a number,
/// ignored\n" on stderr and changes nothing; a DURIV_THREADS that is set but
/// not a positive number prints "warning: DURIV_THREADS is not a positive
/// number, ignored\n".
void readToolEnvironment(ToolOptions &options);
