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
        // Room for the longest line; what is not used is cut off again.
        const QString &name = member.name();
        const std::size_t start = m_text.size();
        m_text.resize(start + kLongestFixedPart + std::size_t(name.size()));
        char *out = &m_text[start];
        out = putPermissions(out, member.mode());
        out = putBlanks(out);
        out = putNumber(out, member.size(), 8, ' ');
        out = putBlanks(out);
        out = putDate(out, member.time());
        out = putBlanks(out);
        out = putName(out, name);
        *out++ = '\n';
        m_text.resize(std::size_t(out - m_text.data()));
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
    // Permissions, size (up to 10 digits), date (at most 15 bytes), three
    // separators and the newline.
    static constexpr std::size_t kLongestFixedPart = 10 + 10 + 15 + 3 * 2 + 1;

    static char *putBlanks(char *out)
    {
        *out++ = ' ';
        *out++ = ' ';
        return out;
    }

    // "-" then rwx for owner, group and others. The first character is always
    // "-": the listing does not show file types.
    static char *putPermissions(char *out, quint32 mode)
    {
        static const char kLetters[] = "rwxrwxrwx";
        *out++ = '-';
        for (int bit = 0; bit < 9; ++bit)
            *out++ = (mode & (0400u >> bit)) ? kLetters[bit] : '-';
        return out;
    }

    /// The decimal digits of `value`, right-aligned in `width` with `pad`.
    static char *putNumber(char *out, quint32 value, int width, char pad)
    {
        char digits[10];
        int count = 0;
        do {
            digits[count++] = char('0' + value % 10);
            value /= 10;
        } while (value > 0);
        for (int i = count; i < width; ++i)
            *out++ = pad;
        while (count > 0)
            *out++ = digits[--count];
        return out;
    }

    // Current year: "%s %2d %02d:%02d" (month, day, hour, minute); any other
    // year: "%s %2d %5d" (month, day, year).
    char *putDate(char *out, quint32 seconds) const
    {
        const time_t time = static_cast<time_t>(seconds);
        struct tm parts;
        std::memset(&parts, 0, sizeof parts);
        localtime_r(&time, &parts);
        const QByteArray &month = m_months[std::size_t(parts.tm_mon)];
        std::memcpy(out, month.constData(), std::size_t(month.size()));
        out += month.size();
        *out++ = ' ';
        out = putNumber(out, quint32(parts.tm_mday), 2, ' ');
        *out++ = ' ';
        if (parts.tm_year == m_currentYear) {
            out = putNumber(out, quint32(parts.tm_hour), 2, '0');
            *out++ = ':';
            return putNumber(out, quint32(parts.tm_min), 2, '0');
        }
        return putNumber(out, quint32(parts.tm_year + 1900), 5, ' ');
    }

    /// One byte per character: Latin-1, "?" for a character above U+00FF.
    static char *putName(char *out, const QString &name)
    {
        for (const QChar c : name)
            *out++ = c.unicode() <= 0xFF ? char(c.unicode()) : '?';
        return out;
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
