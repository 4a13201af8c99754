# orvanta_libc_program(<target> <source>...)
#
# One of the module's programs for the router, which has little memory:
# C-style C++ without exceptions or RTTI, linked by the C driver so that
# libstdc++ is never pulled in; it needs nothing but libc, down to old
# firmware's (orvanta_old_glibc).
function(orvanta_libc_program name)
  add_executable(${name} ${ARGN})
  target_compile_options(${name} PRIVATE -fno-exceptions -fno-rtti)
  set_target_properties(${name} PROPERTIES LINKER_LANGUAGE C)
  orvanta_old_glibc(${name})
endfunction()
