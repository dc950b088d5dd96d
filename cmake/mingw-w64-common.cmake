# Shared part of the mingw-w64 toolchain files: set KLAV_MINGW_TRIPLE and
# CMAKE_SYSTEM_PROCESSOR, then include this file.
#
# The posix-threads compiler variant gives std::mutex and std::thread;
# -static puts libstdc++, libgcc and winpthread inside each DLL and program,
# so they need only the system's own DLLs.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${KLAV_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KLAV_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KLAV_MINGW_TRIPLE}-windres)
set(CMAKE_OBJDUMP ${KLAV_MINGW_TRIPLE}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${KLAV_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Programs built here run under Wine (scripts/wine-tests).
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
