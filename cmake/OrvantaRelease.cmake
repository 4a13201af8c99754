# Release builds for the router: built for size (MinSizeRel: -Os), unused
# functions and data collected at link time, no library linked that is not
# used. Stripping happens when installing (cmake --install --strip) and
# packaging (CPack), so the build tree keeps its symbols for debugging.
option(ORVANTA_RELEASE "Build for size: sections collected, unneeded libraries dropped" OFF)

if(ORVANTA_RELEASE)
  add_compile_options(-ffunction-sections -fdata-sections)
  add_link_options(LINKER:--gc-sections LINKER:--as-needed)
endif()
