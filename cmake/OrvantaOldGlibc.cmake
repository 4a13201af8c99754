# Old router firmware: builds for 32-bit ARM glibc whose artifacts load on
# glibc far older than the toolchain's (Debian 12: 2.36), down to 2.17 for
# programs that need libc alone and 2.4, the ARM EABI baseline, for the
# plug-in library. scripts/check-symbol-versions holds them to that.
#
# Included once from the top-level CMakeLists.txt. With ORVANTA_OLD_GLIBC
# (on by default for the arm-linux-gnueabihf toolchain), every C and C++
# source of the build force-includes old-glibc/old_glibc_pins.h, which
# binds glibc functions that got a newer version to their old one. That is
# done for the whole build, not per target, so that no object (a static or
# object library linked into an artifact, say) escapes it.
#
# orvanta_old_glibc(<target> [DLOPEN])
#   What the pins alone cannot do, per artifact:
#   - an executable gets the start-up wrapper (old_glibc_start.c, through
#     --wrap=__libc_start_main), which binds the C start-up files' entry
#     point to its old version and runs the static constructors there, and
#     stat, fstat and lstat (old_glibc_stat.c), which glibc 2.33 made
#     functions of a new version;
#   - DLOPEN, for an artifact that calls dlopen and its kin: records
#     libdl.so.2 as needed, where glibc before 2.34 has them. Debian 12 has
#     no libdl.so to link and its libdl.so.2 is an empty stub, so it is
#     named by file and kept under --no-as-needed.
#   A program called with a second set of options (orvanta_libc_program
#   calls it first) gets the start-up wrapper once.
#   Without ORVANTA_OLD_GLIBC it does nothing, so any target may call it.
#   A program that needs libc alone (the supervisor, or any other such tool
#   of the router archive) calls orvanta_old_glibc(<target>) and is listed
#   in scripts/check-symbol-versions.
include_guard(GLOBAL)

set(ORVANTA_OLD_GLIBC_DEFAULT OFF)
if(CMAKE_LIBRARY_ARCHITECTURE STREQUAL "arm-linux-gnueabihf")
  set(ORVANTA_OLD_GLIBC_DEFAULT ON)
endif()
option(ORVANTA_OLD_GLIBC "Build the ARM artifacts to load on old router firmware (glibc 2.17 / 2.4)"
  ${ORVANTA_OLD_GLIBC_DEFAULT})

set(ORVANTA_OLD_GLIBC_DIR ${CMAKE_CURRENT_LIST_DIR}/old-glibc)

if(ORVANTA_OLD_GLIBC)
  if(NOT CMAKE_LIBRARY_ARCHITECTURE STREQUAL "arm-linux-gnueabihf")
    message(FATAL_ERROR "ORVANTA_OLD_GLIBC pins the versions of 32-bit ARM glibc (arm-linux-gnueabihf); "
      "this build is for '${CMAKE_LIBRARY_ARCHITECTURE}'")
  endif()
  add_compile_options("SHELL:-include ${ORVANTA_OLD_GLIBC_DIR}/old_glibc_pins.h")

  # Compiled once; its own options, whatever the program's are.
  add_library(orvanta-old-glibc-start OBJECT ${ORVANTA_OLD_GLIBC_DIR}/old_glibc_start.c
    ${ORVANTA_OLD_GLIBC_DIR}/old_glibc_stat.c)
endif()

function(orvanta_old_glibc target)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "DLOPEN" "" "")
  if(ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "orvanta_old_glibc: unknown arguments ${ARG_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT ORVANTA_OLD_GLIBC)
    return()
  endif()
  get_target_property(type ${target} TYPE)
  get_target_property(started ${target} ORVANTA_OLD_GLIBC_START)
  if(type STREQUAL "EXECUTABLE" AND NOT started)
    target_sources(${target} PRIVATE $<TARGET_OBJECTS:orvanta-old-glibc-start>)
    target_link_options(${target} PRIVATE LINKER:--wrap=__libc_start_main)
    set_target_properties(${target} PROPERTIES ORVANTA_OLD_GLIBC_START ON)
  endif()
  if(ARG_DLOPEN)
    target_link_libraries(${target} PRIVATE
      -Wl,--push-state,--no-as-needed -l:libdl.so.2 -Wl,--pop-state)
  endif()
endfunction()
