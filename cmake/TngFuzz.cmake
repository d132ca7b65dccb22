# tng_add_fuzz_target(NAME SOURCES... [LIBS lib...])
#
# A libFuzzer target (clang only: -DTNG_FUZZ=ON). The sources given are
# built with the fuzzer's coverage and the address and undefined-behaviour
# sanitizers; tests/fuzz.sh builds and runs every target.
function(tng_add_fuzz_target name)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "TNG_FUZZ needs clang: CC=clang CXX=clang++ cmake -DTNG_FUZZ=ON ...")
  endif()
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES} ${F_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
endfunction()
