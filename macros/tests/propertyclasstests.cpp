// Macro tables and descriptors of PropertyClassList, and the start-up table.
#include "macros/propertyclass.h"

#include <gtest/gtest.h>

#include <QDir>

namespace {

const MacroPropertyClass *macroEntry(const PropertyClass *entry)
{
    return dynamic_cast<const MacroPropertyClass *>(entry);
}

TEST(PropertyClassList, DescriptorOnlyWithDescription)
{
    PropertyClassList list;
    list.setMacro(QStringLiteral("Quiet"), QStringLiteral("1"));
    list.setMacro(QStringLiteral("Loud"), QStringLiteral("0"), QStringLiteral("Makes noise."));
    list.setMacro(QStringLiteral("Loud"), QStringLiteral("2"), QStringLiteral("Makes noise.")); // a second descriptor

    ASSERT_EQ(list.entries().size(), 2u);
    const MacroPropertyClass *entry = macroEntry(list.entries().front().get());
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(QStringList(
                  {entry->macroName(), entry->displayName(), entry->group(), entry->category(), entry->helpText()}),
              QStringList({"Loud", "$(Loud)", "Properties", "System Macro Values", "Makes noise."}));
    EXPECT_EQ(entry->type(), 4);
    EXPECT_EQ(list.macros().size(), 2);
    EXPECT_EQ(list.macroValue(QStringLiteral("Quiet")) + list.macroValue(QStringLiteral("Loud")), QStringLiteral("12"));
    EXPECT_EQ(list.find(QStringLiteral("$(Loud)")), entry);
    EXPECT_EQ(list.find(QStringLiteral("$(Quiet)")), nullptr);
    EXPECT_EQ(MacroPropertyClass(QStringLiteral("Arch"), QStringLiteral("ISA."), QStringLiteral("(Build Macro Values)"))
                  .category(),
              QStringLiteral("(Build Macro Values)"));
}

TEST(PropertyClassList, PathFormStoresCleanPath)
{
    struct Case { const char *path, *stored; };
    const Case cases[] = {
        {"/opt/t/", "/opt/t"}, {"/opt//t/./bin/..", "/opt/t"}, {"lxBuild", "lxBuild"},
        {"/Desktop", "/Desktop"}, {"", ""}};
    PropertyClassList list;
    for (const Case &c : cases) {
        list.setMacro(QStringLiteral("P"), QFileInfo(QString::fromLatin1(c.path)));
        EXPECT_EQ(list.macroValue(QStringLiteral("P")), QString::fromLatin1(c.stored)) << c.path;
    }
}

TEST(PropertyClassList, ValuesAndOverrides)
{
    PropertyClassList list;
    EXPECT_TRUE(list.macroValue(QStringLiteral("Nope")).isNull());
    list.setMacro(QStringLiteral("Empty"), QStringLiteral(""));
    EXPECT_FALSE(list.macroValue(QStringLiteral("Empty")).isNull());
    EXPECT_TRUE(list.macroValue(QStringLiteral("Empty")).isEmpty());

    list.setMacro(QStringLiteral("Dir"), QStringLiteral("/a"));
    EXPECT_EQ(list.effectiveMacroValue(QStringLiteral("Dir")), QStringLiteral("/a"));
    list.setMacroOverride(QStringLiteral("Dir"), QStringLiteral("/b"));
    EXPECT_EQ(list.effectiveMacroValue(QStringLiteral("Dir")), QStringLiteral("/b"));
    EXPECT_EQ(list.macroValue(QStringLiteral("Dir")), QStringLiteral("/a"));
    list.setMacroOverride(QStringLiteral("OnlyOverride"), QStringLiteral("x"));
    EXPECT_EQ(list.effectiveMacroValue(QStringLiteral("OnlyOverride")), QStringLiteral("x"));
    EXPECT_TRUE(list.macroValue(QStringLiteral("OnlyOverride")).isNull());

    list.setMacroOverride(QStringLiteral("Dir"), QString());
    EXPECT_EQ(list.effectiveMacroValue(QStringLiteral("Dir")), QStringLiteral("/a"));
    EXPECT_FALSE(list.overrides().contains(QStringLiteral("Dir")));
    EXPECT_EQ(list.introducer(), '$');
}

TEST(GlobalPropertyClassList, StartUpTableInOrder)
{
    struct Row { const char *name, *value, *description; };
    const Row rows[] = {
        {"Date", "", "Day Month Year e.g. 21 June 2011."}, {"DateYear", "", "Year e.g. 2011."},
        {"DateMonth", "", "Month e.g. June."}, {"DateDay", "", "Day e.g. 21."},
        {"Time", "", "Hour:Minutes:Seconds e.g. 15:34:03."}, {"TimeHour", "", "Hour e.g. 15."},
        {"TimeMinute", "", "Minute e.g. 34."}, {"TimeSecond", "", "Seconds e.g. 03."},
        {"UnixTime", "", "Seconds since 00:00, Jan 1 1970 UTC"},
        {"HostArch", "x86", "The CPU architecture that Varnix Lodestar is running on e.g. x86."},
        {"HostOS", "linux", "The name of the operating system that Varnix Lodestar is running on e.g. win."},
        {"Micro", "RISCV", "The Varnix Lodestar target e.g. ARM."},
        {"TargetID", "20", "ID number representing the Varnix Lodestar target."},
        {"HostEXE", "", "The file extension for executables on the CPU that Varnix Lodestar is running on e.g. .exe."},
        {"HostDLLExt", ".so",
         "The file extension for dynamic link libraries used by the operating system that Varnix Lodestar is "
         "running on e.g. .dll, .so, .dylib."},
        {"HostDLL", ".so",
         "The file extension for dynamic link libraries on the CPU that Varnix Lodestar is running on e.g. .dll."},
    };

    globalPropertyClassList().setMacro(QStringLiteral("Leftover"), QStringLiteral("x"));
    PropertyClassList &list = createGlobalPropertyClassList();
    EXPECT_EQ(&list, &globalPropertyClassList());
    EXPECT_TRUE(list.macroValue(QStringLiteral("Leftover")).isNull());

    ASSERT_EQ(list.entries().size(), std::size(rows));
    EXPECT_EQ(list.macros().size(), static_cast<int>(std::size(rows)));
    for (size_t i = 0; i < std::size(rows); ++i) {
        const QString name = QString::fromLatin1(rows[i].name);
        const MacroPropertyClass *entry = macroEntry(list.entries()[i].get());
        ASSERT_NE(entry, nullptr) << rows[i].name;
        EXPECT_EQ(entry->macroName(), name);
        EXPECT_EQ(entry->helpText(), QString::fromLatin1(rows[i].description)) << rows[i].name;
        ASSERT_TRUE(list.macros().contains(name)) << rows[i].name;
        EXPECT_EQ(list.macroValue(name), QString::fromLatin1(rows[i].value)) << rows[i].name;
    }
    EXPECT_TRUE(list.overrides().isEmpty());
}

} // namespace
