# The C++ runtime. By default the programs use the system's shared libstdc++
# and libgcc_s, so that a security update of those libraries reaches them.
# TNG_STATIC_RUNTIME links them in instead: a program of the suite starts
# many times in a run (reclass once per moved object), and with the runtime
# linked in the dynamic loader has a few thousand fewer symbols to bind at
# every start. bench/ measures both; the package is built without it.
option(TNG_STATIC_RUNTIME "Link the C++ runtime into the programs (benchmarks only)" OFF)
if(TNG_STATIC_RUNTIME AND TNG_SANITIZE)
  message(FATAL_ERROR "TNG_STATIC_RUNTIME and TNG_SANITIZE do not go together: "
                      "the sanitizers' runtime expects the shared C++ runtime")
endif()

# tng_quick_start(TARGET): applies TNG_STATIC_RUNTIME to one program.
function(tng_quick_start target)
  if(TNG_STATIC_RUNTIME)
    target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc)
  endif()
endfunction()

# tng_add_program(NAME SOURCES... [LIBS lib...] [MANPAGE page.1.scd] [SUMMARY] [PLATFORM])
#
# A program of the suite. It links the fault-injection switch, so that
# TNG_FAULTS is read and checked before main runs, and the signal policy
# (a closed pipe fails a write instead of ending the program).
#
#   MANPAGE   the program is installed, with this manual page (scdoc source,
#             relative to man/). This is the one place that makes a program
#             part of the installed suite: the install rules, the package,
#             the manual pages and the tests' list (build/programs.txt) all
#             follow from it. A program without it (a helper for tests or
#             benchmarks) stays in the build's bin/.
#   SUMMARY   the program ends a run with the summary line of
#             foundation/progress.h ("NAME: N objects moved, ..."); the tests
#             take that line apart from the rest of standard error.
#   PLATFORM  one of the stand-in framework's own command tools (reclass,
#             trix, cawto, wvrepo): neither the fault switch nor the start-up
#             policy is linked, so a child started during a test always does
#             its real work.
function(tng_add_program name)
  cmake_parse_arguments(P "SUMMARY;PLATFORM" "MANPAGE" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${P_SOURCES} ${P_UNPARSED_ARGUMENTS})
  if(P_PLATFORM)
    target_link_libraries(${name} PRIVATE ${P_LIBS})
  else()
    target_link_libraries(${name} PRIVATE ${P_LIBS} tng_faults_on tng_start)
  endif()
  tng_quick_start(${name})
  if(P_MANPAGE)
    set(page ${PROJECT_SOURCE_DIR}/man/${P_MANPAGE})
    if(NOT EXISTS ${page})
      message(FATAL_ERROR "${name}: its manual page ${page} does not exist")
    endif()
    set_property(GLOBAL APPEND PROPERTY TNG_PROGRAMS ${name})
    set_property(GLOBAL PROPERTY TNG_PROGRAM_MANPAGE_${name} ${page})
    set(attributes)
    if(P_SUMMARY)
      list(APPEND attributes summary)
    endif()
    if(P_PLATFORM)
      list(APPEND attributes platform)
    endif()
    set_property(GLOBAL PROPERTY TNG_PROGRAM_ATTRIBUTES_${name} ${attributes})
  elseif(P_SUMMARY)
    message(FATAL_ERROR "${name}: SUMMARY is for installed programs (give it a MANPAGE)")
  endif()
endfunction()

# tng_installed_programs(VAR): the installed programs, in the order declared.
function(tng_installed_programs var)
  get_property(programs GLOBAL PROPERTY TNG_PROGRAMS)
  set(${var} ${programs} PARENT_SCOPE)
endfunction()

# tng_add_unit_test(NAME SOURCES... [LIBS lib...])
#
# A GoogleTest program and its ctest test, labelled "unit" and "quick" (the
# quick label is the edit-test loop: `ctest --test-dir build -L quick`).
function(tng_add_unit_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES} ${T_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES LABELS "unit;quick")
endfunction()
