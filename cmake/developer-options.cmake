# Developer mode: what we need to work on Vemo, and a user's or packager's build does not.
#
# VEMO_DEVELOPER_MODE (default: on when Vemo is the top-level project)
#   on:  warnings are errors; the tests (GoogleTest) and the benchmarks (Google Benchmark) are
#        built, each of which can be switched off with VEMO_BUILD_TESTS / VEMO_BUILD_BENCH; the
#        sanitizer and fuzzer builds of cmake/sanitize.cmake are available.
#   off: only the programs, with warnings shown but never failing the build, so a newer
#        compiler's new warning does not stop a user; needs neither GoogleTest, nor Google
#        Benchmark, nor clang.

include(CMakeDependentOption)

option(VEMO_DEVELOPER_MODE "Warnings as errors, tests, benchmarks, sanitizer and fuzzer builds"
       ${PROJECT_IS_TOP_LEVEL})
cmake_dependent_option(VEMO_BUILD_TESTS "Build the tests" ON "VEMO_DEVELOPER_MODE" OFF)
cmake_dependent_option(VEMO_BUILD_BENCH "Build the benchmarks" ON "VEMO_DEVELOPER_MODE" OFF)

# Our own code's warnings, applied per target through this interface library.
add_library(vemo_warnings INTERFACE)
if(MSVC)
  target_compile_options(vemo_warnings INTERFACE /W4 $<$<BOOL:${VEMO_DEVELOPER_MODE}>:/WX>)
else()
  target_compile_options(vemo_warnings INTERFACE -Wall -Wextra
                                                 $<$<BOOL:${VEMO_DEVELOPER_MODE}>:-Werror>)
endif()

if(VEMO_DEVELOPER_MODE)
  include(${CMAKE_CURRENT_LIST_DIR}/sanitize.cmake)
  if(VEMO_FUZZ AND NOT VEMO_BUILD_TESTS)
    message(FATAL_ERROR "VEMO_FUZZ builds the fuzz targets among the tests: keep VEMO_BUILD_TESTS on")
  endif()
endif()
