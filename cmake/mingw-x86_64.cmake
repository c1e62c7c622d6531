# The same sources for x86_64: only a test vehicle for machines whose kernel cannot run 32-bit
# programs. It is never shipped, since the maker's component is a 32-bit in-process server.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
