# orvanta_host_program(<target>)
#
# A program that plays the host agent (the development agent, the tests
# that load plug-ins): it carries the framework and the project's host
# types (orvanta-host) and exports them, so that the plug-in libraries it
# opens resolve their undefined host and libconfig symbols against it.
function(orvanta_host_program target)
  target_link_libraries(${target} PRIVATE orvanta-host orvanta-framework
    ${LIBCONFIG_LIBRARY} ${CMAKE_DL_LIBS})
  set_target_properties(${target} PROPERTIES ENABLE_EXPORTS ON)
endfunction()
