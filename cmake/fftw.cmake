# FFTW 3, single precision, with threads: Devidoriv::fftw3f.
# Debian ships a pkg-config file for fftw3f only, so both libraries are
# looked up by name; FFTW_ROOT points at a private build (the Windows
# cross build installs one under build/).
set(FFTW_ROOT "" CACHE PATH "Prefix of an FFTW installation to prefer")
find_path(FFTW_INCLUDE_DIR fftw3.h HINTS ${FFTW_ROOT}/include)
find_library(FFTW3F_LIBRARY NAMES fftw3f HINTS ${FFTW_ROOT}/lib)
find_library(FFTW3F_THREADS_LIBRARY NAMES fftw3f_threads HINTS ${FFTW_ROOT}/lib)
if(NOT FFTW_INCLUDE_DIR OR NOT FFTW3F_LIBRARY)
  message(FATAL_ERROR "FFTW 3 single precision not found (Debian: libfftw3-dev)")
endif()
find_package(Threads REQUIRED)
add_library(Devidoriv::fftw3f INTERFACE IMPORTED)
target_include_directories(Devidoriv::fftw3f INTERFACE ${FFTW_INCLUDE_DIR})
# A build configured --with-combined-threads has the thread functions in
# libfftw3f itself and no separate threads library.
if(FFTW3F_THREADS_LIBRARY)
  target_link_libraries(Devidoriv::fftw3f INTERFACE ${FFTW3F_THREADS_LIBRARY})
endif()
target_link_libraries(Devidoriv::fftw3f INTERFACE ${FFTW3F_LIBRARY} Threads::Threads)
if(NOT WIN32)
  target_link_libraries(Devidoriv::fftw3f INTERFACE m)
endif()
# A shared FFTW (the system's libfftw3f.so) is one library for the whole
# process, its planner shared with whatever else in the process plans
# transforms; a static one is linked into the module alone (a MinGW
# import library, .dll.a, stands for a DLL).
if(FFTW3F_LIBRARY MATCHES "\\.(a|lib)$" AND NOT FFTW3F_LIBRARY MATCHES "\\.dll\\.a$")
  set(DEVIDORIV_FFTW_SHARED 0)
else()
  set(DEVIDORIV_FFTW_SHARED 1)
endif()
target_compile_definitions(Devidoriv::fftw3f INTERFACE DEVIDORIV_FFTW_SHARED=${DEVIDORIV_FFTW_SHARED})
