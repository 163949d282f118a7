# Cross build for 32-bit Windows, the editor's platform, with Debian's
# MinGW-w64. The test programs run under 32-bit Wine.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MINGW_TRIPLET i686-w64-mingw32)
set(DEVIDORIV_WINE_NAMES wine)

# SSE2 arithmetic instead of the x87 stack, so that float and double
# results match the 64-bit build. 32-bit Windows callers keep the stack
# only 4-byte aligned, and SSE code spills to 16-byte aligned slots: every
# function that needs the alignment makes it in its prologue. (GCC does so
# by default on MinGW when SSE is on; it is stated here because the module
# faults without it when a host calls with ESP = 4 mod 16.)
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse -mstackrealign")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse -mstackrealign")

include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
