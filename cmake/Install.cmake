# Installation layout, the Debian package and the installation tests.
#
# duriv finds its installation one level above its own executable and reads
# "bin/config.xml" and "targets/" there, so an installation is a small tree:
#   <prefix>/bin/duriv
#   <prefix>/targets/...                       project templates
#   <prefix>/share/man/man1/duriv.1
#   <prefix>/share/bash-completion/completions/duriv
#   <prefix>/share/zsh/vendor-completions/_duriv
#   <prefix>/lib/cmake/duriv/                 the CMake package (find_package)
# Every destination is relative, so "cmake --install <build> --prefix P" and
# DESTDIR both work.
#
# The Debian package ("cpack -G DEB" in the build directory, or
# "cmake --build <build> --target package") holds that tree under /opt/duriv
# and adds, outside the prefix, a /usr/bin/duriv link to the
# binary (the program resolves it through /proc/self/exe, so its installation
# stays /opt/duriv), the manual page and completions where man, bash and zsh
# look for them, and the CMake package where find_package looks by default. Building it needs cpack, dpkg-deb, dpkg-shlibdeps (Debian package
# dpkg-dev) and file.

include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# "install" and "package" must not rebuild the whole tree with its test suites
# first. What they install is built by the install step itself, below, so they
# also work on a fresh build directory.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

if(NOT CMAKE_INSTALL_BINDIR STREQUAL "bin")
  # The program looks for bin/config.xml one level above itself.
  message(WARNING "CMAKE_INSTALL_BINDIR is ${CMAKE_INSTALL_BINDIR}; duriv expects its installation's bin/config.xml one level above the executable")
endif()

set(DURIV_COMPLETION_DIR "${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions")
set(DURIV_ZSH_COMPLETION_DIR "${CMAKE_INSTALL_DATAROOTDIR}/zsh/vendor-completions")
# Not CMAKE_INSTALL_LIBDIR: the package holds no binaries, and a multiarch
# directory would hide it from a cross build for another architecture.
set(DURIV_CMAKE_PACKAGE_DIR lib/cmake/duriv)
set(DURIV_CMAKE_PACKAGE_BUILD "${CMAKE_BINARY_DIR}/cmake-package")
# Where the Debian package puts the installation.
set(DURIV_DEB_PREFIX /opt/duriv)

