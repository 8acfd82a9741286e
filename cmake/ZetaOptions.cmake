# Build options shared by every target.
option(ZETA_BUILD_TESTS "Build the test suite" ON)
option(ZETA_BUILD_BENCH "Build the benchmarks" OFF)
option(ZETA_BUILD_FUZZ "Build the libFuzzer targets (needs clang)" OFF)
option(ZETA_WERROR "Treat warnings as errors" OFF)
set(ZETA_SANITIZE "" CACHE STRING "Sanitizers to build with: address,undefined or thread")

add_compile_options(-Wall -Wextra)
if(ZETA_WERROR)
  add_compile_options(-Werror)
endif()

if(ZETA_SANITIZE)
  add_compile_options(-fsanitize=${ZETA_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${ZETA_SANITIZE})
endif()

if(ZETA_BUILD_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "Fuzz targets need clang: configure with CC=clang CXX=clang++")
  endif()
  # Everything is instrumented for coverage; only the fuzz executables link the fuzzer main.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
