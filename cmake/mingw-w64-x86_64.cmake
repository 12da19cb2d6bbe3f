# Cross build for 64-bit Windows with Debian's mingw-w64 (the posix thread
# model, which std::thread and std::jthread need):
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# scripts/build-windows.sh does this and runs the tests under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZD573_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZD573_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZD573_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ZD573_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZD573_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Statically linked: zd573.exe and the test programs run without the
# compiler's DLLs (libstdc++, libgcc, winpthread) beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# ctest runs the test programs through Wine.
find_program(ZD573_WINE NAMES wine64 wine PATHS /usr/lib/wine)
if(ZD573_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZD573_WINE})
endif()
