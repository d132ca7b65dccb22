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

# tng_add_program(NAME SOURCES... [LIBS lib...])
#
# A program of the suite. It links the fault-injection switch, so that
# TNG_FAULTS is read and checked before main runs, and the signal policy
# (a closed pipe fails a write instead of ending the program). The platform's own command
# tools (reclass, trix, cawto, wvrepo) use add_executable directly and leave
# the switch out: they always do their real work.
function(tng_add_program name)
  cmake_parse_arguments(P "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${P_SOURCES} ${P_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${P_LIBS} tng_faults_on tng_start)
  tng_quick_start(${name})
endfunction()
