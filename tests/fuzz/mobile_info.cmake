# MobileInfo in a private /var: the tests' sandbox, built here since the
# fuzz build has no tests.
find_package(Threads REQUIRED)
orvanta_fuzz_target(mobile_info
  SOURCES ${PROJECT_SOURCE_DIR}/plugins/system-resources/MobileInfo.cpp
          ${PROJECT_SOURCE_DIR}/tests/support/Sandbox.cpp
          ${PROJECT_SOURCE_DIR}/tests/support/SyslogRecorder.cpp
          ${PROJECT_SOURCE_DIR}/tests/support/TempDir.cpp
  LIBRARIES Threads::Threads ${CMAKE_DL_LIBS})
target_include_directories(fuzz_mobile_info PRIVATE
  ${PROJECT_SOURCE_DIR}/plugins/system-resources ${PROJECT_SOURCE_DIR}/tests/support)
target_compile_definitions(fuzz_mobile_info PRIVATE
  ORVANTA_SANDBOX_BASE="${CMAKE_BINARY_DIR}/sandboxes")
