// Macro lists: ";"-separated entries with backslash escapes, split at the first "=".
#include "macros/macromap.h"
#include <gtest/gtest.h>

namespace {

TEST(MacroList, Entries)
{
    const struct {
        const char *text;
        const char *expected; // the sorted table as "key>value" entries joined by "|"
    } cases[] = {
        {"", ""},
        {"B=2;A=1", "A>1|B>2"},
        {"A=x=y", "A>x=y"},
        {"A", "A>"},
        {"A=", "A>"},
        {"A=1;A=2", "A>2"},
        {"A=1;;B=2;", "A>1|B>2"},
        {"A\\;B=1", "A;B>1"},
        {"A=c:\\\\x", "A>c:\\x"},
        {"A=1\\", "A>1"},
        {"A\\=B=c", "A=B>c"},
        {" A = 1 ", " A > 1 "},
    };
    for (const auto &c : cases) {
        const MacroMap table = parseMacroList(QString::fromUtf8(c.text));
        QStringList entries;
        for (auto it = table.constBegin(); it != table.constEnd(); ++it)
            entries << it.key() + '>' + it.value();
        EXPECT_EQ(entries.join('|'), QString::fromUtf8(c.expected)) << c.text;
    }
}

} // namespace
