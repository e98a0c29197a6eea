// The registered property schema: order, kinds, type codes, defaults, roles and lookup.
#include "project/propertyclasses.h"
#include "project/propertyschema.h"

#include <gtest/gtest.h>

#include <QSet>

#include <ostream>

// Internal linkage: other test files of the executable print QString their own way.
static void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace {

// The standard registrations in display order, blank-separated; a macro shows as "$(NAME)".
const char kStandardNames[] =
    "date_created date_modified Platform full_path relative_path Name file_name file_codec file_open_with "
    "file_type file_flag project_flag solution_flag filter path filter recurse exclude project_type name "
    "project_directory full_project_directory project_dependencies project_can_build_in_parallel macros "
    "package_dependencies batch_build_configurations inherited_configurations public_configurations "
    "private_configurations project_inhibit_indexing source_code_control_directory code_completion_options "
    "environment_variables $(Configuration) $(EXE) $(FolderName) $(FolderPath) $(InputDir) $(InputExt) "
    "$(InputFileName) $(InputName) $(InputPath) $(IntDir) $(LIB) $(OBJ) $(OutDir) $(PackageExt) $(ProjectDir) "
    "$(ProjectName) $(ProjectNodeName) $(RootOutDir) $(RootRelativeOutDir) $(RelInputPath) $(RelInputDir) "
    "$(SolutionDir) $(SolutionExt) $(SolutionFileName) $(SolutionName) $(SolutionPath) $(ToolChainDir) "
    "build_toolchain_directory build_treat_warnings_as_errors build_suppress_warnings "
    "build_intermediate_directory build_output_directory build_root_output_directory build_object_file_name "
    "build_output_file_name build_output_file_name build_quietly build_debug_information "
    "build_exclude_from_build build_always_rebuild stage_output_filepath stage_command stage_command_wd "
    "stage_set_readonly stage_post_build_command stage_post_build_command_wd combine_output_filepath "
    "combine_command combine_command_wd combine_set_readonly property_groups_file_path pre_build_command "
    "pre_build_command_wd pre_build_command_control post_build_command post_build_command_wd "
    "post_build_command_control property_groups link_include_standard_libraries "
    "link_standard_libraries_directory link_use_multi_threaded_libraries link_symbol_definitions "
    "linker_keep_symbols c_enforce_ansi_checking c_undefine_all_preprocessor_definitions "
    "c_preprocessor_definitions c_preprocessor_undefinitions c_ignore_includes c_system_include_directories "
    "c_user_include_directories c_additional_options c_additional_options_from_file c_only_additional_options "
    "c_only_additional_options_from_file cpp_only_additional_options cpp_only_additional_options_from_file "
    "cpp_enable_exceptions cpp_enable_rtti asm_additional_options asm_additional_options_from_file "
    "asm_generate_listing_file default_code_section default_data_section default_zeroed_section "
    "default_const_section default_vector_section default_isr_section linker_additional_files "
    "linker_additional_options linker_additional_options_from_file linker_memory_map_file "
    "linker_memory_map_macros linker_section_placement_file linker_section_placement_macros "
    "linker_section_placements_segments link_use_linker_script_file link_linker_script_file "
    "link_dependent_projects debug_register_definition_file linker_output_format linker_map_file "
    "linker_printf_fmt_level linker_printf_width_precision_supported linker_printf_fp_enabled "
    "linker_printf_wchar_enabled linker_scanf_fmt_level linker_scanf_fp_enabled "
    "linker_scanf_character_group_matching_enabled compile_pre_build_command "
    "compile_pre_build_command_output_file_name compile_pre_build_command_wd compile_post_build_command "
    "compile_post_build_command_wd linker_pre_build_command linker_pre_build_command_wd "
    "linker_patch_build_command linker_patch_build_command_wd linker_post_build_command "
    "linker_post_build_command_wd linker_post_build_command_output_file archive_post_build_command "
    "archive_post_build_command_wd external_build_file_name external_build_command external_clean_command "
    "external_c_compile_command external_cpp_compile_command external_assemble_command external_link_command "
    "external_archive_command external_objects_file_name external_start_address external_load_address "
    "double_is_float unity_build_file_name unity_build_exclude_filter build_dependency_file_name "
    "build_generic_options_file_name properties_filter external_load_file_type "
    "external_debug_symbols_file_name external_debug_symbols_load_address build_remove_unused_symbols "
    "debug_target_connection debug_working_directory debug_command_arguments debug_additional_load_file "
    "debug_additional_load_file_address debug_additional_load_file_type debug_start_from_entry_point_symbol "
    "debug_entry_point_symbol debug_startup_completion_point debug_dependent_projects debug_initial_breakpoint "
    "debug_initial_breakpoint_set_option debug_leave_target_running debug_threads_script debug_threads_max "
    "debug_terminal_log_file asm_additional_options_backup c_additional_options_backup "
    "link_additional_options_backup $(CombiningOutputFilePath) $(CombiningRelInputPaths) "
    "$(StageOutputFilePath) $(TargetPath) $(RelTargetPath) $(PostLinkOutputFilePath) $(MapPath) $(RelMapPath) "
    "$(DependencyPath) $(RelDependencyPath) $(Defines) $(Includes) $(Undefines) $(Objects) $(ObjectsFilePath) "
    "$(RelObjectsFilePath) $(LinkerScriptPath) $(RelLinkerScriptPath) $(AsmOptions) $(COptions) "
    "$(COnlyOptions) $(CppOnlyOptions) $(LinkOptions)";
const char kRiscvNames[] = "rv_architecture rv_abi stack_size heap_size rv_library_optimization "
                           "debug_stack_pointer_start $(Arch) $(ABI) $(DeviceName)";

QString q(const char *text) { return QString::fromUtf8(text); }

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
        for (const PropertyClass *entry : findPropertyClasses(list, q(name))) {
            if (entry->category() == q(category))
                return entry;
        }
        return nullptr;
    }
    PropertyClassList list;
    PropertyRoleEntries roles;
};

