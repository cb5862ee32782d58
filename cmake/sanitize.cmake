# Sanitizer and fuzzer builds, for use with clang 14 (CC=clang-14 CXX=clang++-14).
#
# VEMO_SANITIZE: every target built with AddressSanitizer and UndefinedBehaviorSanitizer; the
#   first finding ends the program. VEMO_SANITIZE=thread builds with ThreadSanitizer instead.
# VEMO_FUZZ: the same, plus coverage instrumentation for libFuzzer; tests/fuzz then builds the
#   fuzz targets. Needs clang.

option(VEMO_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(VEMO_FUZZ "Build the libFuzzer targets in tests/fuzz (clang only)" OFF)

set(vemo_sanitizer_flags
  -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)

if(VEMO_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "VEMO_FUZZ needs clang (libFuzzer): configure with CXX=clang++-14")
  endif()
  # Coverage for the fuzzer's guidance everywhere; the fuzz targets add the libFuzzer runtime.
  add_compile_options(${vemo_sanitizer_flags} -fsanitize=fuzzer-no-link -g)
  add_link_options(${vemo_sanitizer_flags})
elseif(VEMO_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=thread)
elseif(VEMO_SANITIZE)
  add_compile_options(${vemo_sanitizer_flags} -g)
  add_link_options(${vemo_sanitizer_flags})
endif()
