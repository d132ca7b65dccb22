# What `cmake --install` puts where, and the Debian package built from it
# (`cpack -G DEB` in the build folder).
#
#   bin/                             every program declared with a MANPAGE (cmake/TngProgram.cmake)
#   share/orvex-tng-suite/           the class definition files
#   share/orvex-tng-suite/demo/      the two demo scripts
#   share/doc/orvex-tng-suite/       README, the notes beside the code, copyright, changelog
#   share/lintian/overrides/         the package's lintian overrides
#   share/man/man1/                  one manual page per program
#   share/bash-completion/completions/wvrepo

# The documentation folder is named after the package, not the CMake project.
set(tng_docdir ${CMAKE_INSTALL_DATAROOTDIR}/doc/${TNG_PACKAGE})

# The installed programs are those declared with a MANPAGE
# (tng_add_program, cmake/TngProgram.cmake); nothing here lists them.
tng_installed_programs(tng_programs)
install(TARGETS ${tng_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT suite)

# build/programs.txt: the same list for the tests and scripts, a program a
# line: its name, then its attributes ("summary": it ends a run with the
# summary line; "platform": a stand-in framework tool). ctest hands its path
# to the tests as TNG_PROGRAMS.
set(tng_program_lines)
foreach(program IN LISTS tng_programs)
  get_property(attributes GLOBAL PROPERTY TNG_PROGRAM_ATTRIBUTES_${program})
  list(JOIN attributes " " attributes)
  string(STRIP "${program} ${attributes}" line)
  string(APPEND tng_program_lines "${line}\n")
endforeach()
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/programs.txt CONTENT "${tng_program_lines}")

install(FILES
          platform/classes/ORXAddClass.TNG platform/classes/ORXDeleteClass.TNG
          platform/classes/PLNAddClass.TNG platform/classes/PLNDeleteClass.TNG
        DESTINATION ${CMAKE_INSTALL_DATADIR}/${TNG_PACKAGE} COMPONENT suite)
install(PROGRAMS scripts/demo.sh scripts/demo-migration.sh
        DESTINATION ${CMAKE_INSTALL_DATADIR}/${TNG_PACKAGE}/demo COMPONENT suite)
install(FILES scripts/demo-home.sh
        DESTINATION ${CMAKE_INSTALL_DATADIR}/${TNG_PACKAGE}/demo COMPONENT suite)

# The notes keep their folder names, so that the README's references read
# the same in share/doc.
install(FILES README.md DESTINATION ${tng_docdir} COMPONENT suite)
foreach(note
    discovery/README.md legacy_discovery/README.md launchers/README.md forwarder/README.md
    platform/classes/README.md platform/snmp/README.md platform/tools/cawto/README.md)
  get_filename_component(dir ${note} DIRECTORY)
  install(FILES ${note} DESTINATION ${tng_docdir}/${dir} COMPONENT suite)
endforeach()

# The package's copyright file and its changelog (a native package:
# changelog.gz), from cmake/debian/. The changelog's newest entry must name
# the project's version.
set(tng_debian ${PROJECT_SOURCE_DIR}/cmake/debian)
file(STRINGS ${tng_debian}/changelog tng_changelog_top LIMIT_COUNT 1)
if(NOT tng_changelog_top MATCHES "^${TNG_PACKAGE} \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "cmake/debian/changelog: its newest entry is not version ${PROJECT_VERSION}")
endif()
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
  COMMAND sh -c "'${GZIP}' -9n < '${tng_debian}/changelog' > '${CMAKE_BINARY_DIR}/changelog.gz'"
  DEPENDS ${tng_debian}/changelog
  VERBATIM)
add_custom_target(tng_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/changelog.gz)
install(FILES ${tng_debian}/copyright ${CMAKE_BINARY_DIR}/changelog.gz
        DESTINATION ${tng_docdir} COMPONENT suite)

install(FILES ${tng_debian}/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides
        RENAME ${TNG_PACKAGE} COMPONENT suite)

install(FILES platform/tools/wvrepo.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME wvrepo COMPONENT suite)

# ---- Debian package ----
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${TNG_PACKAGE})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT
    "Orvex TNG integration maintainers <maintainers@users.noreply.c-seed-e099913d.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Orvex integration suite for the TNG management framework")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Console programs that discover Orvex devices over SNMP, move them
between repository classes, load the class definitions, remove older
integrations, open management pages and forward events; with the stand-in
framework tools reclass, trix, wvrepo and cawto.")
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The library dependencies come from dpkg-shlibdeps over the installed
# programs, but for libpq: the programs load it when a repository is on a
# server, so no program names it.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libpq5")
# Suggested only: the launchers use xdg-open when BROWSER is unset (a console
# without a desktop names its browser in BROWSER), and the demo scripts run
# simulated agents and show the classes with python3.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xdg-utils, snmpd, snmp, python3")
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_IGNORE_FILES "/build.*/;/out/;/\\\\.git/")
include(CPack)
