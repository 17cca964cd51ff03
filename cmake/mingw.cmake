# Cross build for Windows with Debian's mingw-w64 (posix threads model); the caller names the
# target triplet, the processor and the Wine program that runs its programs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${PLANKSCALE_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PLANKSCALE_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${PLANKSCALE_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${PLANKSCALE_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Depend on system DLLs only: no libstdc++, libgcc or winpthread DLL beside the plug-in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
