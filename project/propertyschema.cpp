// The built-in property schema tables and the factory that turns a row into an entry.
#include "project/propertyschema.h"

#include "project/propertyclasses.h"

namespace {

using K = PropertyEntryKind;
using R = PropertyRole;
namespace T = PropertyType;

constexpr K P = K::Plain;
constexpr K C = K::Choice;
constexpr K Y = K::YesNo;
constexpr K M = K::Macro;
constexpr K G = K::ValueGroup;

constexpr const char *kLoadFileTypes = "Detect|ELF|Binary|Intel Hex|Motorola S-Record";
constexpr const char *kCommandControl = "Run When Build Required|Always Run";
constexpr const char *kFormatLevels = "int|long|long long";

// clang-format off
const PropertySchemaRow kStandardRows[] = {
    // Properties of files, folders, projects and solutions.
    {P, "date_created", T::Text, "General", "File Options", "Date Created", "When the file was added to the project.", "", nullptr, R::None},
    {P, "date_modified", T::Text, nullptr, nullptr, "Date Modified", "When the file was last changed on disk.", "", nullptr, R::None},
    {P, "Platform", T::Text, nullptr, nullptr, "Platform", "The target platform the project is built for.", "", nullptr, R::None},
    {P, "full_path", T::InputFileName, nullptr, nullptr, "Full Path", "The absolute path of the file.", "", nullptr, R::None},
    {P, "relative_path", T::InputFileName, nullptr, nullptr, "Relative Path", "The path of the file relative to the project directory.", "", nullptr, R::None},
    {P, "Name", T::Text, nullptr, nullptr, "Name", "The name shown for the solution, project, folder or configuration.", "", nullptr, R::None},
    {P, "file_name", T::InputFileName, nullptr, nullptr, "File Name", "The file's path, relative to the project directory or absolute; may contain macros.", "", nullptr, R::FilePath},
    {P, "file_codec", T::Text, nullptr, nullptr, "File Encoding", "The text encoding used to open the file; empty uses the environment's default.", "", nullptr, R::None},
    {C, "file_open_with", 0, nullptr, nullptr, "Open With", "The program used to open the file.", "Text Editor", "Run File|Web Browser|Binary Editor|Text Editor", R::None},
    {C, "file_type", 0, nullptr, nullptr, "File Type", "How the build treats the file; <b>Default</b> decides by its suffix.", "Default", "Default|C|C++|Assembly|Header|Linker Script|Object File|Library", R::None},
    {Y, "file_flag", 0, nullptr, nullptr, "Flag File", "Marks the file in the project explorer.", "No", nullptr, R::None},
    {Y, "project_flag", 0, nullptr, "Project Options", "Flag Project", "Marks the project in the project explorer.", "No", nullptr, R::None},
    {Y, "solution_flag", 0, nullptr, "Solution Options", "Flag Solution", "Marks the solution in the project explorer.", "No", nullptr, R::None},
    {P, "filter", T::List, nullptr, "Folder Options", "Filter", "File suffixes, without the dot and separated by \";\" or \",\", of the files that are added to this folder.", "", nullptr, R::FolderFilter},
    {P, "path", T::Directory, nullptr, "Dynamic Folder Options", "Dynamic Folder Directory", "The directory whose files the folder shows, relative to the project directory.", "", nullptr, R::DynamicFolderPath},
    {P, "filter", T::List, nullptr, nullptr, "Dynamic Folder Filter", "Wildcards, separated by \";\", that a file name must match to be shown, for example <b>*.c;*.h</b>.", "", nullptr, R::DynamicFolderFilter},
    {Y, "recurse", 0, nullptr, nullptr, "Recurse Into Subdirectories", "Whether subdirectories are shown as subfolders.", "No", nullptr, R::DynamicFolderRecurse},
    {P, "exclude", T::List, nullptr, nullptr, "Dynamic Folder Exclude Filter", "Wildcards, separated by \";\", of files and directories that are not shown.", "", nullptr, R::DynamicFolderExclude},
    {C, "project_type", 0, nullptr, "Project Options", "Project Type", "What the project builds.", "Executable", "Executable|Library|Object file|Staging|Combining|Externally Built Executable|Externally Built Library|Externally Built Object file", R::ProjectType},
    {P, "name", T::InputFileName, nullptr, "Solution Options", "Solution File Name", "The file that holds the solution.", "", nullptr, R::None},
    {P, "project_directory", T::Directory, nullptr, "Project Options", "Project Directory", "The project's directory, relative to the directory of the solution file; empty means the solution directory.", "", nullptr, R::ProjectDirectory},
    {P, "full_project_directory", T::Directory, nullptr, nullptr, "Full Project Directory", "The absolute project directory.", "", nullptr, R::FullProjectDirectory},
    {P, "project_dependencies", T::List, nullptr, nullptr, "Project Dependencies", "The projects, separated by \";\", that are built before this one.", "", nullptr, R::None},
    {Y, "project_can_build_in_parallel", 0, nullptr, nullptr, "Build In Parallel", "Whether the project may be built at the same time as other projects.", "Yes", nullptr, R::None},
    {P, "macros", T::List, nullptr, nullptr, "Macros", "Macro definitions NAME=value, separated by \";\", that property values may use as $(NAME).", "", nullptr, R::None},
    {P, "package_dependencies", T::List, nullptr, nullptr, "Package Dependencies", "The packages, separated by \";\", that the project needs.", "", nullptr, R::None},
    {P, "batch_build_configurations", T::List, nullptr, nullptr, "Batch Build Configurations", "The configurations, separated by \";\", that a batch build builds.", "", nullptr, R::None},
    {P, "inherited_configurations", T::List, nullptr, "Configuration Options", "Inherited Configurations", "The configurations, separated by \";\", whose values this configuration uses when it sets none itself.", "", nullptr, R::None},
    {P, "public_configurations", T::List, nullptr, nullptr, "Public Configurations", "The configurations, separated by \";\", that can be built.", "", nullptr, R::None},
    {P, "private_configurations", T::List, nullptr, nullptr, "Private Configurations", "The configurations, separated by \";\", that only serve as a base for others.", "", nullptr, R::None},
    {Y, "project_inhibit_indexing", 0, nullptr, "Project Options", "Inhibit Source Indexing", "Whether the project's sources are left out of the symbol index.", "No", nullptr, R::None},
    {P, "source_code_control_directory", T::Directory, nullptr, nullptr, "Source Code Control Directory", "The root directory of the source code control working copy.", "$(SolutionDir)", nullptr, R::None},
    {P, "code_completion_options", T::List, nullptr, nullptr, "Code Completion Options", "Extra compiler options, separated by \";\", used when parsing for code completion.", "", nullptr, R::None},
    {P, "environment_variables", T::List, nullptr, "Solution Options", "Environment Variables", "Environment variables to set on solution load.", "", nullptr, R::EnvironmentVariables},

    // Build macros.
    {M, "Configuration", 0, nullptr, nullptr, nullptr, "The name of the configuration being built.", nullptr, nullptr, R::None},
    {M, "EXE", 0, nullptr, nullptr, nullptr, "The file extension of executables, with the dot.", nullptr, nullptr, R::None},
    {M, "FolderName", 0, nullptr, nullptr, nullptr, "The name of the folder that holds the element.", nullptr, nullptr, R::None},
    {M, "FolderPath", 0, nullptr, nullptr, nullptr, "The names of the folders that hold the element, outermost first, joined by \"/\".", nullptr, nullptr, R::None},
    {M, "InputDir", 0, nullptr, nullptr, nullptr, "The absolute directory of the file being built.", nullptr, nullptr, R::None},
    {M, "InputExt", 0, nullptr, nullptr, nullptr, "The extension, without the dot, of the file being built.", nullptr, nullptr, R::None},
    {M, "InputFileName", 0, nullptr, nullptr, nullptr, "The file name, without directory, of the file being built.", nullptr, nullptr, R::None},
    {M, "InputName", 0, nullptr, nullptr, nullptr, "The file name, without directory and extension, of the file being built.", nullptr, nullptr, R::None},
    {M, "InputPath", 0, nullptr, nullptr, nullptr, "The absolute path of the file being built.", nullptr, nullptr, R::None},
    {M, "IntDir", 0, nullptr, nullptr, nullptr, "The value of the <b>Intermediate Directory</b> property.", nullptr, nullptr, R::None},
    {M, "LIB", 0, nullptr, nullptr, nullptr, "The file extension of libraries, with the dot.", nullptr, nullptr, R::None},
    {M, "OBJ", 0, nullptr, nullptr, nullptr, "The file extension of object files, with the dot.", nullptr, nullptr, R::None},
    {M, "OutDir", 0, nullptr, nullptr, nullptr, "The value of the <b>Output Directory</b> property.", nullptr, nullptr, R::None},
    {M, "PackageExt", 0, nullptr, nullptr, nullptr, "The file extension of packages, without the dot.", nullptr, nullptr, R::None},
    {M, "ProjectDir", 0, nullptr, nullptr, nullptr, "The absolute project directory.", nullptr, nullptr, R::None},
    {M, "ProjectName", 0, nullptr, nullptr, nullptr, "The name of the project.", nullptr, nullptr, R::None},
    {M, "ProjectNodeName", 0, nullptr, nullptr, nullptr, "The name of the element being built.", nullptr, nullptr, R::None},
    {M, "RootOutDir", 0, nullptr, nullptr, nullptr, "The value of the <b>Root Output Directory</b> property.", nullptr, nullptr, R::None},
    {M, "RootRelativeOutDir", 0, nullptr, nullptr, nullptr, "The path from the output directory to the root output directory.", nullptr, nullptr, R::None},
    {M, "RelInputPath", 0, nullptr, nullptr, nullptr, "The path of the file being built, relative to the project directory.", nullptr, nullptr, R::None},
    {M, "RelInputDir", 0, nullptr, nullptr, nullptr, "The directory of the file being built, relative to the project directory.", nullptr, nullptr, R::None},
    {M, "SolutionDir", 0, nullptr, nullptr, nullptr, "The absolute directory of the solution file.", nullptr, nullptr, R::None},
    {M, "SolutionExt", 0, nullptr, nullptr, nullptr, "The extension, without the dot, of the solution file.", nullptr, nullptr, R::None},
    {M, "SolutionFileName", 0, nullptr, nullptr, nullptr, "The file name, without directory, of the solution file.", nullptr, nullptr, R::None},
    {M, "SolutionName", 0, nullptr, nullptr, nullptr, "The file name, without directory and extension, of the solution file.", nullptr, nullptr, R::None},
    {M, "SolutionPath", 0, nullptr, nullptr, nullptr, "The absolute path of the solution file.", nullptr, nullptr, R::None},
    {M, "ToolChainDir", 0, nullptr, nullptr, nullptr, "The value of the <b>Toolchain Directory</b> property.", nullptr, nullptr, R::None},

    // Build properties.
    {P, "build_toolchain_directory", T::Directory, "General", "Build Options", "Toolchain Directory", "The directory that holds the compiler, assembler and linker.", "$(StudioDir)", nullptr, R::None},
    {Y, "build_treat_warnings_as_errors", 0, nullptr, nullptr, "Treat Warnings as Errors", "Whether a warning stops the build.", "No", nullptr, R::None},
    {Y, "build_suppress_warnings", 0, nullptr, nullptr, "Suppress Warnings", "Whether tools are told not to report warnings.", "No", nullptr, R::None},
    {P, "build_intermediate_directory", T::Directory, nullptr, nullptr, "Intermediate Directory", "Where object files and other intermediate files are written, relative to the project directory.", "Output/$(ProjectName) $(Configuration)/Obj", nullptr, R::None},
    {P, "build_output_directory", T::Directory, nullptr, nullptr, "Output Directory", "Where the project's output is written, relative to the project directory.", "Output/$(Configuration)/Exe", nullptr, R::None},
    {P, "build_root_output_directory", T::Directory, nullptr, nullptr, "Root Output Directory", "The directory shared by the outputs of all projects.", "", nullptr, R::None},
    {P, "build_object_file_name", T::GeneratedFileName, nullptr, nullptr, "Object File Name", "The object file a source file compiles to.", "$(IntDir)/$(InputName)$(OBJ)", nullptr, R::None},
    {P, "build_output_file_name", T::GeneratedFileName, nullptr, "Linker Options", "Executable File Name", "The executable the project links to.", "$(OutDir)/$(ProjectName)$(EXE)", nullptr, R::None},
    {P, "build_output_file_name", T::GeneratedFileName, nullptr, "Library Options", "Library File Name", "The library the project archives to.", "$(OutDir)/$(ProjectName)$(LIB)", nullptr, R::None},
    {Y, "build_quietly", 0, nullptr, "Build Options", "Build Quietly", "Whether tool command lines are left out of the build log.", "No", nullptr, R::None},
    {Y, "build_debug_information", 0, nullptr, nullptr, "Include Debug Information", "Whether debug information is generated.", "Yes", nullptr, R::None},
    {Y, "build_exclude_from_build", 0, nullptr, nullptr, "Exclude From Build", "Whether the element is left out of the build.", "No", nullptr, R::None},
    {Y, "build_always_rebuild", 0, nullptr, nullptr, "Always Rebuild", "Whether the element is rebuilt even when it is up to date.", "No", nullptr, R::None},
    {P, "stage_output_filepath", T::GeneratedFileName, nullptr, "Staging Options", "Stage Output File Path", "Where a staged file is copied to.", "$(OutDir)/$(RelInputPath)", nullptr, R::None},
    {P, "stage_command", T::CommandLine, nullptr, nullptr, "Stage Command", "The command that stages a file.", "cp \"$(RelInputPath)\" \"$(StageOutputFilePath)\"", nullptr, R::None},
    {P, "stage_command_wd", T::Directory, nullptr, nullptr, "Stage Command Working Directory", "The directory the stage command runs in.", "$(ProjectDir)", nullptr, R::None},
    {Y, "stage_set_readonly", 0, nullptr, nullptr, "Set Read-only", "Whether staged files are made read-only.", "No", nullptr, R::None},
    {P, "stage_post_build_command", T::CommandLine, nullptr, nullptr, "Stage Post-Build Command", "A command run after all files are staged.", "", nullptr, R::None},
    {P, "stage_post_build_command_wd", T::Directory, nullptr, nullptr, "Stage Post-Build Command Working Directory", "The directory the stage post-build command runs in.", "", nullptr, R::None},
    {P, "combine_output_filepath", T::GeneratedFileName, nullptr, "Combining Options", "Combine Output File Path", "The file that the combine command writes.", "", nullptr, R::None},
    {P, "combine_command", T::CommandLine, nullptr, nullptr, "Combine Command", "The command that combines the inputs into one file.", "", nullptr, R::None},
    {P, "combine_command_wd", T::Directory, nullptr, nullptr, "Combine Command Working Directory", "The directory the combine command runs in.", "", nullptr, R::None},
    {Y, "combine_set_readonly", 0, nullptr, nullptr, "Set Read-only", "Whether the combined file is made read-only.", "No", nullptr, R::None},
    {P, "property_groups_file_path", T::InputFileName, nullptr, "Property Groups", "Property Groups File", "The file that defines the project's property groups.", "", nullptr, R::None},
    {P, "pre_build_command", T::CommandLine, nullptr, "User Build Step Options", "Pre-Build Command", "A command run before the project is built.", "", nullptr, R::None},
    {P, "pre_build_command_wd", T::Directory, nullptr, nullptr, "Pre-Build Command Working Directory", "The directory the pre-build command runs in.", "", nullptr, R::None},
    {C, "pre_build_command_control", 0, nullptr, nullptr, "Pre-Build Command Control", "When the pre-build command runs.", "Run When Build Required", kCommandControl, R::None},
    {P, "post_build_command", T::CommandLine, nullptr, nullptr, "Post-Build Command", "A command run after the project is built.", "", nullptr, R::None},
    {P, "post_build_command_wd", T::Directory, nullptr, nullptr, "Post-Build Command Working Directory", "The directory the post-build command runs in.", "", nullptr, R::None},
    {C, "post_build_command_control", 0, nullptr, nullptr, "Post-Build Command Control", "When the post-build command runs.", "Run When Build Required", kCommandControl, R::None},
    {G, "property_groups", 0, nullptr, "Property Groups", "Property Groups", "The property groups of the property groups file; choosing a group value sets the group's member properties.", nullptr, nullptr, R::None},
    {Y, "link_include_standard_libraries", 0, "Library", "Library Options", "Include Standard Libraries", "Whether the standard libraries are linked.", "Yes", nullptr, R::None},
    {P, "link_standard_libraries_directory", T::Directory, nullptr, nullptr, "Standard Libraries Directory", "Where the standard libraries are found.", "$(StudioLibDir:$(StudioDir)/lib)", nullptr, R::None},
    {Y, "link_use_multi_threaded_libraries", 0, nullptr, nullptr, "Use Multi-Threaded Libraries", "Whether the thread-safe variants of the standard libraries are linked.", "No", nullptr, R::None},
    {P, "link_symbol_definitions", T::List, nullptr, nullptr, "Linker Symbol Definitions", "Symbol definitions NAME=value, separated by \";\", passed to the linker.", "", nullptr, R::None},
    {P, "linker_keep_symbols", T::List, nullptr, nullptr, "Keep Symbols", "Symbols, separated by \";\", that the linker must keep although nothing refers to them.", "", nullptr, R::None},

    // Compiler, assembler and linker properties.
    {Y, "c_enforce_ansi_checking", 0, "C/C++", "Compiler Options", "Enforce ANSI Checking", "Whether the compiler accepts standard C only.", "No", nullptr, R::None},
    {Y, "c_undefine_all_preprocessor_definitions", 0, nullptr, "Preprocessor Options", "Undefine All Preprocessor Definitions", "Whether the compiler's predefined macros are undefined.", "No", nullptr, R::None},
    {P, "c_preprocessor_definitions", T::List, nullptr, nullptr, "Preprocessor Definitions", "Macro definitions NAME or NAME=value, separated by \";\", passed to the compiler.", "", nullptr, R::None},
    {P, "c_preprocessor_undefinitions", T::List, nullptr, nullptr, "Undefined Preprocessor Definitions", "Macro names, separated by \";\", that are undefined.", "", nullptr, R::None},
    {Y, "c_ignore_includes", 0, nullptr, nullptr, "Ignore Includes", "Whether the system include directories are left out.", "No", nullptr, R::None},
    {P, "c_system_include_directories", T::List, nullptr, nullptr, "System Include Directories", "Directories, separated by \";\", searched for &lt;...&gt; includes.", "$(StudioIncDir:$(StudioDir)/include);$(PackagesDir)/include", nullptr, R::None},
    {P, "c_user_include_directories", T::List, nullptr, nullptr, "User Include Directories", "Directories, separated by \";\", searched for \"...\" includes.", ".", nullptr, R::None},
    {P, "c_additional_options", T::List, nullptr, "Compiler Options", "Additional Compiler Options", "Options, separated by \";\", passed to the compiler for C and C++ files.", "", nullptr, R::None},
    {P, "c_additional_options_from_file", T::InputFileName, nullptr, nullptr, "Additional Compiler Options From File", "A file whose contents are passed to the compiler as options.", "", nullptr, R::None},
    {P, "c_only_additional_options", T::List, nullptr, nullptr, "Additional C Compiler Only Options", "Options, separated by \";\", passed to the compiler for C files only.", "", nullptr, R::None},
    {P, "c_only_additional_options_from_file", T::InputFileName, nullptr, nullptr, "Additional C Compiler Only Options From File", "A file whose contents are passed as options for C files only.", "", nullptr, R::None},
    {P, "cpp_only_additional_options", T::List, nullptr, nullptr, "Additional C++ Compiler Only Options", "Options, separated by \";\", passed to the compiler for C++ files only.", "", nullptr, R::None},
    {P, "cpp_only_additional_options_from_file", T::InputFileName, nullptr, nullptr, "Additional C++ Compiler Only Options From File", "A file whose contents are passed as options for C++ files only.", "", nullptr, R::None},
    {Y, "cpp_enable_exceptions", 0, nullptr, nullptr, "Enable Exception Support", "Whether C++ exceptions are supported.", "No", nullptr, R::None},
    {Y, "cpp_enable_rtti", 0, nullptr, nullptr, "Enable RTTI Support", "Whether C++ run-time type information is generated.", "No", nullptr, R::None},
    {P, "asm_additional_options", T::List, nullptr, "Assembler Options", "Additional Assembler Options", "Options, separated by \";\", passed to the assembler.", "", nullptr, R::None},
    {P, "asm_additional_options_from_file", T::InputFileName, nullptr, nullptr, "Additional Assembler Options From File", "A file whose contents are passed to the assembler as options.", "", nullptr, R::None},
    {Y, "asm_generate_listing_file", 0, nullptr, nullptr, "Generate Listing File", "Whether the assembler writes a listing file.", "No", nullptr, R::None},
    {P, "default_code_section", T::Text, nullptr, "Section Options", "Code Section Name", "The section that code is placed in.", "", nullptr, R::None},
    {P, "default_data_section", T::Text, nullptr, nullptr, "Data Section Name", "The section that initialised data is placed in.", "", nullptr, R::None},
    {P, "default_zeroed_section", T::Text, nullptr, nullptr, "Zeroed Section Name", "The section that zero-initialised data is placed in.", "", nullptr, R::None},
    {P, "default_const_section", T::Text, nullptr, nullptr, "Constant Section Name", "The section that read-only data is placed in.", "", nullptr, R::None},
    {P, "default_vector_section", T::Text, nullptr, nullptr, "Vector Section Name", "The section that the interrupt vectors are placed in.", "", nullptr, R::None},
    {P, "default_isr_section", T::Text, nullptr, nullptr, "ISR Section Name", "The section that interrupt service routines are placed in.", "", nullptr, R::None},
    {P, "linker_additional_files", T::List, "Linker", "Linker Options", "Additional Input Files", "Object files and libraries, separated by \";\", linked as well.", "", nullptr, R::None},
    {P, "linker_additional_options", T::List, nullptr, nullptr, "Additional Linker Options", "Options, separated by \";\", passed to the linker.", "", nullptr, R::None},
    {P, "linker_additional_options_from_file", T::InputFileName, nullptr, nullptr, "Additional Linker Options From File", "A file whose contents are passed to the linker as options.", "", nullptr, R::None},
    {P, "linker_memory_map_file", T::InputFileName, nullptr, nullptr, "Memory Map File", "The file that describes the target's memory segments.", "", nullptr, R::None},
    {P, "linker_memory_map_macros", T::List, nullptr, nullptr, "Memory Map Macros", "Macro definitions NAME=value, separated by \";\", used by the memory map file.", "", nullptr, R::None},
    {P, "linker_section_placement_file", T::InputFileName, nullptr, nullptr, "Section Placement File", "The file that places sections into memory segments.", "$(StudioDir)/targets/section_placement.xml", nullptr, R::None},
    {P, "linker_section_placement_macros", T::List, nullptr, nullptr, "Section Placement Macros", "Macro definitions NAME=value, separated by \";\", used by the section placement file.", "", nullptr, R::None},
    {P, "linker_section_placements_segments", T::List, nullptr, nullptr, "Section Placement Segments", "Memory segments NAME ACCESS START SIZE, separated by \";\", for the section placement.", "", nullptr, R::None},
    {Y, "link_use_linker_script_file", 0, nullptr, nullptr, "Use Linker Script File", "Whether the linker script below is used instead of a generated one.", "No", nullptr, R::None},
    {P, "link_linker_script_file", T::InputFileName, nullptr, nullptr, "Linker Script File", "The linker script to use.", "", nullptr, R::None},
    {Y, "link_dependent_projects", 0, nullptr, nullptr, "Link Dependent Projects", "Whether the outputs of the projects this one depends on are linked.", "Yes", nullptr, R::None},
    {P, "debug_register_definition_file", T::InputFileName, nullptr, nullptr, "Register Definition File", "The file that describes the target's memory-mapped registers.", "", nullptr, R::None},
    {C, "linker_output_format", 0, nullptr, nullptr, "Additional Output Format", "A further file format that the linked program is converted to.", "None", "None|bin|hex|srec", R::None},
    {Y, "linker_map_file", 0, nullptr, nullptr, "Generate Map File", "Whether the linker writes a map file.", "No", nullptr, R::None},
    {C, "linker_printf_fmt_level", 0, nullptr, "Printf/Scanf Options", "Printf Integer Support", "The largest integer type that printf formats.", "int", kFormatLevels, R::None},
    {Y, "linker_printf_width_precision_supported", 0, nullptr, nullptr, "Printf Width/Precision Support", "Whether printf supports width and precision.", "No", nullptr, R::None},
    {Y, "linker_printf_fp_enabled", 0, nullptr, nullptr, "Printf Floating Point Support", "Whether printf formats floating-point numbers.", "No", nullptr, R::None},
    {Y, "linker_printf_wchar_enabled", 0, nullptr, nullptr, "Printf Wide Character Support", "Whether printf formats wide characters.", "No", nullptr, R::None},
    {C, "linker_scanf_fmt_level", 0, nullptr, nullptr, "Scanf Integer Support", "The largest integer type that scanf reads.", "int", kFormatLevels, R::None},
    {Y, "linker_scanf_fp_enabled", 0, nullptr, nullptr, "Scanf Floating Point Support", "Whether scanf reads floating-point numbers.", "No", nullptr, R::None},
    {Y, "linker_scanf_character_group_matching_enabled", 0, nullptr, nullptr, "Scanf Character Group Matching", "Whether scanf supports %[...] character groups.", "No", nullptr, R::None},

    // User build steps and external builds.
    {P, "compile_pre_build_command", T::CommandLine, "General", "User Build Step Options", "Compile Pre-Build Command", "A command run before a file is compiled.", "", nullptr, R::None},
    {P, "compile_pre_build_command_output_file_name", T::GeneratedFileName, nullptr, nullptr, "Compile Pre-Build Command Output File", "The file that the compile pre-build command writes.", "", nullptr, R::None},
    {P, "compile_pre_build_command_wd", T::Directory, nullptr, nullptr, "Compile Pre-Build Command Working Directory", "The directory the compile pre-build command runs in.", "$(ProjectDir)", nullptr, R::None},
    {P, "compile_post_build_command", T::CommandLine, nullptr, nullptr, "Compile Post-Build Command", "A command run after a file is compiled.", "", nullptr, R::None},
    {P, "compile_post_build_command_wd", T::Directory, nullptr, nullptr, "Compile Post-Build Command Working Directory", "The directory the compile post-build command runs in.", "", nullptr, R::None},
    {P, "linker_pre_build_command", T::CommandLine, nullptr, nullptr, "Link Pre-Build Command", "A command run before the project is linked.", "", nullptr, R::None},
    {P, "linker_pre_build_command_wd", T::Directory, nullptr, nullptr, "Link Pre-Build Command Working Directory", "The directory the link pre-build command runs in.", "", nullptr, R::None},
    {P, "linker_patch_build_command", T::CommandLine, nullptr, nullptr, "Link Patch Command", "A command that patches the linked program.", "", nullptr, R::None},
    {P, "linker_patch_build_command_wd", T::Directory, nullptr, nullptr, "Link Patch Command Working Directory", "The directory the link patch command runs in.", "", nullptr, R::None},
    {P, "linker_post_build_command", T::CommandLine, nullptr, nullptr, "Link Post-Build Command", "A command run after the project is linked.", "", nullptr, R::None},
    {P, "linker_post_build_command_wd", T::Directory, nullptr, nullptr, "Link Post-Build Command Working Directory", "The directory the link post-build command runs in.", "", nullptr, R::None},
    {P, "linker_post_build_command_output_file", T::GeneratedFileName, nullptr, nullptr, "Link Post-Build Command Output File", "The file that the link post-build command writes.", "", nullptr, R::None},
    {P, "archive_post_build_command", T::CommandLine, nullptr, nullptr, "Archive Post-Build Command", "A command run after the library is archived.", "", nullptr, R::None},
    {P, "archive_post_build_command_wd", T::Directory, nullptr, nullptr, "Archive Post-Build Command Working Directory", "The directory the archive post-build command runs in.", "", nullptr, R::None},
    {P, "external_build_file_name", T::GeneratedFileName, nullptr, "External Build Options", "External Build Output File", "The file that the external build produces.", "", nullptr, R::None},
    {P, "external_build_command", T::CommandLine, nullptr, nullptr, "External Build Command", "The command that builds the project outside the environment.", "", nullptr, R::None},
    {P, "external_clean_command", T::CommandLine, nullptr, nullptr, "External Clean Command", "The command that removes the external build's output.", "", nullptr, R::None},
    {P, "external_c_compile_command", T::CommandLine, nullptr, nullptr, "External C Compile Command", "The command that compiles a C file with an external compiler.", "", nullptr, R::None},
    {P, "external_cpp_compile_command", T::CommandLine, nullptr, nullptr, "External C++ Compile Command", "The command that compiles a C++ file with an external compiler.", "", nullptr, R::None},
    {P, "external_assemble_command", T::CommandLine, nullptr, nullptr, "External Assemble Command", "The command that assembles a file with an external assembler.", "", nullptr, R::None},
    {P, "external_link_command", T::CommandLine, nullptr, nullptr, "External Link Command", "The command that links with an external linker.", "", nullptr, R::None},
    {P, "external_archive_command", T::CommandLine, nullptr, nullptr, "External Archive Command", "The command that archives a library with an external archiver.", "", nullptr, R::None},
    {P, "external_objects_file_name", T::GeneratedFileName, nullptr, nullptr, "External Objects File", "The file that lists the object files for the external linker.", "", nullptr, R::None},
    {P, "external_start_address", T::Text, nullptr, nullptr, "Start Address", "The address that the externally built program starts at.", "", nullptr, R::None},
    {P, "external_load_address", T::Text, nullptr, nullptr, "Load Address", "The address that the externally built program is loaded at.", "", nullptr, R::None},
    {Y, "double_is_float", 0, nullptr, nullptr, "Double Is Float", "Whether double is treated as float.", "No", nullptr, R::None},
    {P, "unity_build_file_name", T::GeneratedFileName, nullptr, "Unity Build Options", "Unity Build File Name", "The file that includes every source file of a unity build.", "", nullptr, R::None},
    {P, "unity_build_exclude_filter", T::List, nullptr, nullptr, "Unity Build Exclude Filter", "Wildcards, separated by \";\", of files left out of the unity build.", "", nullptr, R::None},
    {P, "build_dependency_file_name", T::GeneratedFileName, nullptr, "Build Options", "Dependency File Name", "The file that records what a source file includes.", "", nullptr, R::None},
    {P, "build_generic_options_file_name", T::GeneratedFileName, nullptr, nullptr, "Generic Options File Name", "The file that holds the options shared by every compilation.", "", nullptr, R::None},
    {P, "properties_filter", T::List, nullptr, nullptr, "Properties Filter", "Wildcards, separated by \";\", of the properties shown.", "", nullptr, R::None},
    {C, "external_load_file_type", 0, nullptr, "External Build Options", "Load File Type", "The format of the externally built program.", "Detect", kLoadFileTypes, R::None},
    {P, "external_debug_symbols_file_name", T::InputFileName, nullptr, nullptr, "Debug Symbols File", "The file that holds the debug symbols of the externally built program.", "", nullptr, R::None},
    {P, "external_debug_symbols_load_address", T::Text, nullptr, nullptr, "Debug Symbols Load Address", "The address that the debug symbols are relocated to.", "", nullptr, R::None},
    {Y, "build_remove_unused_symbols", 0, nullptr, "Build Options", "Remove Unused Symbols", "Whether unreferenced code and data are removed when linking.", "Yes", nullptr, R::None},

    // Debugging.
    {C, "debug_target_connection", 0, "Debugging", "Debugger Options", "Target Connection", "How the debugger reaches the target.", "Simulator", "GDB Server|Simulator", R::None},
    {P, "debug_working_directory", T::Directory, nullptr, nullptr, "Working Directory", "The directory the program is debugged in.", "", nullptr, R::None},
    {P, "debug_command_arguments", T::Text, nullptr, nullptr, "Command Arguments", "The arguments passed to the program.", "$(ProjectName)$(EXE)", nullptr, R::None},
    {P, "debug_additional_load_file", T::InputFileName, nullptr, nullptr, "Additional Load File", "A further file loaded into the target.", "", nullptr, R::None},
    {P, "debug_additional_load_file_address", T::Text, nullptr, nullptr, "Additional Load File Address", "The address the additional file is loaded at.", "", nullptr, R::None},
    {C, "debug_additional_load_file_type", 0, nullptr, nullptr, "Additional Load File Type", "The format of the additional load file.", "Detect", kLoadFileTypes, R::None},
    {Y, "debug_start_from_entry_point_symbol", 0, nullptr, nullptr, "Start From Entry Point Symbol", "Whether the program starts at the entry point symbol.", "Yes", nullptr, R::None},
    {P, "debug_entry_point_symbol", T::Text, nullptr, nullptr, "Entry Point Symbol", "The symbol that the program starts at.", "", nullptr, R::None},
    {P, "debug_startup_completion_point", T::Text, nullptr, nullptr, "Startup Completion Point", "The symbol where start-up code is taken to be finished.", "main", nullptr, R::None},
    {Y, "debug_dependent_projects", 0, nullptr, nullptr, "Debug Dependent Projects", "Whether the projects this one depends on are loaded too.", "No", nullptr, R::None},
    {P, "debug_initial_breakpoint", T::Text, nullptr, nullptr, "Initial Breakpoint", "The location of a breakpoint set when debugging starts.", "", nullptr, R::None},
    {C, "debug_initial_breakpoint_set_option", 0, nullptr, nullptr, "Initial Breakpoint Is Set", "When the initial breakpoint is set.", "Never", "Never|Always|Only With No Breakpoints Set", R::None},
    {Y, "debug_leave_target_running", 0, nullptr, nullptr, "Leave Target Running", "Whether the target keeps running when debugging stops.", "No", nullptr, R::None},
    {P, "debug_threads_script", T::InputFileName, nullptr, nullptr, "Threads Script", "The script that lists the target's threads.", "", nullptr, R::None},
    {P, "debug_threads_max", T::Text, nullptr, nullptr, "Maximum Threads", "The largest number of threads shown.", "", nullptr, R::None},
    {P, "debug_terminal_log_file", T::LogFileName, nullptr, nullptr, "Terminal Log File", "The file that the debug terminal's output is copied to.", "", nullptr, R::None},
    {P, "asm_additional_options_backup", T::List, nullptr, "Saved Options", "Saved Assembler Options", "The assembler options before the last change by a package.", "", nullptr, R::None},
    {P, "c_additional_options_backup", T::List, nullptr, nullptr, "Saved Compiler Options", "The compiler options before the last change by a package.", "", nullptr, R::None},
    {P, "link_additional_options_backup", T::List, nullptr, nullptr, "Saved Linker Options", "The linker options before the last change by a package.", "", nullptr, R::None},

    // Tool macros.
    {M, "CombiningOutputFilePath", 0, nullptr, "(Tool Macro Values)", nullptr, "The value of the <b>Combine Output File Path</b> property.", nullptr, nullptr, R::None},
    {M, "CombiningRelInputPaths", 0, nullptr, "(Tool Macro Values)", nullptr, "The files being combined, relative to the project directory.", nullptr, nullptr, R::None},
    {M, "StageOutputFilePath", 0, nullptr, "(Tool Macro Values)", nullptr, "The value of the <b>Stage Output File Path</b> property.", nullptr, nullptr, R::None},
    {M, "TargetPath", 0, nullptr, "(Tool Macro Values)", nullptr, "The absolute path of the file the tool writes.", nullptr, nullptr, R::None},
    {M, "RelTargetPath", 0, nullptr, "(Tool Macro Values)", nullptr, "The path of the file the tool writes, relative to the project directory.", nullptr, nullptr, R::None},
    {M, "PostLinkOutputFilePath", 0, nullptr, "(Tool Macro Values)", nullptr, "The value of the <b>Link Post-Build Command Output File</b> property.", nullptr, nullptr, R::None},
    {M, "MapPath", 0, nullptr, "(Tool Macro Values)", nullptr, "The absolute path of the linker's map file.", nullptr, nullptr, R::None},
    {M, "RelMapPath", 0, nullptr, "(Tool Macro Values)", nullptr, "The path of the linker's map file, relative to the project directory.", nullptr, nullptr, R::None},
    {M, "DependencyPath", 0, nullptr, "(Tool Macro Values)", nullptr, "The absolute path of the dependency file.", nullptr, nullptr, R::None},
    {M, "RelDependencyPath", 0, nullptr, "(Tool Macro Values)", nullptr, "The path of the dependency file, relative to the project directory.", nullptr, nullptr, R::None},
    {M, "Defines", 0, nullptr, "(Tool Macro Values)", nullptr, "The preprocessor definitions as compiler options.", nullptr, nullptr, R::None},
    {M, "Includes", 0, nullptr, "(Tool Macro Values)", nullptr, "The include directories as compiler options.", nullptr, nullptr, R::None},
    {M, "Undefines", 0, nullptr, "(Tool Macro Values)", nullptr, "The preprocessor undefinitions as compiler options.", nullptr, nullptr, R::None},
    {M, "Objects", 0, nullptr, "(Tool Macro Values)", nullptr, "The object files being linked.", nullptr, nullptr, R::None},
    {M, "ObjectsFilePath", 0, nullptr, "(Tool Macro Values)", nullptr, "The absolute path of the file that lists the object files.", nullptr, nullptr, R::None},
    {M, "RelObjectsFilePath", 0, nullptr, "(Tool Macro Values)", nullptr, "The path of the file that lists the object files, relative to the project directory.", nullptr, nullptr, R::None},
    {M, "LinkerScriptPath", 0, nullptr, "(Tool Macro Values)", nullptr, "The absolute path of the linker script.", nullptr, nullptr, R::None},
    {M, "RelLinkerScriptPath", 0, nullptr, "(Tool Macro Values)", nullptr, "The path of the linker script, relative to the project directory.", nullptr, nullptr, R::None},
    {M, "AsmOptions", 0, nullptr, "(Tool Macro Values)", nullptr, "The assembler options.", nullptr, nullptr, R::None},
    {M, "COptions", 0, nullptr, "(Tool Macro Values)", nullptr, "The compiler options for C and C++ files.", nullptr, nullptr, R::None},
    {M, "COnlyOptions", 0, nullptr, "(Tool Macro Values)", nullptr, "The compiler options for C files only.", nullptr, nullptr, R::None},
    {M, "CppOnlyOptions", 0, nullptr, "(Tool Macro Values)", nullptr, "The compiler options for C++ files only.", nullptr, nullptr, R::None},
    {M, "LinkOptions", 0, nullptr, "(Tool Macro Values)", nullptr, "The linker options.", nullptr, nullptr, R::None},
};

const PropertySchemaRow kRiscvRows[] = {
    {C, "rv_architecture", 0, "C/C++", "Code Generation Options", "RISC-V ISA", "The instruction set that code is generated for.", "None", "None|rv32gc|rv32g|rv32imafc|rv32imaf|rv32imac|rv32ima|rv32i|rv32emac|rv32ema|rv32e", R::None},
    {C, "rv_abi", 0, nullptr, nullptr, "RISC-V ABI", "The calling convention and floating-point register use.", "ilp32f", "ilp32f|ilp32e|ilp32d|ilp32", R::None},
    {P, "stack_size", T::Text, "Linker", "Runtime Memory Area Options", "Stack Size", "The size of the stack in bytes.", "1024", nullptr, R::None},
    {P, "heap_size", T::Text, nullptr, nullptr, "Heap Size", "The size of the heap in bytes.", "1024", nullptr, R::None},
    {C, "rv_library_optimization", 0, nullptr, "Library Options", "Library Optimization", "Whether the standard libraries are built for size or for speed.", "Small", "Small|Fast", R::None},
    {P, "debug_stack_pointer_start", T::Text, "Debugging", "Debugger Options", "Stack Pointer Start", "The value the stack pointer is set to when the program starts.", "", nullptr, R::None},
    {M, "Arch", 0, nullptr, nullptr, nullptr, "The value of the <b>RISC-V ISA</b> project property.", nullptr, nullptr, R::None},
    {M, "ABI", 0, nullptr, nullptr, nullptr, "The value of the <b>RISC-V ABI</b> project property.", nullptr, nullptr, R::None},
    {M, "DeviceName", 0, nullptr, nullptr, nullptr, "The value of the <b>Target Device</b> project property.", nullptr, nullptr, R::None},
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
    case K::Plain:
        return std::make_unique<PropertyClass>(name, row.type, group, category, display, help,
                                               value);
    case K::Choice:
        return std::make_unique<ChoicePropertyClass>(name, group, category, display, help, value,
                                                     text(row.choices).split(QLatin1Char('|')));
    case K::YesNo:
        return std::make_unique<YesNoPropertyClass>(name, group, category, display, help, value);
    case K::Macro:
        return std::make_unique<MacroPropertyClass>(
            name, help, row.category ? text(row.category) : QStringLiteral("(Build Macro Values)"));
    case K::ValueGroup:
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
        if (row.kind != K::Macro) {
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

std::vector<const PropertyClass *> findPropertyClasses(const PropertyClassList &list,
                                                       const QString &name)
{
    std::vector<const PropertyClass *> found;
    for (const auto &entry : list.entries()) {
        if (entry->name() == name)
            found.push_back(entry.get());
    }
    return found;
}

bool isListProperty(const PropertyClass *entry)
{
    return entry && entry->type() == PropertyType::List;
}

QString propertyDefault(const PropertyClass *entry)
{
    return entry ? entry->defaultValue() : QString();
}
