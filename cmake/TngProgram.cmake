# tng_quick_start(TARGET)
#
# A program of the suite starts many times in a run (reclass once per moved
# object, a discovery run per schedule): with the C++ runtime linked in, the
# dynamic loader has a few thousand fewer symbols to bind at every start
# (about 0.7 ms of some 3 ms). The sanitizer build keeps the shared runtime,
# which its own runtime expects.
function(tng_quick_start target)
  if(NOT TNG_SANITIZE)
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
