# Cross build for 32-bit Windows with Debian's MinGW-w64 (posix thread
# model: GCC 12's win32 model has no std::mutex). Programs built here run
# under Wine, which ctest uses through CMAKE_CROSSCOMPILING_EMULATOR.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_C_COMPILER ${MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLET}-windres)

# SSE2 arithmetic instead of the x87 stack, so that float and double
# results match the 64-bit build.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")

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

find_program(WINE_EXECUTABLE NAMES wine)
if(WINE_EXECUTABLE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_EXECUTABLE})
endif()
