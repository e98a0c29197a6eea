// The $(NAME) reference language: one row per input, tables and flags.
#include "macros/macroexpansion.h"
#include "macros/propertyclass.h"
#include <gtest/gtest.h>
#include <QDateTime>
#include <QLocale>
#include <functional>

namespace {

enum Tables { LocalOnly = 0, Overrides = 1, Globals = 2, All = Overrides | Globals };

struct Row { const char *input, *local /* a macro list */; int tables; const char *expected; };

// Globals: StudioDir, an empty macro, a value holding a reference, a name
// shadowed at every level. Override: the shadowed name and one of its own.
class Expansion : public ::testing::Test {
protected:
    Expansion()
    {
        list.setMacro("StudioDir", "/opt/t");
        list.setMacro("Empty", "");
        list.setMacro("Ref", "$(StudioDir)");
        list.setMacro("Shadow", "global");
        list.setMacroOverride("Shadow", "override");
        list.setMacroOverride("OnlyOverride", "ov");
    }
    PropertyClassList list;
};

TEST_F(Expansion, Table)
{
    const Row rows[] = {
        // Plain text and introducers.
        {"", "", All, ""}, {"plain text", "", All, "plain text"}, {"a$b", "", All, "a$b"},
        {"cost$", "", All, "cost$"}, {"$", "", All, "$"}, {"$$", "", All, "$"}, {"$$$", "", All, "$$"},
        {"$$(StudioDir)", "", All, "$(StudioDir)"}, {"$$$(StudioDir)", "", All, "$/opt/t"}, {"($)", "", All, "($)"},
        {"x)$)", "", All, "x)$)"},
        // References and defaults.
        {"$(StudioDir)/x", "", All, "/opt/t/x"}, {"$(StudioDir)$(StudioDir)", "", All, "/opt/t/opt/t"},
        {"$(Nope)", "", All, "$(Nope)"}, {"$(Nope:abc)", "", All, "abc"}, {"$(Nope:)", "", All, ""},
        {"$(Nope::abc)", "", All, "abc"}, {"$(Nope:a:b)", "", All, "a:b"}, {"$(Nope::a::b)", "", All, "a::b"},
        {"$(StudioDir:abc)", "", All, "/opt/t"}, {"$(Empty)", "", All, ""}, {"$(Empty:fallback)", "", All, ""},
        {"$()", "", All, "$()"}, {"$(:d)", "", All, "d"}, {"$(studiodir)", "", All, "$(studiodir)"},
        {"$(STUDIODIR:none)", "", All, "none"},
        // Parentheses nest inside names and defaults.
        {"$(A(B)C)", "", All, "$(A(B)C)"}, {"$(A(B)C)", "A(B)C=v", All, "v"}, {"$(Nope:(x))y", "", All, "(x)y"},
        {"$(Nope:f(g(h)))", "", All, "f(g(h))"},
        // An unterminated reference loses only its introducer.
        {"$(abc", "", All, "(abc"}, {"$(", "", All, "("}, {"$(a(b)", "", All, "(a(b)"},
        {"x$(StudioDir", "", All, "x(StudioDir"}, {"$(a $(StudioDir)", "", All, "(a /opt/t"},
        // A "$" met in the unterminated text asks for a rescan, which expands what follows.
        {"$(a$ $(Ref)", "", All, "(a$ /opt/t"},
        // Its "::" clears the flag that the earlier default had set.
        {"$(Nope:$(Ref)) $(x::", "", All, "$(Ref) (x::"},
        // Lookup order of the tables.
        {"$(Shadow)", "Shadow=local", All, "local"}, {"$(Shadow)", "", All, "override"},
        {"$(Shadow)", "", Globals, "global"}, {"$(Shadow)", "", Overrides, "override"},
        {"$(Shadow)", "", LocalOnly, "$(Shadow)"}, {"$(OnlyOverride)", "", Globals, "$(OnlyOverride)"},
        {"$(OnlyOverride:d)", "", Overrides, "ov"}, {"$(StudioDir)", "", LocalOnly, "$(StudioDir)"},
        {"$(StudioDir)", "", Overrides, "$(StudioDir)"}, {"$(StudioDir)", "StudioDir=/local", LocalOnly, "/local"},
        {"$(StudioDir:d)", "StudioDir=", All, ""}, {"$(X)$(Y)", "X=1;Y=2", LocalOnly, "12"},
        // Rescans.
        // A value is inserted literally when nothing asks for a rescan...
        {"$(Ref)", "", All, "$(StudioDir)"}, {"$(V)", "V=$(StudioDir)", All, "$(StudioDir)"},
        // ...and re-expanded with the whole output when something does.
        {"$(Ref)$(Nope:$(Empty))", "", All, "/opt/t"}, {"$(Nope:$(Empty))$(Ref)", "", All, "/opt/t"},
        {"$(Nope:$(StudioDir))", "", All, "/opt/t"},
        {"$(PROJECT_TEMPLATE_FILE:project_templates).xml", "", All, "project_templates.xml"},
        {"$(A:$(B))", "B=b", LocalOnly, "b"}, {"$(A:$(B))", "", LocalOnly, "$(B)"},
        {"$(Nope::$(StudioDir))", "", All, "$(StudioDir)"},
        // "::" clears the flag of the whole pass at the point it is read.
        {"$(Nope:$(StudioDir)) $(N2::x)", "", All, "$(StudioDir) x"},
        {"$(N2::x) $(Nope:$(StudioDir))", "", All, "x /opt/t"},
        // Escapes are spent in the first pass; a rescan expands what they produced.
        {"$$(StudioDir)", "", All, "$(StudioDir)"}, {"$$(StudioDir)$(Nope:$(Empty))", "", All, "/opt/t"},
        // Nested defaults peel off one level per pass.
        {"$(N1:$(N2:$(N3:end)))", "", All, "end"}, {"$(N1:$(N2::$(N3:end)))", "", All, "$(N3:end)"},
        // A name that holds an introducer is looked up whole.
        {"$(A$(B))", "A$(B)=hit", LocalOnly, "hit"}, {"$(A$(B))", "", All, "$(A$(B))"},
    };
    for (const Row &row : rows)
        EXPECT_EQ(list.expandMacros(QString::fromUtf8(row.input), parseMacroList(QString::fromUtf8(row.local)),
                                    row.tables & Overrides, row.tables & Globals),
                  QString::fromUtf8(row.expected))
            << "input " << row.input << ", local " << row.local << ", tables " << row.tables;
}

TEST_F(Expansion, UnterminatedReferencesKeepThePassLinear)
{
    // Each unterminated reference once made its pass scan to the end, and this rescans.
    EXPECT_EQ(list.expandMacros(QString("$(a").repeated(1 << 16), MacroMap(), true, true), QString("(a").repeated(1 << 16));
}

TEST_F(Expansion, EndlessRescanStopsAfterSixtyFourPasses)
{
    // "$(N$)" (undefined, holding an introducer) asks for another pass each time; "$(G)" counts them.
    const MacroMap local = parseMacroList(QStringLiteral("G=$(G)."));
    const QString result = list.expandMacros(QStringLiteral("$(G)$(N$)"), local, false, false);
    EXPECT_EQ(result, QStringLiteral("$(G)") + QString(64, QLatin1Char('.')) + QStringLiteral("$(N$)"));
}

TEST_F(Expansion, DoublingRescanStopsAtTheLastPassThatFits)
{
    // Pass p holds 2^p "$(D)" plus "$(N$)": pass 18 is the last within 2^20 characters of growth over pass 1.
    const MacroMap local = parseMacroList(QStringLiteral("D=$(D)$(D)"));
    const QString result = list.expandMacros(QStringLiteral("$(D)$(N$)"), local, false, false);
    ASSERT_EQ(result.size(), 4 * (1 << 18) + 5);
    EXPECT_TRUE(result == QStringLiteral("$(D)").repeated(1 << 18) + QStringLiteral("$(N$)"));
    // A first pass is never cut, however large it is.
    const MacroMap big = parseMacroList(QStringLiteral("B=") + QString(1 << 12, QLatin1Char('b')));
    const QString text = QStringLiteral("$(B)").repeated(1 << 9);
    EXPECT_EQ(list.expandMacros(text, big, false, false).size(), 1 << 21);
    // ...and a rescan of a large first pass still has its full headroom.
    EXPECT_EQ(list.expandMacros(text + QStringLiteral("$(Nope:$(B))"), big, false, false).size(),
              (1 << 21) + (1 << 12));
}

TEST_F(Expansion, TablesAreUnchanged)
{
    const MacroMap before = list.macros();
    list.expandMacros(QStringLiteral("$(Nope:$(StudioDir))$(Date)"), MacroMap(), true, true);
    EXPECT_EQ(list.macros(), before);
    EXPECT_EQ(list.overrides().size(), 2);
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
    const struct { const char *name, *format; /* null: seconds since the epoch */ } cases[] = {
        {"Date", "d MMMM yyyy"}, {"DateYear", "yyyy"}, {"DateMonth", "MM"}, {"DateDay", "dd"}, {"Time", "hh:mm:ss"},
        {"TimeHour", "hh"}, {"TimeMinute", "mm"}, {"TimeSecond", "ss"}, {"UnixTime", nullptr}};
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
    EXPECT_FALSE(dynamicMacroValue("date", untouched) || dynamicMacroValue("StudioDir", untouched));
    EXPECT_EQ(untouched, "keep");
}

TEST(ClockMacros, NeedAnEntryInAConsultedTable)
{
    PropertyClassList list;
    list.setMacro("DateYear", "stored");
    const auto year = [](const QDateTime &t) { return t.toString("yyyy") + "!"; };
    expectClockValue([&] { return list.expandMacros("$(DateYear)!", MacroMap(), false, true); }, year, "global entry");
    EXPECT_EQ(list.expandMacros("$(DateYear)!", MacroMap(), true, false), "$(DateYear)!");
    EXPECT_EQ(list.expandMacros("$(UnixTime:none)", MacroMap(), true, true), "none");
    // A local entry of any value still yields the clock.
    const MacroMap local = parseMacroList("DateYear=1999");
    expectClockValue([&] { return list.expandMacros("$(DateYear)!", local, false, false); }, year, "local entry");
}

TEST(GlobalExpansion, FreeFunctionsUseTheProcessWideList)
{
    PropertyClassList &list = createGlobalPropertyClassList();
    list.setMacro("StudioDir", "/opt/t");
    list.setMacroOverride("StudioDir", "/override");
    EXPECT_EQ(expandGlobalMacros("$(StudioDir)/x"), "/override/x");
    EXPECT_EQ(expandSystemMacros("$(StudioDir)/x"), "/opt/t/x");
    EXPECT_EQ(expandSystemMacros("$(HostOS)-$(HostArch)$(HostDLL)"), "linux-x86.so");
    expectClockValue([] { return expandSystemMacros("$(DateYear)"); },
                     [](const QDateTime &t) { return t.toString("yyyy"); }, "start-up table");
    createGlobalPropertyClassList();
}

} // namespace
