# What `cmake --install` puts where, and the Debian package built from it
# (`cpack -G DEB` in the build folder).
#
#   bin/                             the twenty programs and reclass, trix, wvrepo, cawto
#   share/orvex-tng-suite/           the class definition files
#   share/orvex-tng-suite/demo/      the two demo scripts
#   share/doc/orvex-tng-suite/       README and the notes beside the code
#   share/man/man1/                  one manual page per program
#   share/bash-completion/completions/wvrepo

# The documentation folder is named after the package, not the CMake project.
set(tng_docdir ${CMAKE_INSTALL_DATAROOTDIR}/doc/${TNG_PACKAGE})

set(tng_programs
  orxdetect plndetect
  ClassLift orxrevert plnrevert
  orxschema orxschemadrop orxgwclass
  plnpurge orxpurge
  orxconlink2 orxevtlink orxevtlink1 orxconlink orxprnlink orvm7 orvm7home orxagentlink orxqaros
  orxforward)
set(tng_platform_tools reclass trix wvrepo cawto)
set(TNG_INSTALLED_PROGRAMS ${tng_programs} ${tng_platform_tools} CACHE INTERNAL "")

install(TARGETS ${tng_programs} ${tng_platform_tools}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT suite)

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

install(FILES platform/tools/wvrepo.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME wvrepo COMPONENT suite)

# ---- Debian package ----
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${TNG_PACKAGE})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Orvex TNG integration maintainers <tng-suite@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Orvex integration suite for the TNG management framework")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Twenty console programs that discover Orvex devices over SNMP, move them
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