# The binary is brought up to date first (a no-op after "make"): the install
# step, and CPack and the "package" target that run it, depend on it alone.
install(CODE "
  execute_process(COMMAND \"${CMAKE_COMMAND}\" --build \"${CMAKE_BINARY_DIR}\" --target duriv
                          --config \"\${CMAKE_INSTALL_CONFIG_NAME}\"
                  RESULT_VARIABLE duriv_build_result)
  if(NOT duriv_build_result EQUAL 0)
    message(FATAL_ERROR \"cannot build duriv for installing it\")
  endif()")
install(TARGETS duriv RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

if(IS_DIRECTORY "${PROJECT_SOURCE_DIR}/targets")
  install(DIRECTORY targets/ DESTINATION targets)
endif()

install(FILES doc/duriv.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES completion/duriv.bash DESTINATION ${DURIV_COMPLETION_DIR} RENAME duriv)
install(FILES completion/_duriv DESTINATION ${DURIV_ZSH_COMPLETION_DIR})

# The CMake package, configured twice: the installed one finds the program
# from its own place (lib/cmake/duriv is three levels below the prefix), so
# the tree can be moved; the Debian package's copy outside the prefix names
# the prefix.
set(DURIV_CONFIG_PREFIX_CODE
    "get_filename_component(_duriv_prefix \"\${CMAKE_CURRENT_LIST_DIR}/../../..\" ABSOLUTE)")
configure_file(cmake/package/durivConfig.cmake.in "${DURIV_CMAKE_PACKAGE_BUILD}/durivConfig.cmake" @ONLY)
set(DURIV_CONFIG_PREFIX_CODE "set(_duriv_prefix \"${DURIV_DEB_PREFIX}\")")
configure_file(cmake/package/durivConfig.cmake.in "${DURIV_CMAKE_PACKAGE_BUILD}/deb/durivConfig.cmake" @ONLY)
# A tool for the building machine: a 32-bit cross build must accept it too.
write_basic_package_version_file("${DURIV_CMAKE_PACKAGE_BUILD}/durivConfigVersion.cmake"
                                 COMPATIBILITY SameMajorVersion ARCH_INDEPENDENT)
install(FILES "${DURIV_CMAKE_PACKAGE_BUILD}/durivConfig.cmake"
              "${DURIV_CMAKE_PACKAGE_BUILD}/durivConfigVersion.cmake"
              cmake/package/durivFunctions.cmake
        DESTINATION ${DURIV_CMAKE_PACKAGE_DIR})

# Files that only the Debian package carries, outside its prefix. They live in
# a component of their own that a plain install leaves out.
set(DURIV_DEB_LINK "${CMAKE_BINARY_DIR}/deb/duriv")
file(MAKE_DIRECTORY "${CMAKE_BINARY_DIR}/deb")
# Relative, so that the link also works in a tree unpacked with "dpkg -x".
file(CREATE_LINK "../..${DURIV_DEB_PREFIX}/${CMAKE_INSTALL_BINDIR}/duriv" "${DURIV_DEB_LINK}" SYMBOLIC)
install(FILES "${DURIV_DEB_LINK}" DESTINATION /usr/bin COMPONENT debian EXCLUDE_FROM_ALL)
install(FILES doc/duriv.1 DESTINATION /usr/share/man/man1 COMPONENT debian EXCLUDE_FROM_ALL)
install(FILES completion/duriv.bash DESTINATION /usr/share/bash-completion/completions
        RENAME duriv COMPONENT debian EXCLUDE_FROM_ALL)
install(FILES completion/_duriv DESTINATION /usr/share/zsh/vendor-completions
        COMPONENT debian EXCLUDE_FROM_ALL)
install(FILES "${DURIV_CMAKE_PACKAGE_BUILD}/deb/durivConfig.cmake"
              "${DURIV_CMAKE_PACKAGE_BUILD}/durivConfigVersion.cmake"
              cmake/package/durivFunctions.cmake
        DESTINATION /usr/lib/cmake/duriv COMPONENT debian EXCLUDE_FROM_ALL)

set(CPACK_PACKAGE_NAME duriv)
set(CPACK_PACKAGE_VENDOR "Varnix")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Varnix Lodestar for RISC-V package maintainer")
set(CPACK_PACKAGE_DESCRIPTION
    "duriv creates, lists, extracts and updates the package archives of the Varnix Lodestar for RISC-V development environment and writes project archives.")
set(CPACK_PACKAGE_CONTACT "Varnix <support@varnix.invalid>")
set(CPACK_GENERATOR DEB)
set(CPACK_SOURCE_GENERATOR "")
set(CPACK_PACKAGING_INSTALL_PREFIX ${DURIV_DEB_PREFIX})
# The absolute destinations above go into the package tree, not onto the
# building machine; with DESTDIR staging the prefix is CPACK_INSTALL_PREFIX.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX ${DURIV_DEB_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENTS_ALL Unspecified debian)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends on the libraries the binary really links (Qt 5 Core and Xml, zlib, libbz2, ISA-L).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The default configuration name (CPackConfig.cmake) is what a plain "cpack"
# in the build directory reads, and it gives the "package" target; no target
# of this project may take that name (the libraries are duriv_*).
include(CPack)

if(DURIV_BUILD_TESTS)
  # Installs this build into a temporary prefix and runs the installed binary.
  # Tests that need an installed tree (the -hzr test with the installed
  # templates, for one) go into tests/install/installed.d/ as *.sh scripts:
  # the test runs each with the prefix as its argument.
  add_test(NAME install.prefix
           COMMAND bash "${PROJECT_SOURCE_DIR}/tests/install/install-prefix.sh" "${CMAKE_BINARY_DIR}")
  # Builds the Debian package in a temporary directory, unpacks it with
  # "dpkg -x" and runs the binary from there; skipped without cpack or dpkg.
  add_test(NAME install.deb
           COMMAND bash "${PROJECT_SOURCE_DIR}/tests/install/install-deb.sh" "${CMAKE_BINARY_DIR}"
                   "${CMAKE_CPACK_COMMAND}")
  set_tests_properties(install.prefix install.deb PROPERTIES RUN_SERIAL ON)
  # The manual page renders without a single warning.
  add_test(NAME manpage.lint
           COMMAND bash -c "command -v groff >/dev/null || exit 77; out=$(groff -ww -z -man \"$1\" 2>&1); [ -z \"$out\" ] || { echo \"$out\"; exit 1; }"
                   lint "${PROJECT_SOURCE_DIR}/doc/duriv.1")
  set_tests_properties(manpage.lint PROPERTIES SKIP_RETURN_CODE 77)
  set_tests_properties(install.deb PROPERTIES SKIP_RETURN_CODE 77)
endif()
