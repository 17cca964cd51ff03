# Cross build of the 32-bit Windows DLL, the product; its tests run under wine.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(PLANKSCALE_MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
