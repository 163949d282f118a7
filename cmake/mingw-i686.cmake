# Cross build for 32-bit Windows, the editor's platform, with Debian's
# MinGW-w64. The test programs run under 32-bit Wine.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MINGW_TRIPLET i686-w64-mingw32)
set(DEVIDORIV_WINE_NAMES wine)

# SSE2 arithmetic instead of the x87 stack, so that float and double
# results match the 64-bit build.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")

include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
