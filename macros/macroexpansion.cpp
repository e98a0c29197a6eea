// The $(NAME) reference language: macro lists, clock macros and the expansion passes.
#include "macros/macromap.h"
#include "macros/propertyclass.h"

#include <QDateTime>
#include <QLocale>

#include <climits>
#include <vector>

namespace {

// A reference whose name is defined nowhere but which holds an introducer is
// re-emitted with the rescan flag set and would be rescanned for ever; no
// legitimate nesting comes close to this many passes.
constexpr int kMaxExpansionPasses = 64;

// A value that refers to itself twice doubles the text on every rescan, which
// would exhaust memory long before the pass bound. A rescan pass whose output
// grows this many characters beyond the first pass's output is abandoned and
// the previous pass's text returned. The first pass is never cut short: its
// output is what the caller's text and tables say it is.
constexpr int kMaxRescanGrowth = 1 << 20;

// What one pass asks of its working text, answered in constant time so that
// a pass stays linear however the references nest or fail to close.
class PassIndex {
public:
    PassIndex(const QString &text, QChar introducer)
        : m_length(text.size()), m_close(m_length, m_length), m_introducers(m_length + 1, 0),
          m_colon(m_length + 1, m_length)
    {
        std::vector<int> openings;
        for (int k = 0; k < m_length; ++k) {
            const QChar ch = text.at(k);
            m_introducers[k + 1] = m_introducers[k] + (ch == introducer ? 1 : 0);
            if (ch == QLatin1Char('(')) {
                openings.push_back(k);
            } else if (ch == QLatin1Char(')') && !openings.empty()) {
                m_close[openings.back()] = k;
                openings.pop_back();
            }
        }
        for (int k = m_length - 1; k >= 0; --k)
            m_colon[k] = text.at(k) == QLatin1Char(':') ? k : m_colon[k + 1];
    }

    /// The ")" that brings the depth opened by the "(" at `open` back to zero,
    /// or the text length when the text ends first.
    int matchingClose(int open) const { return m_close[open]; }
    /// Whether [from, to) holds an introducer.
    bool hasIntroducer(int from, int to) const
    {
        return from < to && m_introducers[to] - m_introducers[from] > 0;
    }
    /// The first ":" at or after `from`, or the text length.
    int nextColon(int from) const { return from < m_length ? m_colon[from] : m_length; }

private:
    int m_length;
    std::vector<int> m_close;
    std::vector<int> m_introducers;
    std::vector<int> m_colon;
};

} // namespace

MacroMap parseMacroList(const QString &text)
{
    MacroMap table;
    QString entry;
    int equals = -1; // position of the first unescaped "=" in entry
    const auto finishEntry = [&]() {
        // Empty entries come from doubled or trailing separators and define nothing.
        if (!entry.isEmpty()) {
            if (equals < 0)
                table.insert(entry, QString());
            else
                table.insert(entry.left(equals), entry.mid(equals + 1));
        }
        entry.clear();
        equals = -1;
    };

    for (int i = 0; i < text.size(); ++i) {
        const QChar ch = text.at(i);
        if (ch == QLatin1Char('\\')) {
            if (i + 1 < text.size())
                entry += text.at(++i);
        } else if (ch == QLatin1Char(';')) {
            finishEntry();
        } else {
            if (ch == QLatin1Char('=') && equals < 0)
                equals = entry.size();
            entry += ch;
        }
    }
    finishEntry();
    return table;
}

bool dynamicMacroValue(const QString &name, QString &out)
{
    static const char *const kFormats[][2] = {
        {"Date", "d MMMM yyyy"}, {"DateYear", "yyyy"}, {"DateMonth", "MM"},
        {"DateDay", "dd"},       {"Time", "hh:mm:ss"}, {"TimeHour", "hh"},
        {"TimeMinute", "mm"},    {"TimeSecond", "ss"},
    };

    if (name == QLatin1String("UnixTime")) {
        out = QString::number(static_cast<quint64>(QDateTime::currentSecsSinceEpoch()));
        return true;
    }
    for (const auto &entry : kFormats) {
        if (name == QLatin1String(entry[0])) {
            // The C locale keeps month names English whatever the machine's locale is.
            out = QLocale::c().toString(QDateTime::currentDateTime(), QLatin1String(entry[1]));
            return true;
        }
    }
    return false;
}

