// SOURCE_DATE_EPOCH and DURIV_DEPFILE, read once by the driver.
#include "tool/toolenvironment.h"

#include "package/pathbytes.h"

#include <QtGlobal>

#include <cstdio>
#include <limits>

namespace {

const char kSourceDateEpoch[] = "SOURCE_DATE_EPOCH";
const char kDependencyFile[] = "DURIV_DEPFILE";
const char kEpochIgnored[] = "warning: SOURCE_DATE_EPOCH is not a number, ignored\n";

constexpr quint32 kLatestStoredTime = std::numeric_limits<quint32>::max();

} // namespace

SourceDateEpoch parseSourceDateEpoch(const QByteArray &value)
{
    SourceDateEpoch epoch;
    if (value.isEmpty())
        return epoch;
    quint64 seconds = 0;
    for (const char c : value) {
        if (c < '0' || c > '9') {
            epoch.state = SourceDateEpoch::State::NotANumber;
            return epoch;
        }
        // Saturating: once past the latest storable time, every digit keeps it there.
        seconds = qMin<quint64>(seconds * 10 + quint64(c - '0'), quint64(kLatestStoredTime) + 1);
    }
    epoch.state = SourceDateEpoch::State::Number;
    epoch.seconds = quint32(qMin<quint64>(seconds, kLatestStoredTime));
    return epoch;
}

void readToolEnvironment(ToolOptions &options)
{
    const SourceDateEpoch epoch = parseSourceDateEpoch(qgetenv(kSourceDateEpoch));
    switch (epoch.state) {
    case SourceDateEpoch::State::Unset:
        break;
    case SourceDateEpoch::State::Number:
        options.sourceDateEpoch = epoch.seconds;
        break;
    case SourceDateEpoch::State::NotANumber:
        std::fflush(stdout);
        std::fputs(kEpochIgnored, stderr);
        break;
    }
    options.dependencyFile = pathFromBytes(qgetenv(kDependencyFile));
}
