// The registered property schema: order, kinds, type codes, defaults, roles and lookup.
#include "testsupport.h"

#include "project/propertyclasses.h"
#include "project/propertyschema.h"

#include <QSet>

namespace {

QStringList choicesOf(const PropertyClass *entry)
{
    const auto *choice = dynamic_cast<const ChoicePropertyClass *>(entry);
    return choice ? choice->values() : QStringList();
}

// The schema as the RISC-V project system registers it: the standard table, then its own.
class RegisteredSchema : public ::testing::Test {
protected:
    void SetUp() override
    {
        registerPropertySchema(standardPropertySchema(), list, roles);
        registerPropertySchema(riscvPropertySchema(), list, roles);
    }
    // With a category: the entry of a name registered twice.
    const PropertyClass *find(const char *name, const char *category = nullptr) const
    {
        if (!category)
            return findPropertyClass(list, name);
        for (const auto &entry : list.entries()) {
            if (entry->name() == name && entry->category() == category)
                return entry.get();
        }
        return nullptr;
    }
    PropertyClassList list;
    PropertyRoleEntries roles;
};

TEST_F(RegisteredSchema, RegistrationsInDisplayOrderAndDisplayable)
{
    QStringList names;
    for (const auto &entry : list.entries()) {
        const std::string name = entry->name().toStdString();
        EXPECT_FALSE(entry->group().isEmpty()) << name;
        EXPECT_FALSE(entry->category().isEmpty()) << name;
        EXPECT_FALSE(entry->displayName().isEmpty()) << name;
        EXPECT_FALSE(entry->helpText().isEmpty()) << name;
        names << entry->name();
    }
    ASSERT_EQ(names.size(), 228);
    // The ends of both tables and the edges of each macro block.
    const struct {
        int index;
        const char *name;
    } at[] = {
        {0, "date_created"},
        {15, "filter"},
        {33, "environment_variables"},
        {34, "$(Configuration)"},
        {61, "build_toolchain_directory"},
        {196, "$(CombiningOutputFilePath)"},
        {219, "rv_architecture"},
        {225, "$(Arch)"},
        {227, "$(DeviceName)"},
    };
    for (const auto &c : at)
        EXPECT_EQ(names[c.index], c.name) << c.index;
}

// Type, group and default of telling entries, one row at least per type code.
// A table row without group or category keeps the previous row's and macro
// rows do not change them; a name registered twice is told apart by category.
TEST_F(RegisteredSchema, TellingEntries)
{
    namespace Type = PropertyType;
    const struct {
        const char *name;
        const char *category;
        int type;
        const char *group;
        const char *value;
    } cases[] = {
        {"date_modified", "File Options", Type::Text, "General", ""},
        {"filter", "Folder Options", Type::List, "General", ""},
        {"filter", "Dynamic Folder Options", Type::List, "General", ""},
        {"path", "Dynamic Folder Options", Type::Directory, "General", ""},
        {"build_output_directory", "Build Options", Type::Directory, "General", "Output/$(Configuration)/Exe"},
        {"build_object_file_name", "Build Options", Type::GeneratedFileName, "General", "$(IntDir)/$(InputName)$(OBJ)"},
        {"build_output_file_name", "Linker Options", Type::GeneratedFileName, "General",
         "$(OutDir)/$(ProjectName)$(EXE)"},
        {"build_output_file_name", "Library Options", Type::GeneratedFileName, "General",
         "$(OutDir)/$(ProjectName)$(LIB)"},
        {"build_quietly", "Build Options", Type::YesNo, "General", "No"},
        {"stage_command", "Staging Options", Type::CommandLine, "General",
         R"x(cp "$(RelInputPath)" "$(StageOutputFilePath)")x"},
        {"c_preprocessor_definitions", "Preprocessor Options", Type::List, "C/C++", ""},
        {"c_system_include_directories", "Preprocessor Options", Type::List, "C/C++",
         "$(StudioIncDir:$(StudioDir)/include);$(PackagesDir)/include"},
        {"linker_memory_map_file", "Linker Options", Type::InputFileName, "Linker", ""},
        {"link_dependent_projects", "Linker Options", Type::YesNo, "Linker", "Yes"},
        {"debug_terminal_log_file", "Debugger Options", Type::LogFileName, "Debugging", ""},
        {"heap_size", "Runtime Memory Area Options", Type::Text, "Linker", "1024"},
    };
    for (const auto &c : cases) {
        const PropertyClass *entry = find(c.name, c.category);
        ASSERT_NE(entry, nullptr) << c.name << " in " << c.category;
        EXPECT_EQ(entry->type(), c.type) << c.name;
        EXPECT_EQ(entry->group(), c.group) << c.name;
        EXPECT_EQ(propertyDefault(entry), c.value) << c.name;
    }
    EXPECT_EQ(propertyDefault(nullptr), QString());
    EXPECT_EQ(find("build_output_file_name", "Linker Options")->displayName(), "Executable File Name");
    EXPECT_EQ(find("build_output_file_name", "Library Options")->displayName(), "Library File Name");
}

// Type 0 exactly for yes/no entries, which offer "Yes" and "No".
TEST_F(RegisteredSchema, YesNoEntries)
{
    for (const auto &owned : list.entries()) {
        const PropertyClass *entry = owned.get();
        const std::string name = entry->name().toStdString();
        const bool yesNo = dynamic_cast<const YesNoPropertyClass *>(entry) != nullptr;
        EXPECT_EQ(yesNo, entry->type() == PropertyType::YesNo) << name;
        if (yesNo) {
            EXPECT_EQ(choicesOf(entry), QStringList({"Yes", "No"})) << name;
        }
    }
}

TEST_F(RegisteredSchema, ChoiceValues)
{
    EXPECT_EQ(choicesOf(find("project_type")).join('|'),
              "Executable|Library|Object file|Staging|Combining|Externally Built Executable|"
              "Externally Built Library|Externally Built Object file");
    EXPECT_EQ(choicesOf(find("rv_abi")).join('|'), "ilp32f|ilp32e|ilp32d|ilp32");
    EXPECT_EQ(propertyDefault(find("project_type")), "Executable");
    ASSERT_NE(find("rv_abi"), nullptr);
    EXPECT_EQ(find("rv_abi")->displayName(), "RISC-V ABI");
    // Every choice offers its default among distinct values.
    for (const auto &entry : list.entries()) {
        const auto *choice = dynamic_cast<const ChoicePropertyClass *>(entry.get());
        if (!choice)
            continue;
        QStringList values = choice->values();
        EXPECT_TRUE(values.contains(choice->defaultValue())) << choice->name().toStdString();
        EXPECT_EQ(values.removeDuplicates(), 0) << choice->name().toStdString();
    }
}

TEST_F(RegisteredSchema, RoleEntries)
{
    using R = PropertyRole;
    const struct {
        PropertyRole role;
        const char *name;
        const char *category;
    } cases[] = {
        {R::FolderFilter, "filter", "Folder Options"},
        {R::DynamicFolderPath, "path", "Dynamic Folder Options"},
        {R::DynamicFolderFilter, "filter", "Dynamic Folder Options"},
        {R::DynamicFolderRecurse, "recurse", "Dynamic Folder Options"},
        {R::DynamicFolderExclude, "exclude", "Dynamic Folder Options"},
        {R::ProjectType, "project_type", "Project Options"},
        {R::ProjectDirectory, "project_directory", "Project Options"},
        {R::FullProjectDirectory, "full_project_directory", "Project Options"},
        {R::FilePath, "file_name", "File Options"},
        {R::EnvironmentVariables, "environment_variables", "Solution Options"},
    };
    QSet<const PropertyClass *> registered;
    for (const auto &entry : list.entries())
        registered.insert(entry.get());
    for (const auto &c : cases) {
        const PropertyClass *entry = roles.entry(c.role);
        ASSERT_NE(entry, nullptr) << c.name;
        EXPECT_EQ(entry->name(), c.name);
        EXPECT_EQ(entry->category(), c.category) << c.name;
        EXPECT_TRUE(registered.contains(entry)) << c.name; // the registered entry, not a copy
    }
    EXPECT_EQ(roles.entry(R::None), nullptr);
}

TEST(PropertyRoleEntries, ALaterRowReplacesARole)
{
    const PropertySchemaRow row = {PropertyEntryKind::Plain, "project_type", PropertyType::Text, "General", "Mine",
                                   "Kind", "What it is.", "Thing", nullptr, PropertyRole::ProjectType};
    PropertyClassList list;
    PropertyRoleEntries roles;
    registerPropertySchema(standardPropertySchema(), list, roles);
    const PropertyClass *standard = roles.projectType();
    registerPropertySchema({&row, 1}, list, roles);
    ASSERT_NE(roles.projectType(), standard);
    EXPECT_EQ(roles.projectType()->category(), "Mine");
    EXPECT_EQ(roles.projectType()->defaultValue(), "Thing");
    // Name lookup still answers with the first registration.
    EXPECT_EQ(findPropertyClass(list, "project_type"), standard);
}

TEST_F(RegisteredSchema, LookupMacrosAndValueGroups)
{
    EXPECT_EQ(find("no_such_property"), nullptr);
    // Case-sensitive: "Name" is the display name, "name" the solution file name.
    ASSERT_NE(find("Name"), nullptr);
    EXPECT_NE(find("Name"), find("name"));
    EXPECT_EQ(find("Build_Output_Directory"), nullptr);
    // Macro descriptions do not shadow property names.
    EXPECT_EQ(find("Configuration"), nullptr);
    EXPECT_NE(dynamic_cast<const MacroPropertyClass *>(find("$(Configuration)")), nullptr);
    int build = 0;
    int tool = 0;
    for (const auto &owned : list.entries()) {
        const auto *macro = dynamic_cast<const MacroPropertyClass *>(owned.get());
        if (!macro)
            continue;
        if (macro->category() == "(Build Macro Values)")
            ++build;
        else if (macro->category() == "(Tool Macro Values)")
            ++tool;
        else
            ADD_FAILURE() << macro->macroName().toStdString() << " in " << macro->category().toStdString();
    }
    EXPECT_EQ(build, 30); // 27 build macros plus Arch, ABI and DeviceName
    EXPECT_EQ(tool, 23);
    const auto *group = dynamic_cast<const PropertyValueGroupClass *>(find("property_groups"));
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->type(), PropertyType::ValueGroup);
}

TEST(ProjectSystems, OnlyTheRiscvProjectSystemKnowsItsProperties)
{
    EXPECT_TRUE(RISCVProjectSystem("t.xml", QStringList(), false, false).findPropertyClass("rv_architecture"));
    EXPECT_FALSE(StandardProjectSystem("x").findPropertyClass("rv_architecture"));
}

} // namespace
