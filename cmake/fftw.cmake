# FFTW 3, single precision, with threads: Devidoriv::fftw3f.
#
# By default the system's FFTW. Debian ships a pkg-config file for fftw3f
# only, so both libraries are looked up by name; FFTW_ROOT points at a
# private build (the Windows cross build installs one under build/).
#
# DEVIDORIV_OWN_FFTW (Linux) builds FFTW from Debian's source package
# instead, with SSE2, AVX and AVX2/FMA codelets and threads
# (scripts/build-fftw.sh), and links it statically into the module. The
# module's link hides every symbol of the static libraries, so its planner
# and wisdom are its own: other FFTW users in a host's process neither see
# nor disturb them. The wisdom cache file gets a name of its own as well.
option(DEVIDORIV_OWN_FFTW
       "Build FFTW from Debian's source package and link it into the module (Linux)" OFF)
set(DEVIDORIV_OWN_FFTW_PREFIX "${PROJECT_BINARY_DIR}/fftw-own" CACHE PATH
    "Where DEVIDORIV_OWN_FFTW builds and installs FFTW")
set(DEVIDORIV_OWN_FFTW_SIMD avx2 CACHE STRING
    "The codelets of DEVIDORIV_OWN_FFTW: avx2 (SSE2, AVX, AVX2), avx or sse2")
find_package(Threads REQUIRED)
add_library(Devidoriv::fftw3f INTERFACE IMPORTED)

if(DEVIDORIV_OWN_FFTW AND NOT WIN32)
  # Built at configure time, once: the script does nothing when the
  # prefix holds a finished build of the same configuration.
  set(_fftw_log ${PROJECT_BINARY_DIR}/fftw-own.log)
  message(STATUS "FFTW of the module's own in ${DEVIDORIV_OWN_FFTW_PREFIX}: built once from "
                 "Debian's source package, which takes minutes (log: ${_fftw_log})")
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env CC=${CMAKE_C_COMPILER}
            sh ${PROJECT_SOURCE_DIR}/scripts/build-fftw.sh linux ${DEVIDORIV_OWN_FFTW_PREFIX}
               ${DEVIDORIV_OWN_FFTW_SIMD}
    RESULT_VARIABLE _fftw_status
    OUTPUT_FILE ${_fftw_log}
    ERROR_FILE ${_fftw_log})
  if(NOT _fftw_status EQUAL 0)
    message(FATAL_ERROR "Building FFTW failed (${_fftw_status}); see ${_fftw_log}")
  endif()
  target_include_directories(Devidoriv::fftw3f INTERFACE ${DEVIDORIV_OWN_FFTW_PREFIX}/include)
  # Threads are built into libfftw3f itself (--with-combined-threads).
  target_link_libraries(Devidoriv::fftw3f INTERFACE
    ${DEVIDORIV_OWN_FFTW_PREFIX}/lib/libfftw3f.a Threads::Threads m)
  # Its planner is the module's alone (cf. DEVIDORIV_FFTW_SHARED below).
  target_compile_definitions(Devidoriv::fftw3f INTERFACE DEVIDORIV_OWN_FFTW DEVIDORIV_FFTW_SHARED=0)
  # What a package of the module ships with it (cmake/install.cmake): the
  # source package the library was built from, and FFTW's licence from it.
  file(GLOB DEVIDORIV_OWN_FFTW_SOURCE_FILES ${DEVIDORIV_OWN_FFTW_PREFIX}/source/*)
  file(GLOB _fftw_orig ${DEVIDORIV_OWN_FFTW_PREFIX}/source/*.orig.tar.*)
  set(_fftw_notice ${PROJECT_BINARY_DIR}/fftw-own-notice)
  file(REMOVE_RECURSE ${_fftw_notice})
  file(ARCHIVE_EXTRACT INPUT ${_fftw_orig} DESTINATION ${_fftw_notice} PATTERNS "*/COPYRIGHT")
  file(GLOB DEVIDORIV_OWN_FFTW_COPYRIGHT ${_fftw_notice}/*/COPYRIGHT)
  if(NOT DEVIDORIV_OWN_FFTW_COPYRIGHT)
    message(FATAL_ERROR "No COPYRIGHT in FFTW's source package ${_fftw_orig}")
  endif()
  return()
endif()

set(FFTW_ROOT "" CACHE PATH "Prefix of an FFTW installation to prefer")
find_path(FFTW_INCLUDE_DIR fftw3.h HINTS ${FFTW_ROOT}/include)
find_library(FFTW3F_LIBRARY NAMES fftw3f HINTS ${FFTW_ROOT}/lib)
find_library(FFTW3F_THREADS_LIBRARY NAMES fftw3f_threads HINTS ${FFTW_ROOT}/lib)
if(NOT FFTW_INCLUDE_DIR OR NOT FFTW3F_LIBRARY)
  message(FATAL_ERROR "FFTW 3 single precision not found (Debian: libfftw3-dev)")
endif()
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
