// Macro tables and descriptors of PropertyClassList, expansion with its
// tables, and the start-up table.
#include "macros/propertyclass.h"
#include <gtest/gtest.h>
#include <QFileInfo>

namespace {

TEST(PropertyClassList, DescriptorOnlyWithDescription)
{
    PropertyClassList list;
    list.setMacro("Quiet", "1");
    list.setMacro("Loud", "0", "Makes noise.");
    list.setMacro("Loud", "2", "Makes noise."); // a second descriptor
    ASSERT_EQ(list.entries().size(), 2u);
    const auto *entry = dynamic_cast<const MacroPropertyClass *>(list.entries().front().get());
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->macroName(), "Loud");
    EXPECT_EQ(entry->displayName(), "$(Loud)");
    EXPECT_EQ(entry->group(), "Properties");
    EXPECT_EQ(entry->category(), "System Macro Values");
    EXPECT_EQ(entry->helpText(), "Makes noise.");
    EXPECT_EQ(entry->type(), 4);
    EXPECT_EQ(list.macroValue("Quiet"), "1");
    EXPECT_EQ(list.macroValue("Loud"), "2");
    EXPECT_EQ(list.find("$(Loud)"), entry);
    EXPECT_EQ(list.find("$(Quiet)"), nullptr);
}

TEST(PropertyClassList, ValuesOverridesAndPaths)
{
    PropertyClassList list;
    list.setMacro("Empty", "");
    EXPECT_TRUE(list.macroValue("Nope").isNull());
    EXPECT_FALSE(list.macroValue("Empty").isNull());
    list.setMacro("Dir", "/a");
    list.setMacroOverride("Dir", "/b");
    list.setMacroOverride("OnlyOverride", "x");
    EXPECT_EQ(list.effectiveMacroValue("Dir"), "/b");
    EXPECT_EQ(list.macroValue("Dir"), "/a");
    EXPECT_EQ(list.effectiveMacroValue("OnlyOverride"), "x");
    EXPECT_TRUE(list.macroValue("OnlyOverride").isNull());
    // A null override removes the override.
    list.setMacroOverride("Dir", QString());
    EXPECT_EQ(list.effectiveMacroValue("Dir"), "/a");
    EXPECT_FALSE(list.overrides().contains("Dir"));
    // The path form stores the clean path.
    const struct {
        const char *path;
        const char *stored;
    } paths[] = {
        {"/opt//t/./bin/..", "/opt/t"},
        {"lxBuild", "lxBuild"},
    };
    for (const auto &c : paths) {
        list.setMacro("P", QFileInfo(c.path));
        EXPECT_EQ(list.macroValue("P"), c.stored) << c.path;
    }
}

TEST(GlobalPropertyClassList, StartUpTableInOrder)
{
    globalPropertyClassList().setMacro("Leftover", "x");
    PropertyClassList &list = createGlobalPropertyClassList();
    EXPECT_EQ(&list, &globalPropertyClassList());
    // Every macro has a descriptor, in this order.
    QStringList found;
    for (const auto &entry : list.entries()) {
        const auto *macro = dynamic_cast<const MacroPropertyClass *>(entry.get());
        ASSERT_NE(macro, nullptr);
        EXPECT_FALSE(macro->helpText().isEmpty()) << macro->macroName().toStdString();
        found << macro->macroName() + '=' + list.macroValue(macro->macroName());
    }
    EXPECT_EQ(found, QStringList({
                         "Date=",
                         "DateYear=",
                         "DateMonth=",
                         "DateDay=",
                         "Time=",
                         "TimeHour=",
                         "TimeMinute=",
                         "TimeSecond=",
                         "UnixTime=",
                         "HostArch=x86",
                         "HostOS=linux",
                         "Micro=RISCV",
                         "TargetID=20",
                         "HostEXE=",
                         "HostDLLExt=.so",
                         "HostDLL=.so",
                     }));
    EXPECT_EQ(list.macros().size(), found.size());
    EXPECT_TRUE(list.overrides().isEmpty());
}

TEST(GlobalPropertyClassList, SystemExpansionLeavesOverridesOut)
{
    PropertyClassList &list = createGlobalPropertyClassList();
    list.setMacro("StudioDir", "/opt/t");
    list.setMacroOverride("StudioDir", "/override");
    EXPECT_EQ(expandGlobalMacros("$(StudioDir)/x"), "/override/x");
    EXPECT_EQ(expandSystemMacros("$(StudioDir)/x"), "/opt/t/x");
    createGlobalPropertyClassList();
}

} // namespace
