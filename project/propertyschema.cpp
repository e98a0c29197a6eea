// The built-in property schema tables and the factory that turns a row into an entry.
#include "project/propertyschema.h"

#include "project/propertyclasses.h"

namespace {

using Kind = PropertyEntryKind;
using Role = PropertyRole;
namespace Type = PropertyType;

constexpr Kind Plain = Kind::Plain;
constexpr Kind Choice = Kind::Choice;
constexpr Kind YesNo = Kind::YesNo;
constexpr Kind Macro = Kind::Macro;
constexpr Kind ValueGroup = Kind::ValueGroup;

constexpr const char *kLoadFileTypes = "Detect|ELF|Binary|Intel Hex|Motorola S-Record";
constexpr const char *kCommandControl = "Run When Build Required|Always Run";
constexpr const char *kFormatLevels = "int|long|long long";

// clang-format off
const PropertySchemaRow kStandardRows[] = {
    // Properties of files, folders, projects and solutions.
    {Plain, "date_created", Type::Text, "General", "File Options", "Date Created",
     "When the file was added to the project.", "", nullptr, Role::None},
    {Plain, "date_modified", Type::Text, nullptr, nullptr, "Date Modified",
     "When the file was last changed on disk.", "", nullptr, Role::None},
    {Plain, "Platform", Type::Text, nullptr, nullptr, "Platform",
     "The target platform the project is built for.", "", nullptr, Role::None},
    {Plain, "full_path", Type::InputFileName, nullptr, nullptr, "Full Path",
     "The absolute path of the file.", "", nullptr, Role::None},
    {Plain, "relative_path", Type::InputFileName, nullptr, nullptr, "Relative Path",
     "The path of the file relative to the project directory.", "", nullptr, Role::None},
    {Plain, "Name", Type::Text, nullptr, nullptr, "Name",
     "The name shown for the solution, project, folder or configuration.", "", nullptr, Role::None},
    {Plain, "file_name", Type::InputFileName, nullptr, nullptr, "File Name",
     "The file's path, relative to the project directory or absolute; may contain macros.", "", nullptr,
     Role::FilePath},
    {Plain, "file_codec", Type::Text, nullptr, nullptr, "File Encoding",
     "The text encoding used to open the file; empty uses the environment's default.", "", nullptr, Role::None},
    {Choice, "file_open_with", 0, nullptr, nullptr, "Open With",
     "The program used to open the file.", "Text Editor", "Run File|Web Browser|Binary Editor|Text Editor", Role::None},
    {Choice, "file_type", 0, nullptr, nullptr, "File Type",
     "How the build treats the file; <b>Default</b> decides by its suffix.", "Default",
     "Default|C|C++|Assembly|Header|Linker Script|Object File|Library", Role::None},
    {YesNo, "file_flag", 0, nullptr, nullptr, "Flag File",
     "Marks the file in the project explorer.", "No", nullptr, Role::None},
    {YesNo, "project_flag", 0, nullptr, "Project Options", "Flag Project",
     "Marks the project in the project explorer.", "No", nullptr, Role::None},
    {YesNo, "solution_flag", 0, nullptr, "Solution Options", "Flag Solution",
     "Marks the solution in the project explorer.", "No", nullptr, Role::None},
    {Plain, "filter", Type::List, nullptr, "Folder Options", "Filter",
     "File suffixes, without the dot and separated by \";\" or \",\", of the files that are added to this folder.", "",
     nullptr, Role::FolderFilter},
    {Plain, "path", Type::Directory, nullptr, "Dynamic Folder Options", "Dynamic Folder Directory",
     "The directory whose files the folder shows, relative to the project directory.", "", nullptr,
     Role::DynamicFolderPath},
    {Plain, "filter", Type::List, nullptr, nullptr, "Dynamic Folder Filter",
     "Wildcards, separated by \";\", that a file name must match to be shown, for example <b>*.c;*.h</b>.", "", nullptr,
     Role::DynamicFolderFilter},
    {YesNo, "recurse", 0, nullptr, nullptr, "Recurse Into Subdirectories",
     "Whether subdirectories are shown as subfolders.", "No", nullptr, Role::DynamicFolderRecurse},
    {Plain, "exclude", Type::List, nullptr, nullptr, "Dynamic Folder Exclude Filter",
     "Wildcards, separated by \";\", of files and directories that are not shown.", "", nullptr,
     Role::DynamicFolderExclude},
    {Choice, "project_type", 0, nullptr, "Project Options", "Project Type",
     "What the project builds.", "Executable",
     "Executable|Library|Object file|Staging|Combining|Externally Built Executable|Externally Built Library|"
     "Externally Built Object file", Role::ProjectType},
    {Plain, "name", Type::InputFileName, nullptr, "Solution Options", "Solution File Name",
     "The file that holds the solution.", "", nullptr, Role::None},
    {Plain, "project_directory", Type::Directory, nullptr, "Project Options", "Project Directory",
     "The project's directory, relative to the directory of the solution file; empty means the solution directory.", "",
     nullptr, Role::ProjectDirectory},
    {Plain, "full_project_directory", Type::Directory, nullptr, nullptr, "Full Project Directory",
     "The absolute project directory.", "", nullptr, Role::FullProjectDirectory},
    {Plain, "project_dependencies", Type::List, nullptr, nullptr, "Project Dependencies",
     "The projects, separated by \";\", that are built before this one.", "", nullptr, Role::None},
    {YesNo, "project_can_build_in_parallel", 0, nullptr, nullptr, "Build In Parallel",
     "Whether the project may be built at the same time as other projects.", "Yes", nullptr, Role::None},
    {Plain, "macros", Type::List, nullptr, nullptr, "Macros",
     "Macro definitions NAME=value, separated by \";\", that property values may use as $(NAME).", "", nullptr,
     Role::None},
    {Plain, "package_dependencies", Type::List, nullptr, nullptr, "Package Dependencies",
     "The packages, separated by \";\", that the project needs.", "", nullptr, Role::None},
    {Plain, "batch_build_configurations", Type::List, nullptr, nullptr, "Batch Build Configurations",
     "The configurations, separated by \";\", that a batch build builds.", "", nullptr, Role::None},
    {Plain, "inherited_configurations", Type::List, nullptr, "Configuration Options", "Inherited Configurations",
     "The configurations, separated by \";\", whose values this configuration uses when it sets none itself.", "",
     nullptr, Role::None},
    {Plain, "public_configurations", Type::List, nullptr, nullptr, "Public Configurations",
     "The configurations, separated by \";\", that can be built.", "", nullptr, Role::None},
    {Plain, "private_configurations", Type::List, nullptr, nullptr, "Private Configurations",
     "The configurations, separated by \";\", that only serve as a base for others.", "", nullptr, Role::None},
    {YesNo, "project_inhibit_indexing", 0, nullptr, "Project Options", "Inhibit Source Indexing",
     "Whether the project's sources are left out of the symbol index.", "No", nullptr, Role::None},
    {Plain, "source_code_control_directory", Type::Directory, nullptr, nullptr, "Source Code Control Directory",
     "The root directory of the source code control working copy.", "$(SolutionDir)", nullptr, Role::None},
    {Plain, "code_completion_options", Type::List, nullptr, nullptr, "Code Completion Options",
     "Extra compiler options, separated by \";\", used when parsing for code completion.", "", nullptr, Role::None},
    {Plain, "environment_variables", Type::List, nullptr, "Solution Options", "Environment Variables",
     "Environment variables to set on solution load.", "", nullptr, Role::EnvironmentVariables},

    // Build macros.
    {Macro, "Configuration", 0, nullptr, nullptr, nullptr,
     "The name of the configuration being built.", nullptr, nullptr, Role::None},
    {Macro, "EXE", 0, nullptr, nullptr, nullptr,
     "The file extension of executables, with the dot.", nullptr, nullptr, Role::None},
    {Macro, "FolderName", 0, nullptr, nullptr, nullptr,
     "The name of the folder that holds the element.", nullptr, nullptr, Role::None},
    {Macro, "FolderPath", 0, nullptr, nullptr, nullptr,
     "The names of the folders that hold the element, outermost first, joined by \"/\".", nullptr, nullptr, Role::None},
    {Macro, "InputDir", 0, nullptr, nullptr, nullptr,
     "The absolute directory of the file being built.", nullptr, nullptr, Role::None},
    {Macro, "InputExt", 0, nullptr, nullptr, nullptr,
     "The extension, without the dot, of the file being built.", nullptr, nullptr, Role::None},
    {Macro, "InputFileName", 0, nullptr, nullptr, nullptr,
     "The file name, without directory, of the file being built.", nullptr, nullptr, Role::None},
    {Macro, "InputName", 0, nullptr, nullptr, nullptr,
     "The file name, without directory and extension, of the file being built.", nullptr, nullptr, Role::None},
    {Macro, "InputPath", 0, nullptr, nullptr, nullptr,
     "The absolute path of the file being built.", nullptr, nullptr, Role::None},
    {Macro, "IntDir", 0, nullptr, nullptr, nullptr,
     "The value of the <b>Intermediate Directory</b> property.", nullptr, nullptr, Role::None},
    {Macro, "LIB", 0, nullptr, nullptr, nullptr,
     "The file extension of libraries, with the dot.", nullptr, nullptr, Role::None},
    {Macro, "OBJ", 0, nullptr, nullptr, nullptr,
     "The file extension of object files, with the dot.", nullptr, nullptr, Role::None},
    {Macro, "OutDir", 0, nullptr, nullptr, nullptr,
     "The value of the <b>Output Directory</b> property.", nullptr, nullptr, Role::None},
    {Macro, "PackageExt", 0, nullptr, nullptr, nullptr,
     "The file extension of packages, without the dot.", nullptr, nullptr, Role::None},
    {Macro, "ProjectDir", 0, nullptr, nullptr, nullptr,
     "The absolute project directory.", nullptr, nullptr, Role::None},
    {Macro, "ProjectName", 0, nullptr, nullptr, nullptr, "The name of the project.", nullptr, nullptr, Role::None},
    {Macro, "ProjectNodeName", 0, nullptr, nullptr, nullptr,
     "The name of the element being built.", nullptr, nullptr, Role::None},
    {Macro, "RootOutDir", 0, nullptr, nullptr, nullptr,
     "The value of the <b>Root Output Directory</b> property.", nullptr, nullptr, Role::None},
    {Macro, "RootRelativeOutDir", 0, nullptr, nullptr, nullptr,
     "The path from the output directory to the root output directory.", nullptr, nullptr, Role::None},
    {Macro, "RelInputPath", 0, nullptr, nullptr, nullptr,
     "The path of the file being built, relative to the project directory.", nullptr, nullptr, Role::None},
    {Macro, "RelInputDir", 0, nullptr, nullptr, nullptr,
     "The directory of the file being built, relative to the project directory.", nullptr, nullptr, Role::None},
    {Macro, "SolutionDir", 0, nullptr, nullptr, nullptr,
     "The absolute directory of the solution file.", nullptr, nullptr, Role::None},
    {Macro, "SolutionExt", 0, nullptr, nullptr, nullptr,
     "The extension, without the dot, of the solution file.", nullptr, nullptr, Role::None},
    {Macro, "SolutionFileName", 0, nullptr, nullptr, nullptr,
     "The file name, without directory, of the solution file.", nullptr, nullptr, Role::None},
    {Macro, "SolutionName", 0, nullptr, nullptr, nullptr,
     "The file name, without directory and extension, of the solution file.", nullptr, nullptr, Role::None},
    {Macro, "SolutionPath", 0, nullptr, nullptr, nullptr,
     "The absolute path of the solution file.", nullptr, nullptr, Role::None},
    {Macro, "ToolChainDir", 0, nullptr, nullptr, nullptr,
     "The value of the <b>Toolchain Directory</b> property.", nullptr, nullptr, Role::None},

    // Build properties.
    {Plain, "build_toolchain_directory", Type::Directory, "General", "Build Options", "Toolchain Directory",
     "The directory that holds the compiler, assembler and linker.", "$(StudioDir)", nullptr, Role::None},
    {YesNo, "build_treat_warnings_as_errors", 0, nullptr, nullptr, "Treat Warnings as Errors",
     "Whether a warning stops the build.", "No", nullptr, Role::None},
    {YesNo, "build_suppress_warnings", 0, nullptr, nullptr, "Suppress Warnings",
     "Whether tools are told not to report warnings.", "No", nullptr, Role::None},
    {Plain, "build_intermediate_directory", Type::Directory, nullptr, nullptr, "Intermediate Directory",
     "Where object files and other intermediate files are written, relative to the project directory.",
     "Output/$(ProjectName) $(Configuration)/Obj", nullptr, Role::None},
    {Plain, "build_output_directory", Type::Directory, nullptr, nullptr, "Output Directory",
     "Where the project's output is written, relative to the project directory.", "Output/$(Configuration)/Exe",
     nullptr, Role::None},
    {Plain, "build_root_output_directory", Type::Directory, nullptr, nullptr, "Root Output Directory",
     "The directory shared by the outputs of all projects.", "", nullptr, Role::None},
    {Plain, "build_object_file_name", Type::GeneratedFileName, nullptr, nullptr, "Object File Name",
     "The object file a source file compiles to.", "$(IntDir)/$(InputName)$(OBJ)", nullptr, Role::None},
    {Plain, "build_output_file_name", Type::GeneratedFileName, nullptr, "Linker Options", "Executable File Name",
     "The executable the project links to.", "$(OutDir)/$(ProjectName)$(EXE)", nullptr, Role::None},
    {Plain, "build_output_file_name", Type::GeneratedFileName, nullptr, "Library Options", "Library File Name",
     "The library the project archives to.", "$(OutDir)/$(ProjectName)$(LIB)", nullptr, Role::None},
    {YesNo, "build_quietly", 0, nullptr, "Build Options", "Build Quietly",
     "Whether tool command lines are left out of the build log.", "No", nullptr, Role::None},
    {YesNo, "build_debug_information", 0, nullptr, nullptr, "Include Debug Information",
     "Whether debug information is generated.", "Yes", nullptr, Role::None},
    {YesNo, "build_exclude_from_build", 0, nullptr, nullptr, "Exclude From Build",
     "Whether the element is left out of the build.", "No", nullptr, Role::None},
    {YesNo, "build_always_rebuild", 0, nullptr, nullptr, "Always Rebuild",
     "Whether the element is rebuilt even when it is up to date.", "No", nullptr, Role::None},
    {Plain, "stage_output_filepath", Type::GeneratedFileName, nullptr, "Staging Options", "Stage Output File Path",
     "Where a staged file is copied to.", "$(OutDir)/$(RelInputPath)", nullptr, Role::None},
    {Plain, "stage_command", Type::CommandLine, nullptr, nullptr, "Stage Command",
     "The command that stages a file.", "cp \"$(RelInputPath)\" \"$(StageOutputFilePath)\"", nullptr, Role::None},
    {Plain, "stage_command_wd", Type::Directory, nullptr, nullptr, "Stage Command Working Directory",
     "The directory the stage command runs in.", "$(ProjectDir)", nullptr, Role::None},
    {YesNo, "stage_set_readonly", 0, nullptr, nullptr, "Set Read-only",
     "Whether staged files are made read-only.", "No", nullptr, Role::None},
    {Plain, "stage_post_build_command", Type::CommandLine, nullptr, nullptr, "Stage Post-Build Command",
     "A command run after all files are staged.", "", nullptr, Role::None},
    {Plain, "stage_post_build_command_wd", Type::Directory, nullptr, nullptr,
     "Stage Post-Build Command Working Directory",
     "The directory the stage post-build command runs in.", "", nullptr, Role::None},
    {Plain, "combine_output_filepath", Type::GeneratedFileName, nullptr, "Combining Options",
     "Combine Output File Path",
     "The file that the combine command writes.", "", nullptr, Role::None},
    {Plain, "combine_command", Type::CommandLine, nullptr, nullptr, "Combine Command",
     "The command that combines the inputs into one file.", "", nullptr, Role::None},
    {Plain, "combine_command_wd", Type::Directory, nullptr, nullptr, "Combine Command Working Directory",
     "The directory the combine command runs in.", "", nullptr, Role::None},
    {YesNo, "combine_set_readonly", 0, nullptr, nullptr, "Set Read-only",
     "Whether the combined file is made read-only.", "No", nullptr, Role::None},
    {Plain, "property_groups_file_path", Type::InputFileName, nullptr, "Property Groups", "Property Groups File",
     "The file that defines the project's property groups.", "", nullptr, Role::None},
    {Plain, "pre_build_command", Type::CommandLine, nullptr, "User Build Step Options", "Pre-Build Command",
     "A command run before the project is built.", "", nullptr, Role::None},
    {Plain, "pre_build_command_wd", Type::Directory, nullptr, nullptr, "Pre-Build Command Working Directory",
     "The directory the pre-build command runs in.", "", nullptr, Role::None},
    {Choice, "pre_build_command_control", 0, nullptr, nullptr, "Pre-Build Command Control",
     "When the pre-build command runs.", "Run When Build Required", kCommandControl, Role::None},
    {Plain, "post_build_command", Type::CommandLine, nullptr, nullptr, "Post-Build Command",
     "A command run after the project is built.", "", nullptr, Role::None},
    {Plain, "post_build_command_wd", Type::Directory, nullptr, nullptr, "Post-Build Command Working Directory",
     "The directory the post-build command runs in.", "", nullptr, Role::None},
    {Choice, "post_build_command_control", 0, nullptr, nullptr, "Post-Build Command Control",
     "When the post-build command runs.", "Run When Build Required", kCommandControl, Role::None},
    {ValueGroup, "property_groups", 0, nullptr, "Property Groups", "Property Groups",
     "The property groups of the property groups file; choosing a group value sets the group's member properties.",
     nullptr, nullptr, Role::None},
    {YesNo, "link_include_standard_libraries", 0, "Library", "Library Options", "Include Standard Libraries",
     "Whether the standard libraries are linked.", "Yes", nullptr, Role::None},
    {Plain, "link_standard_libraries_directory", Type::Directory, nullptr, nullptr, "Standard Libraries Directory",
     "Where the standard libraries are found.", "$(StudioLibDir:$(StudioDir)/lib)", nullptr, Role::None},
    {YesNo, "link_use_multi_threaded_libraries", 0, nullptr, nullptr, "Use Multi-Threaded Libraries",
     "Whether the thread-safe variants of the standard libraries are linked.", "No", nullptr, Role::None},
    {Plain, "link_symbol_definitions", Type::List, nullptr, nullptr, "Linker Symbol Definitions",
     "Symbol definitions NAME=value, separated by \";\", passed to the linker.", "", nullptr, Role::None},
    {Plain, "linker_keep_symbols", Type::List, nullptr, nullptr, "Keep Symbols",
     "Symbols, separated by \";\", that the linker must keep although nothing refers to them.", "", nullptr,
     Role::None},

    // Compiler, assembler and linker properties.
    {YesNo, "c_enforce_ansi_checking", 0, "C/C++", "Compiler Options", "Enforce ANSI Checking",
     "Whether the compiler accepts standard C only.", "No", nullptr, Role::None},
    {YesNo, "c_undefine_all_preprocessor_definitions", 0, nullptr, "Preprocessor Options",
     "Undefine All Preprocessor Definitions",
     "Whether the compiler's predefined macros are undefined.", "No", nullptr, Role::None},
    {Plain, "c_preprocessor_definitions", Type::List, nullptr, nullptr, "Preprocessor Definitions",
     "Macro definitions NAME or NAME=value, separated by \";\", passed to the compiler.", "", nullptr, Role::None},
    {Plain, "c_preprocessor_undefinitions", Type::List, nullptr, nullptr, "Undefined Preprocessor Definitions",
     "Macro names, separated by \";\", that are undefined.", "", nullptr, Role::None},
    {YesNo, "c_ignore_includes", 0, nullptr, nullptr, "Ignore Includes",
     "Whether the system include directories are left out.", "No", nullptr, Role::None},
    {Plain, "c_system_include_directories", Type::List, nullptr, nullptr, "System Include Directories",
     "Directories, separated by \";\", searched for &lt;...&gt; includes.",
     "$(StudioIncDir:$(StudioDir)/include);$(PackagesDir)/include", nullptr, Role::None},
    {Plain, "c_user_include_directories", Type::List, nullptr, nullptr, "User Include Directories",
     "Directories, separated by \";\", searched for \"...\" includes.", ".", nullptr, Role::None},
    {Plain, "c_additional_options", Type::List, nullptr, "Compiler Options", "Additional Compiler Options",
     "Options, separated by \";\", passed to the compiler for C and C++ files.", "", nullptr, Role::None},
    {Plain, "c_additional_options_from_file", Type::InputFileName, nullptr, nullptr,
     "Additional Compiler Options From File",
     "A file whose contents are passed to the compiler as options.", "", nullptr, Role::None},
    {Plain, "c_only_additional_options", Type::List, nullptr, nullptr, "Additional C Compiler Only Options",
     "Options, separated by \";\", passed to the compiler for C files only.", "", nullptr, Role::None},
    {Plain, "c_only_additional_options_from_file", Type::InputFileName, nullptr, nullptr,
     "Additional C Compiler Only Options From File",
     "A file whose contents are passed as options for C files only.", "", nullptr, Role::None},
    {Plain, "cpp_only_additional_options", Type::List, nullptr, nullptr, "Additional C++ Compiler Only Options",
     "Options, separated by \";\", passed to the compiler for C++ files only.", "", nullptr, Role::None},
    {Plain, "cpp_only_additional_options_from_file", Type::InputFileName, nullptr, nullptr,
     "Additional C++ Compiler Only Options From File",
     "A file whose contents are passed as options for C++ files only.", "", nullptr, Role::None},
    {YesNo, "cpp_enable_exceptions", 0, nullptr, nullptr, "Enable Exception Support",
     "Whether C++ exceptions are supported.", "No", nullptr, Role::None},
    {YesNo, "cpp_enable_rtti", 0, nullptr, nullptr, "Enable RTTI Support",
     "Whether C++ run-time type information is generated.", "No", nullptr, Role::None},
    {Plain, "asm_additional_options", Type::List, nullptr, "Assembler Options", "Additional Assembler Options",
     "Options, separated by \";\", passed to the assembler.", "", nullptr, Role::None},
    {Plain, "asm_additional_options_from_file", Type::InputFileName, nullptr, nullptr,
     "Additional Assembler Options From File",
     "A file whose contents are passed to the assembler as options.", "", nullptr, Role::None},
    {YesNo, "asm_generate_listing_file", 0, nullptr, nullptr, "Generate Listing File",
     "Whether the assembler writes a listing file.", "No", nullptr, Role::None},
    {Plain, "default_code_section", Type::Text, nullptr, "Section Options", "Code Section Name",
     "The section that code is placed in.", "", nullptr, Role::None},
    {Plain, "default_data_section", Type::Text, nullptr, nullptr, "Data Section Name",
     "The section that initialised data is placed in.", "", nullptr, Role::None},
    {Plain, "default_zeroed_section", Type::Text, nullptr, nullptr, "Zeroed Section Name",
     "The section that zero-initialised data is placed in.", "", nullptr, Role::None},
    {Plain, "default_const_section", Type::Text, nullptr, nullptr, "Constant Section Name",
     "The section that read-only data is placed in.", "", nullptr, Role::None},
    {Plain, "default_vector_section", Type::Text, nullptr, nullptr, "Vector Section Name",
     "The section that the interrupt vectors are placed in.", "", nullptr, Role::None},
    {Plain, "default_isr_section", Type::Text, nullptr, nullptr, "ISR Section Name",
     "The section that interrupt service routines are placed in.", "", nullptr, Role::None},
    {Plain, "linker_additional_files", Type::List, "Linker", "Linker Options", "Additional Input Files",
     "Object files and libraries, separated by \";\", linked as well.", "", nullptr, Role::None},
    {Plain, "linker_additional_options", Type::List, nullptr, nullptr, "Additional Linker Options",
     "Options, separated by \";\", passed to the linker.", "", nullptr, Role::None},
    {Plain, "linker_additional_options_from_file", Type::InputFileName, nullptr, nullptr,
     "Additional Linker Options From File",
     "A file whose contents are passed to the linker as options.", "", nullptr, Role::None},
    {Plain, "linker_memory_map_file", Type::InputFileName, nullptr, nullptr, "Memory Map File",
     "The file that describes the target's memory segments.", "", nullptr, Role::None},
    {Plain, "linker_memory_map_macros", Type::List, nullptr, nullptr, "Memory Map Macros",
     "Macro definitions NAME=value, separated by \";\", used by the memory map file.", "", nullptr, Role::None},
    {Plain, "linker_section_placement_file", Type::InputFileName, nullptr, nullptr, "Section Placement File",
     "The file that places sections into memory segments.", "$(StudioDir)/targets/section_placement.xml", nullptr,
     Role::None},
    {Plain, "linker_section_placement_macros", Type::List, nullptr, nullptr, "Section Placement Macros",
     "Macro definitions NAME=value, separated by \";\", used by the section placement file.", "", nullptr, Role::None},
    {Plain, "linker_section_placements_segments", Type::List, nullptr, nullptr, "Section Placement Segments",
     "Memory segments NAME ACCESS START SIZE, separated by \";\", for the section placement.", "", nullptr, Role::None},
    {YesNo, "link_use_linker_script_file", 0, nullptr, nullptr, "Use Linker Script File",
     "Whether the linker script below is used instead of a generated one.", "No", nullptr, Role::None},
    {Plain, "link_linker_script_file", Type::InputFileName, nullptr, nullptr, "Linker Script File",
     "The linker script to use.", "", nullptr, Role::None},
    {YesNo, "link_dependent_projects", 0, nullptr, nullptr, "Link Dependent Projects",
     "Whether the outputs of the projects this one depends on are linked.", "Yes", nullptr, Role::None},
    {Plain, "debug_register_definition_file", Type::InputFileName, nullptr, nullptr, "Register Definition File",
     "The file that describes the target's memory-mapped registers.", "", nullptr, Role::None},
    {Choice, "linker_output_format", 0, nullptr, nullptr, "Additional Output Format",
     "A further file format that the linked program is converted to.", "None", "None|bin|hex|srec", Role::None},
    {YesNo, "linker_map_file", 0, nullptr, nullptr, "Generate Map File",
     "Whether the linker writes a map file.", "No", nullptr, Role::None},
    {Choice, "linker_printf_fmt_level", 0, nullptr, "Printf/Scanf Options", "Printf Integer Support",
     "The largest integer type that printf formats.", "int", kFormatLevels, Role::None},
    {YesNo, "linker_printf_width_precision_supported", 0, nullptr, nullptr, "Printf Width/Precision Support",
     "Whether printf supports width and precision.", "No", nullptr, Role::None},
    {YesNo, "linker_printf_fp_enabled", 0, nullptr, nullptr, "Printf Floating Point Support",
     "Whether printf formats floating-point numbers.", "No", nullptr, Role::None},
    {YesNo, "linker_printf_wchar_enabled", 0, nullptr, nullptr, "Printf Wide Character Support",
     "Whether printf formats wide characters.", "No", nullptr, Role::None},
    {Choice, "linker_scanf_fmt_level", 0, nullptr, nullptr, "Scanf Integer Support",
     "The largest integer type that scanf reads.", "int", kFormatLevels, Role::None},
    {YesNo, "linker_scanf_fp_enabled", 0, nullptr, nullptr, "Scanf Floating Point Support",
     "Whether scanf reads floating-point numbers.", "No", nullptr, Role::None},
    {YesNo, "linker_scanf_character_group_matching_enabled", 0, nullptr, nullptr, "Scanf Character Group Matching",
     "Whether scanf supports %[...] character groups.", "No", nullptr, Role::None},

    // User build steps and external builds.
    {Plain, "compile_pre_build_command", Type::CommandLine, "General", "User Build Step Options",
     "Compile Pre-Build Command",
     "A command run before a file is compiled.", "", nullptr, Role::None},
    {Plain, "compile_pre_build_command_output_file_name", Type::GeneratedFileName, nullptr, nullptr,
     "Compile Pre-Build Command Output File",
     "The file that the compile pre-build command writes.", "", nullptr, Role::None},
    {Plain, "compile_pre_build_command_wd", Type::Directory, nullptr, nullptr,
     "Compile Pre-Build Command Working Directory",
     "The directory the compile pre-build command runs in.", "$(ProjectDir)", nullptr, Role::None},
    {Plain, "compile_post_build_command", Type::CommandLine, nullptr, nullptr, "Compile Post-Build Command",
     "A command run after a file is compiled.", "", nullptr, Role::None},
    {Plain, "compile_post_build_command_wd", Type::Directory, nullptr, nullptr,
     "Compile Post-Build Command Working Directory",
     "The directory the compile post-build command runs in.", "", nullptr, Role::None},
    {Plain, "linker_pre_build_command", Type::CommandLine, nullptr, nullptr, "Link Pre-Build Command",
     "A command run before the project is linked.", "", nullptr, Role::None},
    {Plain, "linker_pre_build_command_wd", Type::Directory, nullptr, nullptr,
     "Link Pre-Build Command Working Directory",
     "The directory the link pre-build command runs in.", "", nullptr, Role::None},
    {Plain, "linker_patch_build_command", Type::CommandLine, nullptr, nullptr, "Link Patch Command",
     "A command that patches the linked program.", "", nullptr, Role::None},
    {Plain, "linker_patch_build_command_wd", Type::Directory, nullptr, nullptr, "Link Patch Command Working Directory",
     "The directory the link patch command runs in.", "", nullptr, Role::None},
    {Plain, "linker_post_build_command", Type::CommandLine, nullptr, nullptr, "Link Post-Build Command",
     "A command run after the project is linked.", "", nullptr, Role::None},
    {Plain, "linker_post_build_command_wd", Type::Directory, nullptr, nullptr,
     "Link Post-Build Command Working Directory",
     "The directory the link post-build command runs in.", "", nullptr, Role::None},
    {Plain, "linker_post_build_command_output_file", Type::GeneratedFileName, nullptr, nullptr,
     "Link Post-Build Command Output File",
     "The file that the link post-build command writes.", "", nullptr, Role::None},
    {Plain, "archive_post_build_command", Type::CommandLine, nullptr, nullptr, "Archive Post-Build Command",
     "A command run after the library is archived.", "", nullptr, Role::None},
    {Plain, "archive_post_build_command_wd", Type::Directory, nullptr, nullptr,
     "Archive Post-Build Command Working Directory",
     "The directory the archive post-build command runs in.", "", nullptr, Role::None},
    {Plain, "external_build_file_name", Type::GeneratedFileName, nullptr, "External Build Options",
     "External Build Output File",
     "The file that the external build produces.", "", nullptr, Role::None},
    {Plain, "external_build_command", Type::CommandLine, nullptr, nullptr, "External Build Command",
     "The command that builds the project outside the environment.", "", nullptr, Role::None},
    {Plain, "external_clean_command", Type::CommandLine, nullptr, nullptr, "External Clean Command",
     "The command that removes the external build's output.", "", nullptr, Role::None},
    {Plain, "external_c_compile_command", Type::CommandLine, nullptr, nullptr, "External C Compile Command",
     "The command that compiles a C file with an external compiler.", "", nullptr, Role::None},
    {Plain, "external_cpp_compile_command", Type::CommandLine, nullptr, nullptr, "External C++ Compile Command",
     "The command that compiles a C++ file with an external compiler.", "", nullptr, Role::None},
    {Plain, "external_assemble_command", Type::CommandLine, nullptr, nullptr, "External Assemble Command",
     "The command that assembles a file with an external assembler.", "", nullptr, Role::None},
    {Plain, "external_link_command", Type::CommandLine, nullptr, nullptr, "External Link Command",
     "The command that links with an external linker.", "", nullptr, Role::None},
    {Plain, "external_archive_command", Type::CommandLine, nullptr, nullptr, "External Archive Command",
     "The command that archives a library with an external archiver.", "", nullptr, Role::None},
    {Plain, "external_objects_file_name", Type::GeneratedFileName, nullptr, nullptr, "External Objects File",
     "The file that lists the object files for the external linker.", "", nullptr, Role::None},
    {Plain, "external_start_address", Type::Text, nullptr, nullptr, "Start Address",
     "The address that the externally built program starts at.", "", nullptr, Role::None},
    {Plain, "external_load_address", Type::Text, nullptr, nullptr, "Load Address",
     "The address that the externally built program is loaded at.", "", nullptr, Role::None},
    {YesNo, "double_is_float", 0, nullptr, nullptr, "Double Is Float",
     "Whether double is treated as float.", "No", nullptr, Role::None},
    {Plain, "unity_build_file_name", Type::GeneratedFileName, nullptr, "Unity Build Options", "Unity Build File Name",
     "The file that includes every source file of a unity build.", "", nullptr, Role::None},
    {Plain, "unity_build_exclude_filter", Type::List, nullptr, nullptr, "Unity Build Exclude Filter",
     "Wildcards, separated by \";\", of files left out of the unity build.", "", nullptr, Role::None},
    {Plain, "build_dependency_file_name", Type::GeneratedFileName, nullptr, "Build Options", "Dependency File Name",
     "The file that records what a source file includes.", "", nullptr, Role::None},
    {Plain, "build_generic_options_file_name", Type::GeneratedFileName, nullptr, nullptr, "Generic Options File Name",
     "The file that holds the options shared by every compilation.", "", nullptr, Role::None},
    {Plain, "properties_filter", Type::List, nullptr, nullptr, "Properties Filter",
     "Wildcards, separated by \";\", of the properties shown.", "", nullptr, Role::None},
    {Choice, "external_load_file_type", 0, nullptr, "External Build Options", "Load File Type",
     "The format of the externally built program.", "Detect", kLoadFileTypes, Role::None},
    {Plain, "external_debug_symbols_file_name", Type::InputFileName, nullptr, nullptr, "Debug Symbols File",
     "The file that holds the debug symbols of the externally built program.", "", nullptr, Role::None},
    {Plain, "external_debug_symbols_load_address", Type::Text, nullptr, nullptr, "Debug Symbols Load Address",
     "The address that the debug symbols are relocated to.", "", nullptr, Role::None},
    {YesNo, "build_remove_unused_symbols", 0, nullptr, "Build Options", "Remove Unused Symbols",
     "Whether unreferenced code and data are removed when linking.", "Yes", nullptr, Role::None},

    // Debugging.
    {Choice, "debug_target_connection", 0, "Debugging", "Debugger Options", "Target Connection",
     "How the debugger reaches the target.", "Simulator", "GDB Server|Simulator", Role::None},
    {Plain, "debug_working_directory", Type::Directory, nullptr, nullptr, "Working Directory",
     "The directory the program is debugged in.", "", nullptr, Role::None},
    {Plain, "debug_command_arguments", Type::Text, nullptr, nullptr, "Command Arguments",
     "The arguments passed to the program.", "$(ProjectName)$(EXE)", nullptr, Role::None},
    {Plain, "debug_additional_load_file", Type::InputFileName, nullptr, nullptr, "Additional Load File",
     "A further file loaded into the target.", "", nullptr, Role::None},
    {Plain, "debug_additional_load_file_address", Type::Text, nullptr, nullptr, "Additional Load File Address",
     "The address the additional file is loaded at.", "", nullptr, Role::None},
    {Choice, "debug_additional_load_file_type", 0, nullptr, nullptr, "Additional Load File Type",
     "The format of the additional load file.", "Detect", kLoadFileTypes, Role::None},
    {YesNo, "debug_start_from_entry_point_symbol", 0, nullptr, nullptr, "Start From Entry Point Symbol",
     "Whether the program starts at the entry point symbol.", "Yes", nullptr, Role::None},
    {Plain, "debug_entry_point_symbol", Type::Text, nullptr, nullptr, "Entry Point Symbol",
     "The symbol that the program starts at.", "", nullptr, Role::None},
    {Plain, "debug_startup_completion_point", Type::Text, nullptr, nullptr, "Startup Completion Point",
     "The symbol where start-up code is taken to be finished.", "main", nullptr, Role::None},
    {YesNo, "debug_dependent_projects", 0, nullptr, nullptr, "Debug Dependent Projects",
     "Whether the projects this one depends on are loaded too.", "No", nullptr, Role::None},
    {Plain, "debug_initial_breakpoint", Type::Text, nullptr, nullptr, "Initial Breakpoint",
     "The location of a breakpoint set when debugging starts.", "", nullptr, Role::None},
    {Choice, "debug_initial_breakpoint_set_option", 0, nullptr, nullptr, "Initial Breakpoint Is Set",
     "When the initial breakpoint is set.", "Never", "Never|Always|Only With No Breakpoints Set", Role::None},
    {YesNo, "debug_leave_target_running", 0, nullptr, nullptr, "Leave Target Running",
     "Whether the target keeps running when debugging stops.", "No", nullptr, Role::None},
    {Plain, "debug_threads_script", Type::InputFileName, nullptr, nullptr, "Threads Script",
     "The script that lists the target's threads.", "", nullptr, Role::None},
    {Plain, "debug_threads_max", Type::Text, nullptr, nullptr, "Maximum Threads",
     "The largest number of threads shown.", "", nullptr, Role::None},
    {Plain, "debug_terminal_log_file", Type::LogFileName, nullptr, nullptr, "Terminal Log File",
     "The file that the debug terminal's output is copied to.", "", nullptr, Role::None},
    {Plain, "asm_additional_options_backup", Type::List, nullptr, "Saved Options", "Saved Assembler Options",
     "The assembler options before the last change by a package.", "", nullptr, Role::None},
    {Plain, "c_additional_options_backup", Type::List, nullptr, nullptr, "Saved Compiler Options",
     "The compiler options before the last change by a package.", "", nullptr, Role::None},
    {Plain, "link_additional_options_backup", Type::List, nullptr, nullptr, "Saved Linker Options",
     "The linker options before the last change by a package.", "", nullptr, Role::None},

    // Tool macros.
    {Macro, "CombiningOutputFilePath", 0, nullptr, "(Tool Macro Values)", nullptr,
     "The value of the <b>Combine Output File Path</b> property.", nullptr, nullptr, Role::None},
    {Macro, "CombiningRelInputPaths", 0, nullptr, "(Tool Macro Values)", nullptr,
     "The files being combined, relative to the project directory.", nullptr, nullptr, Role::None},
    {Macro, "StageOutputFilePath", 0, nullptr, "(Tool Macro Values)", nullptr,
     "The value of the <b>Stage Output File Path</b> property.", nullptr, nullptr, Role::None},
    {Macro, "TargetPath", 0, nullptr, "(Tool Macro Values)", nullptr,
     "The absolute path of the file the tool writes.", nullptr, nullptr, Role::None},
    {Macro, "RelTargetPath", 0, nullptr, "(Tool Macro Values)", nullptr,
     "The path of the file the tool writes, relative to the project directory.", nullptr, nullptr, Role::None},
    {Macro, "PostLinkOutputFilePath", 0, nullptr, "(Tool Macro Values)", nullptr,
     "The value of the <b>Link Post-Build Command Output File</b> property.", nullptr, nullptr, Role::None},
    {Macro, "MapPath", 0, nullptr, "(Tool Macro Values)", nullptr,
     "The absolute path of the linker's map file.", nullptr, nullptr, Role::None},
    {Macro, "RelMapPath", 0, nullptr, "(Tool Macro Values)", nullptr,
     "The path of the linker's map file, relative to the project directory.", nullptr, nullptr, Role::None},
    {Macro, "DependencyPath", 0, nullptr, "(Tool Macro Values)", nullptr,
     "The absolute path of the dependency file.", nullptr, nullptr, Role::None},
    {Macro, "RelDependencyPath", 0, nullptr, "(Tool Macro Values)", nullptr,
     "The path of the dependency file, relative to the project directory.", nullptr, nullptr, Role::None},
    {Macro, "Defines", 0, nullptr, "(Tool Macro Values)", nullptr,
     "The preprocessor definitions as compiler options.", nullptr, nullptr, Role::None},
    {Macro, "Includes", 0, nullptr, "(Tool Macro Values)", nullptr,
     "The include directories as compiler options.", nullptr, nullptr, Role::None},
    {Macro, "Undefines", 0, nullptr, "(Tool Macro Values)", nullptr,
     "The preprocessor undefinitions as compiler options.", nullptr, nullptr, Role::None},
    {Macro, "Objects", 0, nullptr, "(Tool Macro Values)", nullptr,
     "The object files being linked.", nullptr, nullptr, Role::None},
    {Macro, "ObjectsFilePath", 0, nullptr, "(Tool Macro Values)", nullptr,
     "The absolute path of the file that lists the object files.", nullptr, nullptr, Role::None},
    {Macro, "RelObjectsFilePath", 0, nullptr, "(Tool Macro Values)", nullptr,
     "The path of the file that lists the object files, relative to the project directory.", nullptr, nullptr,
     Role::None},
    {Macro, "LinkerScriptPath", 0, nullptr, "(Tool Macro Values)", nullptr,
     "The absolute path of the linker script.", nullptr, nullptr, Role::None},
    {Macro, "RelLinkerScriptPath", 0, nullptr, "(Tool Macro Values)", nullptr,
     "The path of the linker script, relative to the project directory.", nullptr, nullptr, Role::None},
    {Macro, "AsmOptions", 0, nullptr, "(Tool Macro Values)", nullptr,
     "The assembler options.", nullptr, nullptr, Role::None},
    {Macro, "COptions", 0, nullptr, "(Tool Macro Values)", nullptr,
     "The compiler options for C and C++ files.", nullptr, nullptr, Role::None},
    {Macro, "COnlyOptions", 0, nullptr, "(Tool Macro Values)", nullptr,
     "The compiler options for C files only.", nullptr, nullptr, Role::None},
    {Macro, "CppOnlyOptions", 0, nullptr, "(Tool Macro Values)", nullptr,
     "The compiler options for C++ files only.", nullptr, nullptr, Role::None},
    {Macro, "LinkOptions", 0, nullptr, "(Tool Macro Values)", nullptr,
     "The linker options.", nullptr, nullptr, Role::None},
};

const PropertySchemaRow kRiscvRows[] = {
    {Choice, "rv_architecture", 0, "C/C++", "Code Generation Options", "RISC-V ISA",
     "The instruction set that code is generated for.", "None",
     "None|rv32gc|rv32g|rv32imafc|rv32imaf|rv32imac|rv32ima|rv32i|rv32emac|rv32ema|rv32e", Role::None},
    {Choice, "rv_abi", 0, nullptr, nullptr, "RISC-V ABI",
     "The calling convention and floating-point register use.", "ilp32f", "ilp32f|ilp32e|ilp32d|ilp32", Role::None},
    {Plain, "stack_size", Type::Text, "Linker", "Runtime Memory Area Options", "Stack Size",
     "The size of the stack in bytes.", "1024", nullptr, Role::None},
    {Plain, "heap_size", Type::Text, nullptr, nullptr, "Heap Size",
     "The size of the heap in bytes.", "1024", nullptr, Role::None},
    {Choice, "rv_library_optimization", 0, nullptr, "Library Options", "Library Optimization",
     "Whether the standard libraries are built for size or for speed.", "Small", "Small|Fast", Role::None},
    {Plain, "debug_stack_pointer_start", Type::Text, "Debugging", "Debugger Options", "Stack Pointer Start",
     "The value the stack pointer is set to when the program starts.", "", nullptr, Role::None},
    {Macro, "Arch", 0, nullptr, nullptr, nullptr,
     "The value of the <b>RISC-V ISA</b> project property.", nullptr, nullptr, Role::None},
    {Macro, "ABI", 0, nullptr, nullptr, nullptr,
     "The value of the <b>RISC-V ABI</b> project property.", nullptr, nullptr, Role::None},
    {Macro, "DeviceName", 0, nullptr, nullptr, nullptr,
     "The value of the <b>Target Device</b> project property.", nullptr, nullptr, Role::None},
};
// clang-format on

QString text(const char *s)
{
    return s ? QString::fromUtf8(s) : QString();
}

} // namespace

