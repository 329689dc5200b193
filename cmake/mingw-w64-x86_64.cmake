# Cross-building for 64-bit Windows with Debian's mingw-w64 (posix threads).
# The programs link the C++ and C runtime statically and run by themselves;
# tests run under Wine (scripts/wine-run).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZEP_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZEP_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZEP_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${ZEP_MINGW}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZEP_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libstdc++, libgcc and winpthread inside the executable: no DLLs to ship.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
