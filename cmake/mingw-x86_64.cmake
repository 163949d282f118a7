# Cross build for 64-bit Windows with Debian's MinGW-w64: the same module
# sources and test suite, run under wine64 on machines that cannot run
# 32-bit programs. Only the 32-bit build is the editor's module.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_TRIPLET x86_64-w64-mingw32)
set(DEVIDORIV_WINE_NAMES wine64)

include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
