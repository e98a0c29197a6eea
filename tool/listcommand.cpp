// -t: a directory listing of the members that match a wildcard.
#include "package/packagearchive.h"
#include "tool/commands.h"
#include "tool/standardoutput.h"

#include <cstring>
#include <ctime>

namespace {

// "-" then rwx for owner, group and others. The first character is always
// "-": the listing does not show file types.
QByteArray permissionText(quint32 mode)
{
    static const char kLetters[] = "rwxrwxrwx";
    QByteArray text(10, '-');
    for (int bit = 0; bit < 9; ++bit) {
        if (mode & (0400u >> bit))
            text[bit + 1] = kLetters[bit];
    }
    return text;
}

// The locale's abbreviated month, at most five bytes so that the date field
// holds; a cut never splits a UTF-8 sequence.
QByteArray monthName(const struct tm &parts)
{
    char buffer[64];
    const std::size_t length = std::strftime(buffer, sizeof buffer, "%b", &parts);
    std::size_t cut = length < 5 ? length : 5;
    while (cut > 0 && cut < length && (static_cast<unsigned char>(buffer[cut]) & 0xC0) == 0x80)
        --cut;
    return QByteArray(buffer, static_cast<int>(cut));
}

int localYear(time_t seconds)
{
    struct tm parts;
    localtime_r(&seconds, &parts);
    return parts.tm_year;
}

// Current year: month, day, hour and minute; any other year: month, day, year.
QByteArray dateText(quint32 seconds, int currentYear)
{
    const time_t time = static_cast<time_t>(seconds);
    struct tm parts;
    std::memset(&parts, 0, sizeof parts);
    localtime_r(&time, &parts);
    char field[32];
    const QByteArray month = monthName(parts);
    if (parts.tm_year == currentYear)
        std::snprintf(field, sizeof field, "%s %2d %02d:%02d", month.constData(), parts.tm_mday,
                      parts.tm_hour, parts.tm_min);
    else
        std::snprintf(field, sizeof field, "%s %2d %5d", month.constData(), parts.tm_mday,
                      parts.tm_year + 1900);
    return QByteArray(field);
}

} // namespace

void runListCommand(const ToolOptions &, CommandContext &context)
{
    const QString wildcard =
        context.arguments.isEmpty() ? QStringLiteral("*") : context.arguments.first();
    const int currentYear = localYear(std::time(nullptr));

    int count = 0;
    // The total is a 32-bit signed sum: it wraps as the listing always has.
    quint32 total = 0;
    for (PackageArchiveFile *member : context.archive->match(wildcard)) {
        printStandardOutput("%s  %8lu  %s  %s\n", permissionText(member->mode()).constData(),
                            static_cast<unsigned long>(member->size()),
                            dateText(member->time(), currentYear).constData(),
                            member->name().toLatin1().constData());
        ++count;
        total += member->size();
    }
    printStandardOutput("%d Files, %d Bytes\n", count, static_cast<qint32>(total));
    flushStandardOutput();
}
