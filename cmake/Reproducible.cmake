# The same sources built with the same toolchain give the same Windows program, byte for byte,
# wherever they are built, so anyone can check a shipped file against the tagged commit:
# - no build path in the file: __FILE__ and debug information name sources from the tree's root;
# - a zero PE time stamp instead of the time of the link (tools/dist has strip keep it).
# Native builds keep their full paths, which debuggers need to find the sources.
if(WIN32)
  add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}/=)
  add_link_options(-Wl,--no-insert-timestamp)
endif()
