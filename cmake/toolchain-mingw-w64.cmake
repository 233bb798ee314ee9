# Cross build for 64-bit Windows with mingw-w64 (Debian: g++-mingw-w64-x86-64-posix),
# with the programs run through wine (Debian: wine64) and the tests' zlib
# (Debian: libz-mingw-w64-dev):
#
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-w64.cmake
#
# Everything is linked statically, so the .exe files need no DLLs beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(SOM_MINGW_PREFIX x86_64-w64-mingw32 CACHE STRING "Target triplet of the mingw-w64 tools")

# The posix flavour: its libstdc++ has std::thread and friends.
find_program(CMAKE_CXX_COMPILER NAMES ${SOM_MINGW_PREFIX}-g++-posix ${SOM_MINGW_PREFIX}-g++ REQUIRED)
find_program(CMAKE_C_COMPILER NAMES ${SOM_MINGW_PREFIX}-gcc-posix ${SOM_MINGW_PREFIX}-gcc)
find_program(CMAKE_RC_COMPILER NAMES ${SOM_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${SOM_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No libgcc, libstdc++ or winpthread DLLs to carry around.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Nor zlib1.dll for the tests: libz.a, not the DLL's import library (read by
# CMake 3.24 and newer; Debian: libz-mingw-w64-dev, under the find root).
set(ZLIB_USE_STATIC_LIBS ON)

# ctest and gtest_discover_tests run the test programs through wine, quietly,
# in a wine prefix of the build's own (Debian keeps wine64 in /usr/lib/wine).
find_program(SOM_WINE NAMES wine64 wine PATHS /usr/lib/wine)
set(SOM_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix" CACHE PATH "Wine prefix for running the tests")
if(SOM_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR env WINEDEBUG=-all WINEPREFIX=${SOM_WINEPREFIX} ${SOM_WINE})
endif()
