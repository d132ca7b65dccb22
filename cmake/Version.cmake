# tng_version: the package's name and version, and where its shared data lies
# as seen from the folder that holds the programs (so that an installed tree
# may be moved, or unpacked under another root, and still find its files).
file(RELATIVE_PATH TNG_DATA_FROM_BIN
     ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_DATADIR}/${TNG_PACKAGE})
configure_file(${CMAKE_CURRENT_LIST_DIR}/version.h.in
               ${CMAKE_BINARY_DIR}/generated/platform/version.h @ONLY)
add_library(tng_version INTERFACE)
target_include_directories(tng_version INTERFACE ${CMAKE_BINARY_DIR}/generated)
