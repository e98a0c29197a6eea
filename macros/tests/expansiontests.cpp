// The $(NAME) reference language over given tables, and the clock macros.
#include "macros/macroexpansion.h"
#include <gtest/gtest.h>
#include <QDateTime>
#include <QLocale>
#include <functional>

namespace {

enum Tables { LocalOnly = 0, Overrides = 1, Globals = 2, All = Overrides | Globals };

// Globals: StudioDir, an empty macro, a value holding a reference, a name
// shadowed at every level. Overrides: the shadowed name.
class Expansion : public ::testing::Test {
protected:
    QString expand(const char *input, const char *local, int tables) const
    {
        const MacroMap localTable = parseMacroList(QString::fromUtf8(local));
        const MacroTables consulted{&localTable, tables & Overrides ? &overrides : nullptr,
                                    tables & Globals ? &globals : nullptr};
        return expandMacros(QString::fromUtf8(input), consulted);
    }
    const MacroMap globals = parseMacroList("StudioDir=/opt/t;Empty=;Ref=$(StudioDir);Shadow=global");
    const MacroMap overrides = parseMacroList("Shadow=override");
};

TEST_F(Expansion, Table)
{
    const struct {
        const char *input;
        const char *local; // a macro list
        int tables;
        const char *expected;
    } rows[] = {
        // Plain text and introducers.
        {"plain text", "", All, "plain text"},
        {"a$b", "", All, "a$b"},
        {"cost$", "", All, "cost$"},
        {"$$(StudioDir)", "", All, "$(StudioDir)"},
        // References and defaults.
        {"$(StudioDir)/x", "", All, "/opt/t/x"},
        {"$(Nope)", "", All, "$(Nope)"},
        {"$(Nope:abc)", "", All, "abc"},
        {"$(Nope:)", "", All, ""},
        {"$(Nope::abc)", "", All, "abc"},
        {"$(Nope:a:b)", "", All, "a:b"},
        {"$(StudioDir:abc)", "", All, "/opt/t"},
        {"$(Empty:fallback)", "", All, ""},
        {"$(:d)", "", All, "d"},
        {"$(studiodir)", "", All, "$(studiodir)"},
        // Parentheses nest inside names and defaults.
        {"$(A(B)C)", "A(B)C=v", All, "v"},
        {"$(Nope:f(g(h)))", "", All, "f(g(h))"},
        // An unterminated reference loses only its introducer.
        {"$(a $(StudioDir)", "", All, "(a /opt/t"},
        // A "$" met in the unterminated text asks for a rescan, which expands what follows.
        {"$(a$ $(Ref)", "", All, "(a$ /opt/t"},
        // Its "::" clears the flag that the earlier default had set.
        {"$(Nope:$(Ref)) $(x::", "", All, "$(Ref) (x::"},
        // The tables in their order, each only when consulted.
        {"$(Shadow)", "Shadow=local", All, "local"},
        {"$(Shadow)", "", All, "override"},
        {"$(Shadow)", "", Globals, "global"},
        {"$(StudioDir)", "", Overrides, "$(StudioDir)"},
        // A value is inserted literally when nothing asks for a rescan...
        {"$(Ref)", "", All, "$(StudioDir)"},
        // ...and the whole output is expanded again when something does.
        {"$(Ref)$(Nope:$(Empty))", "", All, "/opt/t"},
        // "::" clears the flag of the whole pass at the point it is read.
        {"$(Nope:$(StudioDir)) $(N2::x)", "", All, "$(StudioDir) x"},
        {"$(N2::x) $(Nope:$(StudioDir))", "", All, "x /opt/t"},
        // Escapes are spent in the first pass; a rescan expands what they produced.
        {"$$(StudioDir)$(Nope:$(Empty))", "", All, "/opt/t"},
        // Nested defaults peel off one level per pass.
        {"$(N1:$(N2:$(N3:end)))", "", All, "end"},
        {"$(N1:$(N2::$(N3:end)))", "", All, "$(N3:end)"},
        // A name that holds an introducer is looked up whole.
        {"$(A$(B))", "A$(B)=hit", LocalOnly, "hit"},
        {"$(A$(B))", "", All, "$(A$(B))"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(expand(row.input, row.local, row.tables), QString::fromUtf8(row.expected))
            << "input " << row.input << ", local " << row.local << ", tables " << row.tables;
}

TEST_F(Expansion, UnterminatedReferencesKeepThePassLinear)
{
    // Each unterminated reference once made its pass scan to the end, and this rescans.
    EXPECT_EQ(expandMacros(QString("$(a").repeated(1 << 16), MacroMap()), QString("(a").repeated(1 << 16));
}

TEST_F(Expansion, EndlessRescanStopsAfterSixtyFourPasses)
{
    // "$(N$)" (undefined, holding an introducer) asks for another pass each time; "$(G)" counts them.
    const QString result = expand("$(G)$(N$)", "G=$(G).", LocalOnly);
    EXPECT_EQ(result, QStringLiteral("$(G)") + QString(64, QLatin1Char('.')) + QStringLiteral("$(N$)"));
}

TEST_F(Expansion, DoublingRescanStopsAtTheLastPassThatFits)
{
    // Pass p holds 2^p "$(D)" plus "$(N$)": pass 18 is the last within 2^20 characters of growth over pass 1.
    const QString result = expand("$(D)$(N$)", "D=$(D)$(D)", LocalOnly);
    ASSERT_EQ(result.size(), 4 * (1 << 18) + 5);
    EXPECT_TRUE(result == QStringLiteral("$(D)").repeated(1 << 18) + QStringLiteral("$(N$)"));
    // A first pass is never cut, however large it is...
    const MacroMap big = parseMacroList(QStringLiteral("B=") + QString(1 << 12, QLatin1Char('b')));
    const QString text = QStringLiteral("$(B)").repeated(1 << 9);
    EXPECT_EQ(expandMacros(text, big).size(), 1 << 21);
    // ...and a rescan of a large first pass still has its full headroom.
    EXPECT_EQ(expandMacros(text + QStringLiteral("$(Nope:$(B))"), big).size(), (1 << 21) + (1 << 12));
}

// Accepts the text of either clock read around `expand`, so a second boundary in between cannot fail it.
void expectClockValue(const std::function<QString()> &expand, const std::function<QString(const QDateTime &)> &format,
                      const char *what)
{
    const QDateTime before = QDateTime::currentDateTime();
    const QString value = expand();
    const QDateTime after = QDateTime::currentDateTime();
    EXPECT_TRUE(value == format(before) || value == format(after))
        << what << ": " << value.toStdString() << " vs " << format(before).toStdString();
}

TEST(ClockMacros, FormatsOfTheLocalClock)
{
    const struct {
        const char *name;
        const char *format; // null: seconds since the epoch
    } cases[] = {
        {"Date", "d MMMM yyyy"},
        {"DateYear", "yyyy"},
        {"DateMonth", "MM"},
        {"DateDay", "dd"},
        {"Time", "hh:mm:ss"},
        {"TimeHour", "hh"},
        {"TimeMinute", "mm"},
        {"TimeSecond", "ss"},
        {"UnixTime", nullptr},
    };
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    for (const auto &c : cases) {
        QString out;
        expectClockValue([&] { return dynamicMacroValue(QString::fromLatin1(c.name), out) ? out : QString(); },
                         [&](const QDateTime &t) {
                             return c.format ? english.toString(t, QString::fromLatin1(c.format))
                                             : QString::number(t.toSecsSinceEpoch());
                         }, c.name);
    }
    QString untouched = "keep";
    EXPECT_FALSE(dynamicMacroValue("date", untouched));
    EXPECT_FALSE(dynamicMacroValue("StudioDir", untouched));
    EXPECT_EQ(untouched, "keep");
}

TEST(ClockMacros, NeedAnEntryInAConsultedTable)
{
    const MacroMap globals = parseMacroList("DateYear=stored");
    const auto year = [](const QDateTime &t) { return t.toString("yyyy") + "!"; };
    expectClockValue([&] { return expandMacros("$(DateYear)!", MacroTables{nullptr, nullptr, &globals}); }, year,
                     "global entry");
    EXPECT_EQ(expandMacros("$(DateYear)!", MacroMap()), "$(DateYear)!");
    EXPECT_EQ(expandMacros("$(UnixTime:none)", MacroMap()), "none");
    // A local entry of any value still yields the clock.
    expectClockValue([] { return expandMacros("$(DateYear)!", parseMacroList("DateYear=1999")); }, year,
                     "local entry");
}

} // namespace