TEST_F(RegisteredSchema, RegistrationsInDisplayOrderAndDisplayable)
{
    const QStringList standard = q(kStandardNames).split(QLatin1Char(' '));
    const QStringList expected = standard + q(kRiscvNames).split(QLatin1Char(' '));
    ASSERT_EQ(standard.size(), 219);
    EXPECT_EQ(standardPropertySchema().size(), 219u);
    EXPECT_EQ(riscvPropertySchema().size(), 9u);
    QStringList names;
    for (const auto &entry : list.entries()) {
        names << entry->name();
        const std::string name = entry->name().toStdString();
        EXPECT_FALSE(entry->group().isEmpty() || entry->category().isEmpty()) << name;
        EXPECT_FALSE(entry->displayName().isEmpty() || entry->helpText().isEmpty()) << name;
    }
    EXPECT_EQ(names, expected);
}

TEST_F(RegisteredSchema, TypeCodes)
{
    const std::pair<const char *, int> cases[] = {
        {"build_quietly", 0}, {"build_exclude_from_build", 0}, {"link_dependent_projects", 0}, {"recurse", 0},
        {"date_created", 4}, {"external_start_address", 4}, {"build_object_file_name", 5},
        {"build_output_file_name", 5}, {"unity_build_file_name", 5}, {"linker_memory_map_file", 6},
        {"link_linker_script_file", 6}, {"c_additional_options_from_file", 6}, {"file_name", 6},
        {"c_preprocessor_definitions", 7}, {"c_user_include_directories", 7}, {"c_system_include_directories", 7},
        {"inherited_configurations", 7}, {"environment_variables", 7}, {"filter", 7}, {"exclude", 7},
        {"macros", 7}, {"path", 8}, {"build_output_directory", 8}, {"build_intermediate_directory", 8},
        {"debug_working_directory", 8}, {"project_directory", 8}, {"pre_build_command", 16},
        {"stage_command", 16}, {"external_build_command", 16}, {"debug_terminal_log_file", 18},
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
}

// The rules behind the type codes, over every registered property.
TEST_F(RegisteredSchema, TypeCodesFollowTheValueKind)
{
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
    const struct {
        const char *name, *category, *value; // category: for names registered twice
    } cases[] = {
        {"build_intermediate_directory", nullptr, "Output/$(ProjectName) $(Configuration)/Obj"},
        {"build_output_directory", nullptr, "Output/$(Configuration)/Exe"},
        {"build_object_file_name", nullptr, "$(IntDir)/$(InputName)$(OBJ)"},
        {"build_output_file_name", "Linker Options", "$(OutDir)/$(ProjectName)$(EXE)"},
        {"build_output_file_name", "Library Options", "$(OutDir)/$(ProjectName)$(LIB)"},
        {"build_toolchain_directory", nullptr, "$(StudioDir)"},
        {"source_code_control_directory", nullptr, "$(SolutionDir)"},
        {"stage_output_filepath", nullptr, "$(OutDir)/$(RelInputPath)"},
        {"stage_command", nullptr, "cp \"$(RelInputPath)\" \"$(StageOutputFilePath)\""},
        {"stage_command_wd", nullptr, "$(ProjectDir)"},
        {"compile_pre_build_command_wd", nullptr, "$(ProjectDir)"},
        {"link_standard_libraries_directory", nullptr, "$(StudioLibDir:$(StudioDir)/lib)"},
        {"c_system_include_directories", nullptr, "$(StudioIncDir:$(StudioDir)/include);$(PackagesDir)/include"},
        {"c_user_include_directories", nullptr, "."},
        {"linker_section_placement_file", nullptr, "$(StudioDir)/targets/section_placement.xml"},
        {"link_use_multi_threaded_libraries", nullptr, "No"}, {"link_dependent_projects", nullptr, "Yes"},
        {"debug_command_arguments", nullptr, "$(ProjectName)$(EXE)"},
        {"debug_startup_completion_point", nullptr, "main"}, {"project_type", nullptr, "Executable"},
        // Set nowhere means empty for these: the project model relies on it.
        {"project_directory", nullptr, ""}, {"path", nullptr, ""}, {"inherited_configurations", nullptr, ""},
    };
    for (const auto &c : cases) {
        const PropertyClass *entry = find(c.name, c.category);
        ASSERT_NE(entry, nullptr) << c.name;
        EXPECT_EQ(entry->defaultValue(), q(c.value)) << c.name;
        EXPECT_EQ(propertyDefault(entry), q(c.value)) << c.name;
    }
    EXPECT_EQ(propertyDefault(nullptr), QString());
}

TEST_F(RegisteredSchema, GroupsCategoriesAndDisplayNames)
{
    const struct {
        const char *name, *category, *group, *shownCategory, *displayName; // null: not checked
    } cases[] = {
        {"date_modified", nullptr, "General", "File Options", nullptr},
        {"filter", nullptr, "General", "Folder Options", nullptr},
        {"build_output_directory", nullptr, "General", "Build Options", "Output Directory"},
        {"build_quietly", nullptr, "General", "Build Options", nullptr},
        {"stage_command", nullptr, "General", "Staging Options", nullptr},
        {"c_preprocessor_definitions", nullptr, "C/C++", "Preprocessor Options", nullptr},
        {"link_dependent_projects", nullptr, "Linker", "Linker Options", nullptr},
        {"debug_startup_completion_point", nullptr, "Debugging", "Debugger Options", nullptr},
        {"rv_architecture", nullptr, "C/C++", "Code Generation Options", "RISC-V ISA"},
        {"rv_abi", nullptr, "C/C++", "Code Generation Options", "RISC-V ABI"},
        {"stack_size", nullptr, "Linker", "Runtime Memory Area Options", nullptr},
        {"heap_size", nullptr, "Linker", "Runtime Memory Area Options", nullptr},
        {"rv_library_optimization", nullptr, "Linker", nullptr, "Library Optimization"},
        {"debug_stack_pointer_start", nullptr, "Debugging", "Debugger Options", nullptr},
        {"build_output_file_name", "Linker Options", nullptr, nullptr, "Executable File Name"},
        {"build_output_file_name", "Library Options", nullptr, nullptr, "Library File Name"},
    };
    for (const auto &c : cases) {
        const PropertyClass *entry = find(c.name, c.category);
        ASSERT_NE(entry, nullptr) << c.name;
        if (c.group) {
            EXPECT_EQ(entry->group(), q(c.group)) << c.name;
        }
        if (c.shownCategory) {
            EXPECT_EQ(entry->category(), q(c.shownCategory)) << c.name;
        }
        if (c.displayName) {
            EXPECT_EQ(entry->displayName(), q(c.displayName)) << c.name;
        }
    }
    // The first "filter" is the folder's.
    EXPECT_NE(findPropertyClasses(list, q("filter"))[1]->category(), q("Folder Options"));
    EXPECT_EQ(find("stack_size")->helpText(), q("The size of the stack in bytes."));
    EXPECT_EQ(find("heap_size")->helpText(), q("The size of the heap in bytes."));
}

TEST_F(RegisteredSchema, ChoiceValues)
{
    const struct {
        const char *name;
        QStringList values;
        bool exact; // false: the list holds at least these
    } cases[] = {
        {"file_open_with", {q("Run File"), q("Web Browser"), q("Binary Editor"), q("Text Editor")}, true},
        {"pre_build_command_control", {q("Run When Build Required"), q("Always Run")}, true},
        {"project_type",
         {q("Executable"), q("Library"), q("Object file"), q("Staging"), q("Combining"),
          q("Externally Built Executable"), q("Externally Built Library"), q("Externally Built Object file")},
         true},
        {"debug_target_connection", {q("GDB Server"), q("Simulator")}, false},
        {"rv_architecture",
         {q("None"), q("rv32gc"), q("rv32g"), q("rv32imafc"), q("rv32imaf"), q("rv32imac"), q("rv32ima"),
          q("rv32i"), q("rv32emac"), q("rv32ema"), q("rv32e")},
         true},
        {"rv_abi", {q("ilp32f"), q("ilp32e"), q("ilp32d"), q("ilp32")}, true},
        {"rv_library_optimization", {q("Small"), q("Fast")}, true}, {"recurse", {q("Yes"), q("No")}, true},
    };
    for (const auto &c : cases) {
        ASSERT_NE(dynamic_cast<const ChoicePropertyClass *>(find(c.name)), nullptr) << c.name;
        const QStringList values = choicesOf(find(c.name));
        if (c.exact) {
            EXPECT_EQ(values, c.values) << c.name;
        }
        for (const QString &value : c.values)
            EXPECT_TRUE(values.contains(value)) << c.name << " lacks " << value.toStdString();
    }
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
    const struct {
        PropertyRole role;
        const PropertyClass *held;
        const char *name;
        int type;
    } cases[] = {
        {PropertyRole::FolderFilter, roles.folderFilter(), "filter", PropertyType::List},
        {PropertyRole::DynamicFolderPath, roles.dynamicFolderPath(), "path", PropertyType::Directory},
        {PropertyRole::DynamicFolderFilter, roles.dynamicFolderFilter(), "filter", PropertyType::List},
        {PropertyRole::DynamicFolderRecurse, roles.dynamicFolderRecurse(), "recurse", PropertyType::YesNo},
        {PropertyRole::DynamicFolderExclude, roles.dynamicFolderExclude(), "exclude", PropertyType::List},
        {PropertyRole::ProjectType, roles.projectType(), "project_type", PropertyType::Choice},
        {PropertyRole::ProjectDirectory, roles.projectDirectory(), "project_directory", PropertyType::Directory},
        {PropertyRole::FullProjectDirectory, roles.fullProjectDirectory(), "full_project_directory",
         PropertyType::Directory},
        {PropertyRole::FilePath, roles.filePath(), "file_name", PropertyType::InputFileName},
        {PropertyRole::EnvironmentVariables, roles.environmentVariables(), "environment_variables",
         PropertyType::List},
    };
    QSet<const PropertyClass *> registered, held;
    for (const auto &entry : list.entries())
        registered.insert(entry.get());
    for (const auto &c : cases) {
        ASSERT_NE(c.held, nullptr) << c.name;
        EXPECT_EQ(c.held, roles.entry(c.role)) << c.name;
        EXPECT_EQ(c.held->name(), q(c.name));
        EXPECT_EQ(c.held->type(), c.type) << c.name;
        EXPECT_TRUE(registered.contains(c.held)) << c.name; // the registered entry, not a copy
        held.insert(c.held);
    }
    EXPECT_EQ(held.size(), 10);
    EXPECT_EQ(roles.entry(PropertyRole::None), nullptr);
    EXPECT_EQ(roles.folderFilter(), find("filter"));
    EXPECT_EQ(roles.folderFilter()->category(), q("Folder Options"));
    EXPECT_EQ(roles.dynamicFolderFilter()->category(), roles.dynamicFolderPath()->category());
    EXPECT_EQ(roles.environmentVariables()->helpText(), q("Environment variables to set on solution load."));
}

TEST(PropertyRoleEntries, EmptyUntilRegisteredAndReplacedByALaterRow)
{
    PropertyRoleEntries roles;
    EXPECT_EQ(roles.projectType(), nullptr);
    const PropertySchemaRow rows[] = {
        {PropertyEntryKind::Plain, "project_type", PropertyType::Text, "General", "Mine", "Kind", "What it is.",
         "Thing", nullptr, PropertyRole::ProjectType},
    };
    PropertyClassList list;
    registerPropertySchema(standardPropertySchema(), list, roles);
    const PropertyClass *standard = roles.projectType();
    registerPropertySchema({rows, 1}, list, roles);
    ASSERT_NE(roles.projectType(), standard);
    EXPECT_EQ(roles.projectType()->category(), q("Mine"));
    EXPECT_EQ(roles.projectType()->defaultValue(), q("Thing"));
    // Name lookup still answers with the first registration.
    EXPECT_EQ(findPropertyClass(list, q("project_type")), standard);
}

TEST_F(RegisteredSchema, LookupAndListKinds)
{
    EXPECT_EQ(find("no_such_property"), nullptr);
    EXPECT_EQ(find(""), nullptr);
    // Case-sensitive: "Name" is the display name, "name" the solution file name.
    ASSERT_NE(find("Name"), nullptr);
    EXPECT_NE(find("Name"), find("name"));
    EXPECT_EQ(find("Build_Output_Directory"), nullptr);
    // Macro descriptions do not shadow property names.
    EXPECT_EQ(find("Configuration"), nullptr);
    EXPECT_NE(dynamic_cast<const MacroPropertyClass *>(find("$(Configuration)")), nullptr);

    EXPECT_TRUE(isListProperty(find("c_preprocessor_definitions")));
    EXPECT_FALSE(isListProperty(find("build_output_directory")));
    EXPECT_FALSE(isListProperty(find("project_type")));
    EXPECT_FALSE(isListProperty(nullptr));
    int groups = 0;
    for (const auto &entry : list.entries()) {
        if (dynamic_cast<const PropertyValueGroupClass *>(entry.get())) {
            ++groups;
            EXPECT_EQ(entry->type(), PropertyType::ValueGroup);
            EXPECT_FALSE(isListProperty(entry.get()));
        }
    }
    EXPECT_EQ(groups, 1);
    EXPECT_NE(dynamic_cast<const PropertyValueGroupClass *>(find("property_groups")), nullptr);
}

TEST_F(RegisteredSchema, MacroDescriptions)
{
    int build = 0, tool = 0;
    for (const auto &owned : list.entries()) {
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
    EXPECT_TRUE(find("$(Arch)")->helpText().contains(find("rv_architecture")->displayName()));
    EXPECT_TRUE(find("$(ABI)")->helpText().contains(find("rv_abi")->displayName()));
}

TEST(PropertyValueGroupClass, KeepsFirstOrderAndReplacesMembers)
{
    PropertyValueGroupClass group(q("Memory"), q("General"), q("Property Groups"), q("Memory"), q("Where."));
    EXPECT_TRUE(group.groupValues().isEmpty());
    group.setGroupValue(q("Flash"), {{q("build_output_directory"), q("flash")}});
    group.setGroupValue(q("RAM"), {{q("build_output_directory"), q("ram")}});
    group.setGroupValue(q("Flash"), {{q("linker_map_file"), q("Yes")}});
    EXPECT_EQ(group.groupValues(), QStringList({q("Flash"), q("RAM")}));
    const MacroMap flash = group.memberValues(q("Flash"));
    EXPECT_EQ(flash.size(), 1);
    EXPECT_EQ(flash.value(q("linker_map_file")), q("Yes"));
    EXPECT_EQ(group.memberValues(q("RAM")).value(q("build_output_directory")), q("ram"));
    EXPECT_TRUE(group.memberValues(q("ROM")).isEmpty());
}

} // namespace
