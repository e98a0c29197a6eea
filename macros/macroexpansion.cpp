// The $(NAME) reference language: clock macros and the expansion passes.
#include "macros/macroexpansion.h"

#include <QDateTime>
#include <QLocale>

#include <algorithm>
#include <climits>
#include <initializer_list>
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

// A "$(" reference as read at its introducer: the inner text runs from
// `start` to the matching ")" at `close` (the text length when unterminated).
struct Reference {
    int start;
    int close;
    int nameEnd;
    int defaultStart; // -1: no default, an undefined name stays as written
    bool terminated;
};

// One left-to-right scan of the working text.
class ExpansionPass {
public:
    ExpansionPass(const QString &text, QChar introducer, const MacroTables &tables, int limit)
        : m_text(text), m_introducer(introducer), m_tables(tables), m_limit(limit),
          m_index(text, introducer)
    {
    }

    /// The pass's output; grewPastLimit() tells when it was abandoned instead.
    QString run();
    bool rescan() const { return m_rescan; }
    bool grewPastLimit() const { return m_grewPastLimit; }

private:
    void copyIntroducer();
    Reference readReference();
    void appendValue(const Reference &reference);

    const QString &m_text;
    const QChar m_introducer;
    const MacroTables &m_tables;
    const int m_limit;
    const PassIndex m_index;
    QString m_result;
    int m_i = 0;
    bool m_rescan = false;
    bool m_grewPastLimit = false;
};

QString ExpansionPass::run()
{
    const int length = m_text.size();
    m_result.reserve(length);
    while (m_i < length) {
        if (m_text.at(m_i) != m_introducer) {
            m_result += m_text.at(m_i++);
        } else if (m_i + 1 == length) {
            m_result += m_introducer;
            break;
        } else if (m_text.at(m_i + 1) != QLatin1Char('(')) {
            copyIntroducer();
        } else {
            const Reference reference = readReference();
            if (!reference.terminated) {
                // Only the introducer goes; "(" and the rest are read again as plain text.
                ++m_i;
                continue;
            }
            appendValue(reference);
            m_i = reference.close + 1;
            if (m_result.size() > m_limit) {
                m_grewPastLimit = true;
                break;
            }
        }
    }
    return m_result;
}

// An introducer not opening a reference is copied; a doubled one is an escape
// for one introducer.
void ExpansionPass::copyIntroducer()
{
    m_result += m_introducer;
    m_i += m_text.at(m_i + 1) == m_introducer ? 2 : 1;
}

// Reads the reference at m_i, and sets or clears the rescan flag as its inner
// text asks: an introducer inside asks for a rescan, a "::" default cancels
// what the pass has asked so far.
Reference ExpansionPass::readReference()
{
    Reference reference;
    reference.start = m_i + 2;
    reference.close = m_index.matchingClose(m_i + 1);
    reference.terminated = reference.close < m_text.size();
    reference.nameEnd = reference.close;
    reference.defaultStart = -1;
    if (m_index.hasIntroducer(reference.start, reference.close))
        m_rescan = true;
    const int split = m_index.nextColon(reference.start);
    if (split < reference.close) {
        reference.nameEnd = split;
        if (split + 1 < reference.close && m_text.at(split + 1) == QLatin1Char(':')) {
            // A literal default is never rescanned, even when it holds references.
            reference.defaultStart = split + 2;
            m_rescan = false;
        } else {
            reference.defaultStart = split + 1;
        }
    }
    return reference;
}

// A defined name gives its value (a clock macro its current value); an
// undefined one its default, or the reference as written when it has none.
void ExpansionPass::appendValue(const Reference &reference)
{
    const QString name = m_text.mid(reference.start, reference.nameEnd - reference.start);
    if (const QString *stored = m_tables.find(name)) {
        QString clock;
        m_result += dynamicMacroValue(name, clock) ? clock : *stored;
    } else if (reference.defaultStart < 0) {
        m_result += m_text.midRef(reference.start - 2, reference.close - reference.start + 3);
    } else {
        m_result += m_text.midRef(reference.defaultStart, reference.close - reference.defaultStart);
    }
}

} // namespace

const QString *MacroTables::find(const QString &name) const
{
    for (const MacroMap *table : {local, overrides, globals}) {
        if (!table)
            continue;
        const auto it = table->constFind(name);
        if (it != table->constEnd())
            return &it.value();
    }
    return nullptr;
}

namespace {

// The passes: each one's output is the next one's text while a pass asks for
// a rescan, up to the pass bound and the growth bound. A pass that passes
// `maxLength` gives nothing, unless the growth bound stopped it first.
std::optional<QString> expandInPasses(const QString &text, const MacroTables &tables, QChar introducer,
                                      int maxLength)
{
    int growthLimit = INT_MAX;
    QString working = text;
    for (int pass = 1;; ++pass) {
        // Text without an introducer comes out as it went in, with no rescan.
        if (!working.contains(introducer))
            return working;
        ExpansionPass scan(working, introducer, tables, std::min(growthLimit, maxLength));
        QString result = scan.run();
        if (scan.grewPastLimit())
            return growthLimit <= maxLength ? std::optional<QString>(working) : std::nullopt;
        // The pass stops growing at its last reference; plain text after it counts too.
        if (result.size() > maxLength && result.size() > working.size())
            return std::nullopt;
        if (!scan.rescan() || pass == kMaxExpansionPasses)
            return result;
        if (pass == 1)
            growthLimit = result.size() > INT_MAX - kMaxRescanGrowth ? INT_MAX : result.size() + kMaxRescanGrowth;
        working = result;
    }
}

} // namespace

QString expandMacros(const QString &text, const MacroTables &tables, QChar introducer)
{
    return *expandInPasses(text, tables, introducer, INT_MAX);
}

std::optional<QString> expandMacrosWithin(const QString &text, const MacroTables &tables, int maxLength,
                                          QChar introducer)
{
    return expandInPasses(text, tables, introducer, maxLength);
}

bool dynamicMacroValue(const QString &name, QString &out)
{
    static const char *const kFormats[][2] = {
        {"Date", "d MMMM yyyy"},
        {"DateYear", "yyyy"},
        {"DateMonth", "MM"},
        {"DateDay", "dd"},
        {"Time", "hh:mm:ss"},
        {"TimeHour", "hh"},
        {"TimeMinute", "mm"},
        {"TimeSecond", "ss"},
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

QString expandMacros(const QString &text, const MacroMap &table)
{
    return expandMacros(text, MacroTables{&table, nullptr, nullptr});
}
