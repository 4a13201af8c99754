# orvanta_plugin_library(<target> [FRAMEWORK] <source>...)
#
# A plug-in library as the host agent opens it: a MODULE library named
# <target>.so (no "lib" prefix), built with hidden visibility, so that it
# exports only what is marked ORVANTA_EXPORT, among it the entry points
# plugin_init and plugin_finalize declared in Plugin.h.
#
# The library names the host types, libconfig's functions and, without
# FRAMEWORK, the framework, but links none of them: they stay undefined
# and are resolved against the host process when it opens the library
# with RTLD_NOW (see orvanta_host_program). With FRAMEWORK the framework
# objects (position-independent) are linked in and exported, as the
# plug-in library that carries the framework needs.
function(orvanta_plugin_library target)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "FRAMEWORK" "" "")
  add_library(${target} MODULE ${ARG_UNPARSED_ARGUMENTS})
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    C_VISIBILITY_PRESET hidden
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  target_include_directories(${target} PRIVATE
    $<TARGET_PROPERTY:orvanta-framework,INTERFACE_INCLUDE_DIRECTORIES>)
  if(ARG_FRAMEWORK)
    target_sources(${target} PRIVATE $<TARGET_OBJECTS:orvanta-framework>)
  endif()
  # Undefined symbols are the point; what static archives bring along is
  # not exported.
  target_link_options(${target} PRIVATE LINKER:-z,undefs LINKER:--exclude-libs,ALL)
endfunction()
