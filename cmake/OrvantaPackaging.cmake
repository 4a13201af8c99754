# The module as it lives on the router, under /opt/orvanta:
#   bin/module-supervisor            the daemon
#   bin/orvanta-settings             get, set and show the module settings
#   bin/orvanta-log                  relays the agent's log to syslog
#   lib/tessard-system-resources.so  the plug-in library (the agent opens it
#                                    by bare name, through LD_LIBRARY_PATH)
#   etc/settings.default             the default settings, switched off;
#                                    etc/settings, which an upgrade must not
#                                    replace, is made from them on the router
#   etc/init                         start|stop|restart|status
#   www/cgi-bin/orvanta              the module's page for the router's web
#                                    server (www/ is its document root)
#   www/index.html                   leads there
# Component "runtime" is that tree and the router archive (CPack, .tar.gz,
# stripped). Component "development" adds the framework headers and the
# CMake package for sibling plug-in libraries; it is not on the router.
include(CMakePackageConfigHelpers)

if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(CMAKE_INSTALL_PREFIX /opt/orvanta CACHE PATH "Where the module is installed" FORCE)
endif()

set(ORVANTA_FRAMEWORK_SONAME tessard-system-resources.so)

if(TARGET module-supervisor)
  install(TARGETS module-supervisor orvanta-settings orvanta-log RUNTIME DESTINATION bin COMPONENT runtime)
endif()

if(TARGET tessard-system-resources)
  # The soname lets sibling plug-ins record the library by its bare name,
  # which the agent's loader has already opened when they are loaded.
  target_link_options(tessard-system-resources PRIVATE
    "LINKER:-soname,${ORVANTA_FRAMEWORK_SONAME}")
  install(TARGETS tessard-system-resources LIBRARY DESTINATION lib COMPONENT runtime)
endif()

# The settings made from them will hold the platform password, and an
# administrator may fill it in here for a fleet: readable by root alone.
install(FILES ${PROJECT_SOURCE_DIR}/dist/settings.default DESTINATION etc
  PERMISSIONS OWNER_READ OWNER_WRITE COMPONENT runtime)
install(PROGRAMS ${PROJECT_SOURCE_DIR}/dist/init DESTINATION etc COMPONENT runtime)
if(TARGET orvanta-web-page)
  install(TARGETS orvanta-web-page RUNTIME DESTINATION www/cgi-bin COMPONENT runtime)
  install(FILES ${PROJECT_SOURCE_DIR}/web-page/index.html DESTINATION www COMPONENT runtime)
endif()

file(GLOB ORVANTA_FRAMEWORK_HEADERS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/framework/*.h)
install(FILES ${ORVANTA_FRAMEWORK_HEADERS} ${ORVANTA_HOST_LAYOUT_HEADER}
  DESTINATION include/orvanta COMPONENT development)
# The package's default host declarations are those the library was built
# with: the stand-ins, installed beside the framework's headers, or the
# host's own folder, by its path on this machine.
if(ORVANTA_HOST_INCLUDE_DIR)
  set(ORVANTA_PACKAGE_HOST_INCLUDE_DIR "${ORVANTA_HOST_TYPES_DIR}")
else()
  list(TRANSFORM ORVANTA_HOST_TYPES PREPEND ${ORVANTA_HOST_TYPES_DIR}/ OUTPUT_VARIABLE host_headers)
  list(TRANSFORM host_headers APPEND .h)
  install(FILES ${host_headers} DESTINATION include/orvanta/host-types COMPONENT development)
  set(ORVANTA_PACKAGE_HOST_INCLUDE_DIR "")
endif()

set(ORVANTA_INCLUDE_DIR include/orvanta)
set(ORVANTA_STAND_INS_INCLUDE_DIR include/orvanta/host-types)
set(ORVANTA_FRAMEWORK_LIBRARY lib/${ORVANTA_FRAMEWORK_SONAME})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/OrvantaConfig.cmake.in
  ${PROJECT_BINARY_DIR}/OrvantaConfig.cmake
  INSTALL_DESTINATION lib/cmake/Orvanta
  PATH_VARS ORVANTA_INCLUDE_DIR ORVANTA_STAND_INS_INCLUDE_DIR ORVANTA_FRAMEWORK_LIBRARY)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/OrvantaConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/OrvantaConfig.cmake ${PROJECT_BINARY_DIR}/OrvantaConfigVersion.cmake
  DESTINATION lib/cmake/Orvanta COMPONENT development)

# The router archive: the runtime tree alone, rooted at / so that
# "tar -xzf <archive> -C /" installs it.
if(CMAKE_LIBRARY_ARCHITECTURE MATCHES "gnueabihf$")
  set(ORVANTA_PACKAGE_ARCH armhf)
else()
  set(ORVANTA_PACKAGE_ARCH ${CMAKE_SYSTEM_PROCESSOR})
endif()
set(CPACK_PACKAGE_NAME orvanta-module)
set(CPACK_PACKAGE_VENDOR Orvanta)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(ORVANTA_ARCHIVE_NAME orvanta-module-${PROJECT_VERSION}-linux-${ORVANTA_PACKAGE_ARCH})
set(CPACK_PACKAGE_FILE_NAME ${ORVANTA_ARCHIVE_NAME})
set(CPACK_GENERATOR TGZ)
set(CPACK_SOURCE_GENERATOR "")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_PACKAGING_INSTALL_PREFIX /opt/orvanta)
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};${PROJECT_NAME};runtime;/")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CHECKSUM SHA256)
include(CPack)
