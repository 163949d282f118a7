# Sanitizer and fuzzing builds.
#
#   -DDEVIDORIV_SANITIZE=address,undefined   AddressSanitizer + UBSan
#   -DDEVIDORIV_SANITIZE=thread              ThreadSanitizer
#   -DDEVIDORIV_FUZZ=ON                      libFuzzer targets (clang only)
#
# Every target of the build is instrumented, the module included: the
# host library and the tests load a module that was built the same way. Any
# error ends the process (-fno-sanitize-recover=all), so a finding fails
# its test instead of scrolling past.
set(DEVIDORIV_SANITIZE "" CACHE STRING
    "Sanitizers for -fsanitize=, e.g. address,undefined or thread; empty for none")
option(DEVIDORIV_FUZZ "Instrument for libFuzzer and build the fuzz targets (needs clang)" OFF)

if(DEVIDORIV_SANITIZE)
  if(DEVIDORIV_SANITIZE MATCHES "thread" AND DEVIDORIV_SANITIZE MATCHES "address")
    message(FATAL_ERROR "DEVIDORIV_SANITIZE: thread and address cannot be combined")
  endif()
  add_compile_options(-fsanitize=${DEVIDORIV_SANITIZE} -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=${DEVIDORIV_SANITIZE})
  if(DEVIDORIV_SANITIZE MATCHES "undefined")
    # The vptr check needs RTTI, which the core library is built without.
    add_compile_options(-fno-sanitize=vptr)
    add_link_options(-fno-sanitize=vptr)
  endif()
endif()

if(DEVIDORIV_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "DEVIDORIV_FUZZ needs clang (configure with CMAKE_CXX_COMPILER=clang++)")
  endif()
  # Coverage feedback everywhere; only the fuzz targets link libFuzzer's main.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