PropertySchemaTable standardPropertySchema()
{
    return {kStandardRows, sizeof(kStandardRows) / sizeof(kStandardRows[0])};
}

PropertySchemaTable riscvPropertySchema()
{
    return {kRiscvRows, sizeof(kRiscvRows) / sizeof(kRiscvRows[0])};
}

std::unique_ptr<PropertyClass> createPropertyClass(const PropertySchemaRow &row,
                                                   const QString &group,
                                                   const QString &category)
{
    const QString name = text(row.name);
    const QString display = text(row.displayName);
    const QString help = text(row.helpText);
    const QString value = text(row.defaultValue);
    switch (row.kind) {
    case Kind::Plain:
        return std::make_unique<PropertyClass>(name, row.type, group, category, display, help,
                                               value);
    case Kind::Choice:
        return std::make_unique<ChoicePropertyClass>(name, group, category, display, help, value,
                                                     text(row.choices).split(QLatin1Char('|')));
    case Kind::YesNo:
        return std::make_unique<YesNoPropertyClass>(name, group, category, display, help, value);
    case Kind::Macro:
        return std::make_unique<MacroPropertyClass>(
            name, help, row.category ? text(row.category) : QStringLiteral("(Build Macro Values)"));
    case Kind::ValueGroup:
        return std::make_unique<PropertyValueGroupClass>(name, group, category, display, help);
    }
    return nullptr;
}

