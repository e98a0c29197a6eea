# Finds ISA-L's compression library (Debian package libisal-dev), whose
# inflater decodes method-0 package bodies, and defines the target ISAL::ISAL.
#
# The header is looked for as <isa-l/igzip_lib.h>, the library as "isal";
# pkg-config's libisal.pc, when there is one, supplies hints. Sets ISAL_FOUND,
# ISAL_INCLUDE_DIR, ISAL_LIBRARY and ISAL_VERSION (from pkg-config only).

find_package(PkgConfig QUIET)
if(PKG_CONFIG_FOUND)
  pkg_check_modules(PC_ISAL QUIET libisal)
endif()

find_path(ISAL_INCLUDE_DIR NAMES isa-l/igzip_lib.h HINTS ${PC_ISAL_INCLUDEDIR} ${PC_ISAL_INCLUDE_DIRS})
find_library(ISAL_LIBRARY NAMES isal HINTS ${PC_ISAL_LIBDIR} ${PC_ISAL_LIBRARY_DIRS})
set(ISAL_VERSION "${PC_ISAL_VERSION}")

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(ISAL
  REQUIRED_VARS ISAL_LIBRARY ISAL_INCLUDE_DIR
  VERSION_VAR ISAL_VERSION
  REASON_FAILURE_MESSAGE "ISA-L (header isa-l/igzip_lib.h, library libisal) is needed to read packages: install the Debian package libisal-dev (scripts/install-deps.sh does)")

if(ISAL_FOUND AND NOT TARGET ISAL::ISAL)
  add_library(ISAL::ISAL UNKNOWN IMPORTED)
  set_target_properties(ISAL::ISAL PROPERTIES
    IMPORTED_LOCATION "${ISAL_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${ISAL_INCLUDE_DIR}")
endif()
mark_as_advanced(ISAL_INCLUDE_DIR ISAL_LIBRARY)
