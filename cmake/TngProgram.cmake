# tng_add_program(NAME SOURCES... [LIBS lib...])
#
# A program of the suite. It links the fault-injection switch, so that
# TNG_FAULTS is read and checked before main runs. The platform's own command
# tools (reclass, trix, cawto, wvrepo) use add_executable directly and leave
# the switch out: they always do their real work.
function(tng_add_program name)
  cmake_parse_arguments(P "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${P_SOURCES} ${P_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${P_LIBS} tng_faults_on)
endfunction()
