# The module as the build installs it, under TREE/opt/orvanta: the tree
# that the scenarios copy into the router they play on.
file(REMOVE_RECURSE ${TREE})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --component runtime --prefix ${TREE}/opt/orvanta
  OUTPUT_QUIET RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "cannot install ${BUILD_DIR} into ${TREE}")
endif()
