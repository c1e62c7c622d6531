# The 32-bit Windows program: the release, and what the Wine tests run wherever 32-bit programs can.
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
