// Reading macro lists into tables.
#include "macros/macromap.h"

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
