// Macro lists: ";"-separated entries with backslash escapes, split at the first "=".
#include "macros/macromap.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

using Pairs = std::vector<std::pair<QString, QString>>;

Pairs pairsOf(const MacroMap &table)
{
    Pairs pairs;
    for (auto it = table.constBegin(); it != table.constEnd(); ++it)
        pairs.emplace_back(it.key(), it.value());
    return pairs;
}

TEST(MacroList, Entries)
{
    struct Case { const char *text; Pairs expected; };
    const auto s = [](const char *text) { return QString::fromUtf8(text); };
    const Case cases[] = {
        {"", {}}, {"A=1", {{s("A"), s("1")}}}, {"B=2;A=1", {{s("A"), s("1")}, {s("B"), s("2")}}},
        {"A=x=y", {{s("A"), s("x=y")}}}, {"A", {{s("A"), s("")}}}, {"A=", {{s("A"), s("")}}},
        {"A=1;A=2", {{s("A"), s("2")}}}, {"A=1;;B=2;", {{s("A"), s("1")}, {s("B"), s("2")}}},
        {"A\\;B=1", {{s("A;B"), s("1")}}}, {"A=1\\;2;B", {{s("A"), s("1;2")}, {s("B"), s("")}}},
        {"A=c:\\\\x", {{s("A"), s("c:\\x")}}}, {"A=\\q", {{s("A"), s("q")}}}, {"A=1\\", {{s("A"), s("1")}}},
        {"A\\=B=c", {{s("A=B"), s("c")}}}, {"A=$(B);B=b", {{s("A"), s("$(B)")}, {s("B"), s("b")}}},
        {"a=1;A=2", {{s("A"), s("2")}, {s("a"), s("1")}}}, {" A = 1 ", {{s(" A "), s(" 1 ")}}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(pairsOf(parseMacroList(QString::fromUtf8(c.text))), c.expected) << c.text;
}

} // namespace
