# tng_add_fuzz_target(NAME SOURCES... [LIBS lib...])
#
# A libFuzzer target (clang only: -DTNG_FUZZ=ON). The sources given are
# built with the fuzzer's coverage and the address and undefined-behaviour
# sanitizers. Its seeds, a few small well-formed and odd inputs, are
# committed beside it in fuzz/seeds/NAME/ (a fuzzer on a fresh machine
# starts from them). The build writes fuzz-targets.txt, a target and its
# seed folder a line, and the target tng_fuzz_targets builds them all;
# tests/fuzz.sh runs every target listed there.
function(tng_add_fuzz_target name)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "TNG_FUZZ needs clang: CC=clang CXX=clang++ cmake -DTNG_FUZZ=ON ...")
  endif()
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  set(seeds ${CMAKE_CURRENT_SOURCE_DIR}/seeds/${name})
  file(GLOB seed_files ${seeds}/*)
  if(NOT seed_files)
    message(FATAL_ERROR "${name}: no seeds in ${seeds}")
  endif()
  add_executable(${name} ${F_SOURCES} ${F_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  set_property(GLOBAL APPEND PROPERTY TNG_FUZZ_TARGETS ${name})
  set_property(GLOBAL APPEND_STRING PROPERTY TNG_FUZZ_LINES "${name} ${seeds}\n")
endfunction()

# tng_fuzz_targets_done(): after every folder: the list and the umbrella target.
function(tng_fuzz_targets_done)
  if(NOT TNG_FUZZ)
    return()
  endif()
  get_property(targets GLOBAL PROPERTY TNG_FUZZ_TARGETS)
  get_property(lines GLOBAL PROPERTY TNG_FUZZ_LINES)
  file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/fuzz-targets.txt CONTENT "${lines}")
  add_custom_target(tng_fuzz_targets DEPENDS ${targets})
endfunction()
