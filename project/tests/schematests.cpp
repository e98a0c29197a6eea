// The registered property schema: order, kinds, type codes, defaults, roles and lookup.
#include "testsupport.h"

#include "project/propertyclasses.h"
#include "project/propertyschema.h"

#include <QSet>

namespace {

QString q(const char *text) { return QString::fromUtf8(text); }

// Every entry of that name, in registration order.
std::vector<const PropertyClass *> findPropertyClasses(const PropertyClassList &list, const QString &name)
{
    std::vector<const PropertyClass *> found;
    for (const auto &entry : list.entries()) {
        if (entry->name() == name)
            found.push_back(entry.get());
    }
    return found;
}

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
            return findPropertyClass(list, q(name));
        for (const PropertyClass *entry : findPropertyClasses(list, q(name)))
            if (entry->category() == q(category))
                return entry;
        return nullptr;
    }
    PropertyClassList list;
    PropertyRoleEntries roles;
};

TEST_F(RegisteredSchema, RegistrationsInDisplayOrderAndDisplayable)
{
    EXPECT_EQ(standardPropertySchema().size(), 219u);
    EXPECT_EQ(riscvPropertySchema().size(), 9u);
    QStringList names, twice;
    for (const auto &entry : list.entries()) {
        const std::string name = entry->name().toStdString();
        EXPECT_FALSE(entry->group().isEmpty() || entry->category().isEmpty()) << name;
        EXPECT_FALSE(entry->displayName().isEmpty() || entry->helpText().isEmpty()) << name;
        if (names.contains(entry->name()))
            twice << entry->name();
        names << entry->name();
    }
    ASSERT_EQ(names.size(), 228);
    EXPECT_EQ(twice, QStringList({q("filter"), q("build_output_file_name")}));
    // The ends of both tables and the edges of each macro block.
    const std::pair<int, const char *> at[] = {
        {0, "date_created"}, {13, "filter"}, {15, "filter"}, {33, "environment_variables"},
        {34, "$(Configuration)"}, {60, "$(ToolChainDir)"}, {61, "build_toolchain_directory"},
        {195, "link_additional_options_backup"}, {196, "$(CombiningOutputFilePath)"},
        {218, "$(LinkOptions)"}, {219, "rv_architecture"}, {224, "debug_stack_pointer_start"},
        {225, "$(Arch)"}, {227, "$(DeviceName)"},
    };
    for (const auto &c : at)
        EXPECT_EQ(names[c.first], q(c.second)) << c.first;
}

// The type codes: one or more rows per code, then the rules behind them over every property.
TEST_F(RegisteredSchema, TypeCodes)
{
    const std::pair<const char *, int> cases[] = {
        {"build_quietly", 0}, {"date_created", 4}, {"build_object_file_name", 5}, {"build_output_file_name", 5},
        {"linker_memory_map_file", 6}, {"file_name", 6}, {"filter", 7}, {"macros", 7}, {"path", 8},
        {"pre_build_command", 16}, {"debug_terminal_log_file", 18},
    };
    for (const auto &c : cases) {
        ASSERT_NE(find(c.first), nullptr) << c.first;
        EXPECT_EQ(find(c.first)->type(), c.second) << c.first;
    }
    // Both registrations of a shared name agree, so the lookup's choice is harmless.
    for (const char *name : {"filter", "build_output_file_name"}) {
        for (const PropertyClass *entry : findPropertyClasses(list, q(name)))
            EXPECT_EQ(entry->type(), find(name)->type()) << name;
    }
    for (const auto &owned : list.entries()) {
        const PropertyClass *entry = owned.get();
        const QString n = entry->name();
        const std::string name = n.toStdString();
        if (dynamic_cast<const MacroPropertyClass *>(entry)) {
            EXPECT_EQ(entry->type(), PropertyType::Text) << name;
            continue;
        }
        const bool yesNo = dynamic_cast<const YesNoPropertyClass *>(entry) != nullptr;
        if (n.endsWith(q("_command"))) {
            EXPECT_EQ(entry->type(), PropertyType::CommandLine) << name;
        }
        if (n.endsWith(q("_wd")) || n.endsWith(q("_directory"))) {
            EXPECT_EQ(entry->type(), PropertyType::Directory) << name;
        }
        if ((!yesNo && (n.endsWith(q("_directories")) || n.endsWith(q("_definitions"))))
            || entry->helpText().contains(q("separated by \";\""))) {
            EXPECT_EQ(entry->type(), PropertyType::List) << name;
        }
        if (n.endsWith(q("_from_file"))) {
            EXPECT_EQ(entry->type(), PropertyType::InputFileName) << name;
        }
        // Type 0 exactly for yes/no entries, which offer "Yes" and "No"; a choice is not a list.
        EXPECT_EQ(yesNo, entry->type() == PropertyType::YesNo) << name;
        if (yesNo) {
            EXPECT_EQ(choicesOf(entry), QStringList({q("Yes"), q("No")})) << name;
        }
        if (dynamic_cast<const ChoicePropertyClass *>(entry)) {
            EXPECT_NE(entry->type(), PropertyType::List) << name;
        }
    }
}

