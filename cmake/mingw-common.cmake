# What the MinGW-w64 toolchain files share. Each sets MINGW_TRIPLET,
# CMAKE_SYSTEM_PROCESSOR and DEVIDORIV_WINE_NAMES (the Wine loaders that
# run its programs) and includes this file. Debian's cross compilers
# with the posix thread model are used: GCC 12's win32 model has no
# std::mutex. Programs built here run under Wine, which ctest uses
# through CMAKE_CROSSCOMPILING_EMULATOR.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLET}-windres)

# Programs (the tests) carry the C++, GCC and thread run time in
# themselves, so that they run under Wine without MinGW's DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# A release module is shipped without the symbols of the run time.
set(CMAKE_MODULE_LINKER_FLAGS_RELEASE_INIT "-s")

# Libraries, headers and packages come only from the MinGW sysroot and
# from a private FFTW installation; programs run on the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET})
if(FFTW_ROOT)
  get_filename_component(_devidoriv_fftw_root "${FFTW_ROOT}" ABSOLUTE)
  list(APPEND CMAKE_FIND_ROOT_PATH "${_devidoriv_fftw_root}")
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Debian keeps the 64-bit loader, wine64, in /usr/lib/wine.
find_program(WINE_EXECUTABLE NAMES ${DEVIDORIV_WINE_NAMES} PATHS /usr/lib/wine)
if(WINE_EXECUTABLE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_EXECUTABLE})
endif()
