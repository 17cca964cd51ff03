# Cross build of the 64-bit Windows DLL, for machines whose kernel cannot run 32-bit programs:
# its tests run under wine64, which Debian keeps out of PATH.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(PLANKSCALE_MINGW_TRIPLET x86_64-w64-mingw32)
find_program(PLANKSCALE_WINE64 wine64 PATHS /usr/lib/wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${PLANKSCALE_WINE64})
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
