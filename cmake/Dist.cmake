# `make dist`: the release file at dist/VelmarisDiag.exe, with its checksum and the tools that
# built it (tools/dist). Only the 32-bit program ships; the 64-bit one is a test vehicle.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  add_custom_target(dist
    COMMAND tools/dist $<TARGET_FILE:VelmarisDiag> dist/VelmarisDiag.exe ${CMAKE_CXX_COMPILER}
            ${CMAKE_STRIP}
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR} VERBATIM USES_TERMINAL)
  add_dependencies(dist VelmarisDiag)
endif()
