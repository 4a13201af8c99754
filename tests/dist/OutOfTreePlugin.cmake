# Builds plugin-project against the installed development package and runs
# its plug-in in the development agent; fails with the step that went wrong.
# Variables: BUILD_DIR, WORK_DIR, PROJECT_DIR, TOOLCHAIN_FILE, C_COMPILER,
# CXX_COMPILER, BUILD_TYPE, OBJDUMP, AGENT, EMULATOR, OTHER_HOST_DIR.

function(step what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${what} failed (${result}):\n${out}\n${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
  set(err "${err}" PARENT_SCOPE)
endfunction()

function(expect_in text pattern)
  if(NOT text MATCHES "${pattern}")
    message(FATAL_ERROR "expected \"${pattern}\" in:\n${text}")
  endif()
endfunction()

file(REMOVE_RECURSE "${WORK_DIR}")
set(prefix "${WORK_DIR}/prefix")
step("installing the build" ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${prefix}")
foreach(file include/orvanta/Plugin.h include/orvanta/PluginHandler.h lib/cmake/Orvanta/OrvantaConfig.cmake
             lib/tessard-system-resources.so)
  if(NOT EXISTS "${prefix}/${file}")
    message(FATAL_ERROR "the installation lacks ${file}")
  endif()
endforeach()

set(configure ${CMAKE_COMMAND} -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=${BUILD_TYPE})
if(TOOLCHAIN_FILE)
  list(APPEND configure -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN_FILE})
else()
  list(APPEND configure -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_CXX_COMPILER=${CXX_COMPILER})
endif()
step("configuring the plug-in project" ${configure} -S "${PROJECT_DIR}" -B "${WORK_DIR}/build")
step("building the plug-in project" ${CMAKE_COMMAND} --build "${WORK_DIR}/build")
set(plugin "${WORK_DIR}/build/tessard-hello.so")

# It takes the framework from tessard-system-resources.so, by bare name.
step("reading the plug-in's dynamic section" ${OBJDUMP} -p "${plugin}")
expect_in("${out}" "NEEDED +tessard-system-resources\\.so")

file(WRITE "${WORK_DIR}/agent.cfg"
  "load = (\"tessard-system-resources.so\", \"${plugin}\");\n"
  "plugins = ({ type = \"hello\"; interval = 60; });\n")
step("running the plug-in in the development agent"
  ${CMAKE_COMMAND} -E env "LD_LIBRARY_PATH=${prefix}/lib"
  ${EMULATOR} ${AGENT} -vvv -1 -c "${WORK_DIR}/agent.cfg")
expect_in("${err}" "Plugin hello registered\\.")
expect_in("${err}" "Hello from a plug-in built against the installed framework\\.")

# Given other host declarations than the library's (ORVANTA_HOST_INCLUDE_DIR),
# a plug-in that includes MeasurementSupport.h stops at compile time.
set(mismatch "${WORK_DIR}/mismatch")
file(WRITE "${mismatch}/CMakeLists.txt"
  "cmake_minimum_required(VERSION 3.25)\n"
  "project(mismatch LANGUAGES CXX)\n"
  "set(CMAKE_CXX_STANDARD 17)\n"
  "find_package(Orvanta 1 REQUIRED)\n"
  "orvanta_plugin_library(mismatch Mismatch.cpp)\n")
file(WRITE "${mismatch}/Mismatch.cpp" "#include \"MeasurementSupport.h\"\n")
step("configuring against other host declarations" ${configure} -S "${mismatch}" -B "${mismatch}/build"
  -DORVANTA_HOST_INCLUDE_DIR=${OTHER_HOST_DIR})
execute_process(COMMAND ${CMAKE_COMMAND} --build "${mismatch}/build"
  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(result EQUAL 0)
  message(FATAL_ERROR "built against other host declarations than the library's")
endif()
expect_in("${out}${err}" "give Aggregator another size or alignment than those the framework library was built with")
file(REMOVE_RECURSE "${WORK_DIR}")
