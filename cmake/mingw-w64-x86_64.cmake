# Cross-building for 64-bit Windows with Debian's MinGW-w64 (the POSIX-threads
# flavour, g++-mingw-w64-x86-64-posix). Programs run here under Wine, which
# CTest uses as the emulator of every test program.
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C++ runtime and the threads library linked in: the programs need no DLL
# beside them to start, under Wine or on Windows.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

find_program(ROWTICK_WINE wine)
if(ROWTICK_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ROWTICK_WINE})
endif()
