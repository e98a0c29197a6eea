# Packages and project archives as outputs of a build:
#
# duriv_add_package(<target> OUTPUT <file.lxPackage>
#                   [DIRECTORY <dir>...] [FILES <file>...] [EXCLUDE <path>...]
#                   [BZIP2] [LEVEL <n>] [READONLY] [ALL])
#
#   Runs "duriv -c" in CMAKE_CURRENT_SOURCE_DIR with the directories and files
#   as given, so member names are those paths (relative ones relative to that
#   directory; absolute ones stay absolute). EXCLUDE paths are spelt as the
#   walk spells them: the DIRECTORY argument as given, "/", the path below it.
#   A relative OUTPUT is in CMAKE_CURRENT_BINARY_DIR. <target> builds the
#   package, as part of "all" only with ALL.
#
# duriv_add_project_archive(<target> PROJECT <p.lxProject>
#                           [OUTPUT <out.lxArchive>] [ALL])
#
#   Runs "duriv -hzr" in CMAKE_CURRENT_SOURCE_DIR. OUTPUT defaults to the
#   project's base name (up to its first ".") with ".lxArchive", in
#   CMAKE_CURRENT_BINARY_DIR.
#
# duriv writes a dependency file (DURIV_DEPFILE) naming every file it read and
# every directory it listed, so the output is rebuilt exactly when one of
# those files changes or a file appears in or disappears from one of those
# directories. SOURCE_DATE_EPOCH in the build's environment makes the output
# reproducible.

# Recorded with the functions below and in force whenever they run: the
# dependency file is rewritten for Ninja whatever policies the caller sets.
cmake_policy(SET CMP0116 NEW)

function(_duriv_require function keyword value)
  if(value STREQUAL "")
    message(FATAL_ERROR "${function}: ${keyword} is required")
  endif()
endfunction()

function(_duriv_refuse_unparsed function)
  if(ARGN)
    message(FATAL_ERROR "${function}: unexpected arguments: ${ARGN}")
  endif()
endfunction()

# duriv reads every argument that begins with "-" as an option.
function(_duriv_refuse_option_like function)
  foreach(path IN LISTS ARGN)
    if(path MATCHES "^-")
      message(FATAL_ERROR "${function}: \"${path}\" would be read as an option; write it as ./${path}")
    endif()
  endforeach()
endfunction()

# _duriv_add_output(<target> OUTPUT <absolute file> ALL <true|false>
#                   [DEPENDS <file>...] ARGUMENTS <duriv argument>...)
# The custom command that runs duriv with a dependency file of its own, and
# the target that builds its output.
function(_duriv_add_output target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "OUTPUT;ALL" "DEPENDS;ARGUMENTS")
  set(all "")
  if(arg_ALL)
    set(all ALL)
  endif()
  set(depfile "${CMAKE_CURRENT_BINARY_DIR}/CMakeFiles/${target}.duriv.d")
  set(forget "")
  if(CMAKE_GENERATOR MATCHES "Makefiles")
    # Makefile generators (3.25 at least) add what a dependency file names to
    # what they recorded from it before, so an input removed since would stay
    # a dependency and rebuild the output every time. Without the record the
    # next build reads the new file alone.
    set(forget COMMAND "${CMAKE_COMMAND}" -E rm -f
                       "${CMAKE_CURRENT_BINARY_DIR}/CMakeFiles/${target}.dir/compiler_depend.internal")
  endif()
  add_custom_command(OUTPUT "${arg_OUTPUT}"
    COMMAND "${CMAKE_COMMAND}" -E env "DURIV_DEPFILE=${depfile}"
            $<TARGET_FILE:duriv::duriv> ${arg_ARGUMENTS}
    ${forget}
    DEPENDS duriv::duriv ${arg_DEPENDS}
    DEPFILE "${depfile}"
    WORKING_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}"
    COMMENT "Writing ${arg_OUTPUT}"
    VERBATIM)
  add_custom_target(${target} ${all} DEPENDS "${arg_OUTPUT}")
endfunction()

function(duriv_add_package target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "BZIP2;READONLY;ALL" "OUTPUT;LEVEL" "DIRECTORY;FILES;EXCLUDE")
  _duriv_refuse_unparsed(duriv_add_package ${arg_UNPARSED_ARGUMENTS})
  _duriv_require(duriv_add_package OUTPUT "${arg_OUTPUT}")
  _duriv_refuse_option_like(duriv_add_package ${arg_DIRECTORY} ${arg_FILES})

  set(options "")
  if(arg_BZIP2)
    list(APPEND options -bzip2)
  endif()
  if(DEFINED arg_LEVEL)
    if(NOT arg_LEVEL MATCHES "^[0-9]$")
      message(FATAL_ERROR "duriv_add_package: LEVEL is 0 to 9, not \"${arg_LEVEL}\"")
    endif()
    list(APPEND options -compress ${arg_LEVEL})
  endif()
  if(arg_READONLY)
    list(APPEND options -readonly)
  endif()
  foreach(path IN LISTS arg_EXCLUDE)
    list(APPEND options -exclude "${path}")
  endforeach()

  # Listed files are dependencies from the start, so that one the build
  # makes is made first; the dependency file adds the rest after a run.
  set(depends "")
  foreach(file IN LISTS arg_FILES)
    cmake_path(ABSOLUTE_PATH file BASE_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}" NORMALIZE)
    list(APPEND depends "${file}")
  endforeach()

  cmake_path(ABSOLUTE_PATH arg_OUTPUT BASE_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}" NORMALIZE
             OUTPUT_VARIABLE output)
  _duriv_add_output(${target} ALL "${arg_ALL}" OUTPUT "${output}" DEPENDS ${depends}
                    ARGUMENTS -c ${options} "${output}" ${arg_DIRECTORY} ${arg_FILES})
endfunction()

function(duriv_add_project_archive target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "ALL" "PROJECT;OUTPUT" "")
  _duriv_refuse_unparsed(duriv_add_project_archive ${arg_UNPARSED_ARGUMENTS})
  _duriv_require(duriv_add_project_archive PROJECT "${arg_PROJECT}")
  _duriv_refuse_option_like(duriv_add_project_archive "${arg_PROJECT}")

  if("${arg_OUTPUT}" STREQUAL "")
    # The base name stops at the first ".", as duriv's own default does.
    get_filename_component(base "${arg_PROJECT}" NAME_WE)
    set(arg_OUTPUT "${base}.lxArchive")
  endif()
  cmake_path(ABSOLUTE_PATH arg_OUTPUT BASE_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}" NORMALIZE
             OUTPUT_VARIABLE output)
  cmake_path(ABSOLUTE_PATH arg_PROJECT BASE_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}" NORMALIZE
             OUTPUT_VARIABLE project)
  _duriv_add_output(${target} ALL "${arg_ALL}" OUTPUT "${output}" DEPENDS "${project}"
                    ARGUMENTS -hzr "${arg_PROJECT}" "${output}")
endfunction()
