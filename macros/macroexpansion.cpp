// The $(NAME) reference language: macro lists, clock macros and the expansion passes.
#include "macros/macromap.h"
#include "macros/propertyclass.h"

#include <QDateTime>
#include <QLocale>

namespace {

// A reference whose name is defined nowhere but which holds an introducer is
// re-emitted with the rescan flag set and would be rescanned for ever; no
// legitimate nesting comes close to this many passes.
constexpr int kMaxExpansionPasses = 64;

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
    const QChar close = QLatin1Char(')');
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

    QString working = text;
    QString result;
    for (int pass = 1;; ++pass) {
        result.clear();
        result.reserve(working.size());
        bool rescan = false;
        const int length = working.size();
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

            QString inner;
            int depth = 1;
            int j = i + 2;
            for (; j < length; ++j) {
                const QChar c = working.at(j);
                if (c == close) {
                    if (--depth == 0)
                        break;
                } else if (c == open) {
                    ++depth;
                } else if (c == introducer) {
                    rescan = true;
                }
                inner += c;
            }
            const bool terminated = j < length;

            QString name;
            QString fallback;
            const int split = inner.indexOf(colon);
            if (split < 0) {
                name = inner;
                fallback = QString(introducer) + open + inner + close;
            } else {
                name = inner.left(split);
                if (split + 1 < inner.size() && inner.at(split + 1) == colon) {
                    // A literal default is never rescanned, even when it holds references.
                    fallback = inner.mid(split + 2);
                    rescan = false;
                } else {
                    fallback = inner.mid(split + 1);
                }
            }

            if (!terminated) {
                // Only the introducer goes; "(" and the rest are read again as plain text.
                ++i;
                continue;
            }

            if (const QString *stored = lookup(name)) {
                QString clock;
                result += dynamicMacroValue(name, clock) ? clock : *stored;
            } else {
                result += fallback;
            }
            i = j + 1;
        }

        if (!rescan || pass == kMaxExpansionPasses)
            return result;
        working = result;
    }
}
