# net-snmp ships no pkg-config file on Debian; ask its config script.
find_program(NET_SNMP_CONFIG net-snmp-config REQUIRED)
execute_process(COMMAND ${NET_SNMP_CONFIG} --netsnmp-libs
                OUTPUT_VARIABLE _netsnmp_libs OUTPUT_STRIP_TRAILING_WHITESPACE)
separate_arguments(_netsnmp_libs UNIX_COMMAND "${_netsnmp_libs}")
add_library(NetSnmp::netsnmp INTERFACE IMPORTED)
target_link_libraries(NetSnmp::netsnmp INTERFACE ${_netsnmp_libs})