const PropertyClass *PropertyRoleEntries::entry(PropertyRole role) const
{
    const auto index = static_cast<std::size_t>(role);
    return role == PropertyRole::None || index >= kRoleCount ? nullptr : m_entries[index];
}

void PropertyRoleEntries::set(PropertyRole role, const PropertyClass *entry)
{
    const auto index = static_cast<std::size_t>(role);
    if (role != PropertyRole::None && index < kRoleCount)
        m_entries[index] = entry;
}

void registerPropertySchema(const PropertySchemaTable &table, PropertyClassList &list,
                            PropertyRoleEntries &roles)
{
    QString group;
    QString category;
    for (const PropertySchemaRow &row : table) {
        if (row.kind != Kind::Macro) {
            if (row.group)
                group = text(row.group);
            if (row.category)
                category = text(row.category);
        }
        const PropertyClass *entry = list.append(createPropertyClass(row, group, category));
        roles.set(row.role, entry);
    }
}

const PropertyClass *findPropertyClass(const PropertyClassList &list, const QString &name)
{
    return list.find(name);
}

bool isListProperty(const PropertyClass *entry)
{
    return entry && entry->type() == PropertyType::List;
}

QString propertyDefault(const PropertyClass *entry)
{
    return entry ? entry->defaultValue() : QString();
}
