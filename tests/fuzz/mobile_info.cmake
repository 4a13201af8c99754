# MobileInfo in a private /var: the sandbox of the tests and scripts.
orvanta_fuzz_target(mobile_info
  SOURCES ${PROJECT_SOURCE_DIR}/plugins/system-resources/MobileInfo.cpp
  LIBRARIES orvanta-sandbox-lib ${CMAKE_DL_LIBS})
target_include_directories(fuzz_mobile_info PRIVATE ${PROJECT_SOURCE_DIR}/plugins/system-resources)