TEST_F(RegisteredSchema, Defaults)
{
    const struct { const char *name, *category, *value; } cases[] = { // category: for names registered twice
        {"build_output_directory", nullptr, "Output/$(Configuration)/Exe"},
        {"build_object_file_name", nullptr, "$(IntDir)/$(InputName)$(OBJ)"},
        {"build_output_file_name", "Linker Options", "$(OutDir)/$(ProjectName)$(EXE)"},
        {"build_output_file_name", "Library Options", "$(OutDir)/$(ProjectName)$(LIB)"},
        {"stage_command", nullptr, "cp \"$(RelInputPath)\" \"$(StageOutputFilePath)\""},
        {"c_system_include_directories", nullptr, "$(StudioIncDir:$(StudioDir)/include);$(PackagesDir)/include"},
        {"link_dependent_projects", nullptr, "Yes"}, {"project_type", nullptr, "Executable"},
        // Set nowhere means empty for these: the project model relies on it.
        {"project_directory", nullptr, ""}, {"path", nullptr, ""}, {"inherited_configurations", nullptr, ""},
    };
    for (const auto &c : cases) {
        const PropertyClass *entry = find(c.name, c.category);
        ASSERT_NE(entry, nullptr) << c.name;
        EXPECT_EQ(propertyDefault(entry), q(c.value)) << c.name;
    }
    EXPECT_EQ(propertyDefault(nullptr), QString());
}

TEST_F(RegisteredSchema, GroupsCategoriesAndDisplayNames)
{
    // A row without group or category keeps the previous row's; macro rows do not change them.
    const struct { const char *name, *group, *category; } cases[] = {
        {"date_modified", "General", "File Options"}, {"filter", "General", "Folder Options"},
        {"build_output_directory", "General", "Build Options"},
        {"c_preprocessor_definitions", "C/C++", "Preprocessor Options"}, {"rv_abi", "C/C++", "Code Generation Options"},
        {"stack_size", "Linker", "Runtime Memory Area Options"}, {"debug_stack_pointer_start", "Debugging", "Debugger Options"},
    };
    for (const auto &c : cases) {
        ASSERT_NE(find(c.name), nullptr) << c.name;
        EXPECT_EQ(find(c.name)->group(), q(c.group)) << c.name;
        EXPECT_EQ(find(c.name)->category(), q(c.category)) << c.name;
    }
    // The first "filter" is the folder's.
    EXPECT_NE(findPropertyClasses(list, q("filter"))[1]->category(), q("Folder Options"));
    EXPECT_EQ(find("build_output_directory")->displayName(), q("Output Directory"));
    EXPECT_EQ(find("rv_abi")->displayName(), q("RISC-V ABI"));
    ASSERT_TRUE(find("build_output_file_name", "Linker Options") && find("build_output_file_name", "Library Options"));
    EXPECT_EQ(find("build_output_file_name", "Linker Options")->displayName(), q("Executable File Name"));
    EXPECT_EQ(find("build_output_file_name", "Library Options")->displayName(), q("Library File Name"));
    EXPECT_EQ(find("heap_size")->helpText(), q("The size of the heap in bytes."));
}

