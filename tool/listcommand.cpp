// -t: a directory listing of the members that match a wildcard.
//
// Its time should grow with the number of members alone: each line is put
// together by hand in one buffer, with the month names looked up once and
// one localtime_r per member (an offset taken once would be wrong across
// daylight-saving changes).
#include "package/packagearchive.h"
#include "tool/commands.h"
#include "tool/standardoutput.h"

#include <array>
#include <cstring>
#include <ctime>

namespace {

constexpr int kMonths = 12;
// The longest month name that keeps the date field within its 15 bytes.
constexpr std::size_t kMonthNameBytes = 5;
constexpr std::size_t kFlushAt = 64 * 1024;

/// The locale's abbreviated month names, each cut to kMonthNameBytes; a cut
/// never splits a UTF-8 sequence.
std::array<QByteArray, kMonths> monthNames()
{
    std::array<QByteArray, kMonths> names;
    for (int month = 0; month < kMonths; ++month) {
        struct tm parts;
        std::memset(&parts, 0, sizeof parts);
        parts.tm_mon = month;
        char buffer[64];
        const std::size_t length = std::strftime(buffer, sizeof buffer, "%b", &parts);
        std::size_t cut = length < kMonthNameBytes ? length : kMonthNameBytes;
        while (cut > 0 && cut < length && (static_cast<unsigned char>(buffer[cut]) & 0xC0) == 0x80)
            --cut;
        names[std::size_t(month)] = QByteArray(buffer, int(cut));
    }
    return names;
}

int localYear(time_t seconds)
{
    struct tm parts;
    localtime_r(&seconds, &parts);
    return parts.tm_year;
}

/// Listing lines, gathered and written to standard output in large pieces.
class ListingText {
public:
    ListingText() : m_months(monthNames()), m_currentYear(localYear(std::time(nullptr)))
    {
        m_text.reserve(kFlushAt + 1024);
    }

    /// "%s  %8lu  %s  %s\n": permissions, size, date, name.
    void addLine(const PackageArchiveFile &member)
    {
        addPermissions(member.mode());
        m_text += "  ";
        addNumber(member.size(), 8, ' ');
        m_text += "  ";
        addDate(member.time());
        m_text += "  ";
        addName(member.name());
        m_text += '\n';
        if (m_text.size() >= kFlushAt)
            flush();
    }

    /// "%d Files, %d Bytes\n"; the total wraps as a signed 32-bit sum.
    void addSummary(int count, quint32 total)
    {
        char line[64];
        const int length = std::snprintf(line, sizeof line, "%d Files, %d Bytes\n", count, qint32(total));
        m_text.append(line, std::size_t(length));
    }

    void flush()
    {
        writeStandardOutput(m_text.data(), m_text.size());
        m_text.clear();
    }

private:
    // "-" then rwx for owner, group and others. The first character is always
    // "-": the listing does not show file types.
    void addPermissions(quint32 mode)
    {
        static const char kLetters[] = "rwxrwxrwx";
        m_text += '-';
        for (int bit = 0; bit < 9; ++bit)
            m_text += (mode & (0400u >> bit)) ? kLetters[bit] : '-';
    }

    /// The decimal digits of `value`, right-aligned in `width` with `pad`.
    void addNumber(quint32 value, std::size_t width, char pad)
    {
        char digits[10];
        std::size_t count = 0;
        do {
            digits[count++] = char('0' + value % 10);
            value /= 10;
        } while (value > 0);
        if (count < width)
            m_text.append(width - count, pad);
        while (count > 0)
            m_text += digits[--count];
    }

    // Current year: "%s %2d %02d:%02d" (month, day, hour, minute); any other
    // year: "%s %2d %5d" (month, day, year).
    void addDate(quint32 seconds)
    {
        const time_t time = static_cast<time_t>(seconds);
        struct tm parts;
        std::memset(&parts, 0, sizeof parts);
        localtime_r(&time, &parts);
        const QByteArray &month = m_months[std::size_t(parts.tm_mon)];
        m_text.append(month.constData(), std::size_t(month.size()));
        m_text += ' ';
        addNumber(quint32(parts.tm_mday), 2, ' ');
        m_text += ' ';
        if (parts.tm_year == m_currentYear) {
            addNumber(quint32(parts.tm_hour), 2, '0');
            m_text += ':';
            addNumber(quint32(parts.tm_min), 2, '0');
        } else {
            addNumber(quint32(parts.tm_year + 1900), 5, ' ');
        }
    }

    /// One byte per character: Latin-1, "?" for a character above U+00FF.
    void addName(const QString &name)
    {
        for (const QChar c : name)
            m_text += c.unicode() <= 0xFF ? char(c.unicode()) : '?';
    }

    const std::array<QByteArray, kMonths> m_months;
    const int m_currentYear;
    std::string m_text;
};

} // namespace

void runListCommand(const ToolOptions &, CommandContext &context)
{
    const QString wildcard =
        context.arguments.isEmpty() ? QStringLiteral("*") : context.arguments.first();

    ListingText text;
    int count = 0;
    quint32 total = 0;
    for (PackageArchiveFile *member : context.archive->match(wildcard)) {
        text.addLine(*member);
        ++count;
        total += member->size();
    }
    text.addSummary(count, total);
    text.flush();
    flushStandardOutput();
}
