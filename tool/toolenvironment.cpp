// SOURCE_DATE_EPOCH, DURIV_DEPFILE and DURIV_THREADS, read once by the driver.
#include "tool/toolenvironment.h"

#include "package/pathbytes.h"

#include <QtGlobal>

#include <cstdio>
#include <limits>

namespace {

const char kSourceDateEpoch[] = "SOURCE_DATE_EPOCH";
const char kDependencyFile[] = "DURIV_DEPFILE";
const char kEpochIgnored[] = "warning: SOURCE_DATE_EPOCH is not a number, ignored\n";
const char kThreads[] = "DURIV_THREADS";
const char kThreadsIgnored[] = "warning: DURIV_THREADS is not a positive number, ignored\n";

constexpr int kMostThreads = 9999;

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

int parseThreadCount(const QByteArray &value)
{
    int threads = 0;
    for (const char c : value) {
        if (c < '0' || c > '9')
            return 0;
        threads = qMin(threads * 10 + (c - '0'), kMostThreads + 1);
    }
    return qMin(threads, kMostThreads);
}

namespace {

void warn(const char *message)
{
    std::fflush(stdout);
    std::fputs(message, stderr);
}

} // namespace

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
        warn(kEpochIgnored);
        break;
    }
    options.dependencyFile = pathFromBytes(qgetenv(kDependencyFile));
    const QByteArray threads = qgetenv(kThreads);
    options.compressionThreads = parseThreadCount(threads);
    if (!threads.isEmpty() && options.compressionThreads == 0)
        warn(kThreadsIgnored);
}