TEST_F(RegisteredSchema, ChoiceValues)
{
    const std::pair<const char *, QStringList> cases[] = {
        {"project_type",
         {q("Executable"), q("Library"), q("Object file"), q("Staging"), q("Combining"),
          q("Externally Built Executable"), q("Externally Built Library"), q("Externally Built Object file")}},
        {"rv_abi", {q("ilp32f"), q("ilp32e"), q("ilp32d"), q("ilp32")}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(choicesOf(find(c.first)), c.second) << c.first;
    int choices = 0;
    for (const auto &entry : list.entries()) {
        const auto *choice = dynamic_cast<const ChoicePropertyClass *>(entry.get());
        if (!choice)
            continue;
        ++choices;
        QStringList values = choice->values();
        EXPECT_GE(values.size(), 2) << choice->name().toStdString();
        EXPECT_TRUE(values.contains(choice->defaultValue())) << choice->name().toStdString();
        EXPECT_EQ(values.removeDuplicates(), 0) << choice->name().toStdString();
    }
    EXPECT_GE(choices, 40); // yes/no entries are choices too
}

TEST_F(RegisteredSchema, RoleEntries)
{
    using R = PropertyRole;
    const std::pair<const char *, int> expected[] = {
        {"filter", PropertyType::List}, {"path", PropertyType::Directory}, {"filter", PropertyType::List},
        {"recurse", PropertyType::YesNo}, {"exclude", PropertyType::List}, {"project_type", PropertyType::Choice},
        {"project_directory", PropertyType::Directory}, {"full_project_directory", PropertyType::Directory},
        {"file_name", PropertyType::InputFileName}, {"environment_variables", PropertyType::List},
    };
    QSet<const PropertyClass *> registered, held;
    for (const auto &entry : list.entries())
        registered.insert(entry.get());
    for (int role = int(R::FolderFilter); role <= int(R::EnvironmentVariables); ++role) {
        const auto &c = expected[role - 1];
        const PropertyClass *entry = roles.entry(R(role));
        ASSERT_NE(entry, nullptr) << c.first;
        EXPECT_EQ(entry->name(), q(c.first));
        EXPECT_EQ(entry->type(), c.second) << c.first;
        EXPECT_TRUE(registered.contains(entry)) << c.first; // the registered entry, not a copy
        held.insert(entry);
    }
    EXPECT_EQ(held.size(), 10);
    EXPECT_EQ(roles.entry(R::None), nullptr);
    // The folder's filter comes before the dynamic folder's.
    EXPECT_EQ(roles.folderFilter(), find("filter"));
    EXPECT_EQ(roles.folderFilter()->category(), q("Folder Options"));
    EXPECT_EQ(roles.dynamicFolderFilter()->category(), roles.dynamicFolderPath()->category());
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
    EXPECT_EQ(roles.projectType()->category(), q("Mine"));
    EXPECT_EQ(roles.projectType()->defaultValue(), q("Thing"));
    // Name lookup still answers with the first registration.
    EXPECT_EQ(findPropertyClass(list, q("project_type")), standard);
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
    int build = 0, tool = 0, groups = 0;
    for (const auto &owned : list.entries()) {
        if (dynamic_cast<const PropertyValueGroupClass *>(owned.get())) {
            ++groups;
            EXPECT_EQ(owned->type(), PropertyType::ValueGroup);
        }
        const auto *macro = dynamic_cast<const MacroPropertyClass *>(owned.get());
        if (!macro)
            continue;
        EXPECT_EQ(macro->name(), q("$(") + macro->macroName() + q(")"));
        if (macro->category() == q("(Build Macro Values)"))
            ++build;
        else if (macro->category() == q("(Tool Macro Values)"))
            ++tool;
        else
            ADD_FAILURE() << macro->macroName().toStdString() << " in " << macro->category().toStdString();
    }
    EXPECT_EQ(build, 30); // 27 build macros plus Arch, ABI and DeviceName
    EXPECT_EQ(tool, 23);
    EXPECT_EQ(groups, 1);
    EXPECT_NE(dynamic_cast<const PropertyValueGroupClass *>(find("property_groups")), nullptr);
    EXPECT_TRUE(find("$(Arch)")->helpText().contains(find("rv_architecture")->displayName()));
}

} // namespace