QString expandGlobalMacros(const QString &text)
{
    return globalPropertyClassList().expandMacros(text, MacroMap(), true, true);
}

QString expandSystemMacros(const QString &text)
{
    return globalPropertyClassList().expandMacros(text, MacroMap(), false, true);
}

QString PropertyClassList::expandMacros(const QString &text, const MacroMap &local,
                                        bool useOverrides, bool useGlobals) const
{
    const QChar introducer = QLatin1Char(m_introducer);
    const QChar open = QLatin1Char('(');
    const QChar colon = QLatin1Char(':');

    // The first consulted table that defines the name, or null.
    const auto lookup = [&](const QString &name) -> const QString * {
        auto it = local.constFind(name);
        if (it != local.constEnd())
            return &it.value();
        if (useOverrides) {
            it = m_overrides.constFind(name);
            if (it != m_overrides.constEnd())
                return &it.value();
        }
        if (useGlobals) {
            it = m_macros.constFind(name);
            if (it != m_macros.constEnd())
                return &it.value();
        }
        return nullptr;
    };

    int rescanLimit = 0; // set once the first pass is done
    QString working = text;
    QString result;
    for (int pass = 1;; ++pass) {
        // Text without an introducer comes out as it went in, with no rescan.
        if (!working.contains(introducer))
            return working;

        const int length = working.size();
        const PassIndex index(working, introducer);
        result.clear();
        result.reserve(length);
        bool rescan = false;
        int i = 0;
        while (i < length) {
            const QChar ch = working.at(i);
            if (ch != introducer) {
                result += ch;
                ++i;
                continue;
            }
            if (i + 1 == length) {
                result += introducer;
                break;
            }
            const QChar next = working.at(i + 1);
            if (next != open) {
                result += introducer;
                i += next == introducer ? 2 : 1;
                continue;
            }

            // The inner text runs from i + 2 to the matching ")" at j, or to the
            // end of the text when there is none.
            const int j = index.matchingClose(i + 1);
            const bool terminated = j < length;
            if (index.hasIntroducer(i + 2, j))
                rescan = true;

            // The default starts after the first ":" (or "::"); -1 means there is
            // none and an undefined name leaves the reference as it stands.
            int defaultStart = -1;
            const int split = index.nextColon(i + 2);
            if (split < j) {
                if (split + 1 < j && working.at(split + 1) == colon) {
                    // A literal default is never rescanned, even when it holds references.
                    defaultStart = split + 2;
                    rescan = false;
                } else {
                    defaultStart = split + 1;
                }
            }

            if (!terminated) {
                // Only the introducer goes; "(" and the rest are read again as plain text.
                ++i;
                continue;
            }

            const QString name = working.mid(i + 2, (defaultStart < 0 ? j : split) - i - 2);
            if (const QString *stored = lookup(name)) {
                QString clock;
                result += dynamicMacroValue(name, clock) ? clock : *stored;
            } else if (defaultStart < 0) {
                result += working.midRef(i, j - i + 1);
            } else {
                result += working.midRef(defaultStart, j - defaultStart);
            }
            i = j + 1;
            if (pass > 1 && result.size() > rescanLimit)
                return working;
        }

        if (!rescan || pass == kMaxExpansionPasses)
            return result;
        if (pass == 1)
            rescanLimit = result.size() > INT_MAX - kMaxRescanGrowth ? INT_MAX : result.size() + kMaxRescanGrowth;
        working = result;
    }
}
