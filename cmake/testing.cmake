# CTest for the developer build: GoogleTest, and the labels the test runs select by.
#
#   unit  quick tests of one behaviour each              ctest -L unit
#   slow  the 100,000-file, 10,000-file, 4 GiB and differential tests   ctest -LE slow
#   x11   the real window on a virtual X display
#
# A test that needs a tool the machine lacks exits with 77 and is reported as skipped; with CI=true
# in the environment it fails instead, so a CI run cannot pass by skipping.

enable_testing()
if(CMAKE_CROSSCOMPILING AND WIN32)
  # The cross root has no GoogleTest: build it for the target from the sources Debian's
  # libgtest-dev ships, into this build tree (it defines the GTest:: targets). The test programs
  # run through CMAKE_CROSSCOMPILING_EMULATOR (wine), also when CTest lists their cases.
  set(VEMO_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources for the cross build")
  if(NOT EXISTS ${VEMO_GTEST_SOURCE_DIR}/CMakeLists.txt)
    message(FATAL_ERROR "No GoogleTest sources in ${VEMO_GTEST_SOURCE_DIR} (libgtest-dev)")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${VEMO_GTEST_SOURCE_DIR} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

set(VEMO_SKIP_RETURN_CODE 77)

# Listing a program's cases runs it; under wine, the first program a new wineserver starts takes
# several seconds.
set(vemo_discovery_timeout 5)
if(CMAKE_CROSSCOMPILING)
  set(vemo_discovery_timeout 60)
endif()

# Registers the GoogleTest cases of TARGET with CTest, each as a test of its own labelled "unit";
# the cases matched by the SLOW filter (GoogleTest filter syntax, e.g. "Differential.*:A.B") are
# labelled "slow" instead. The cases matched by the POSIX_ONLY patterns are left out on Windows
# (give the reason beside each). PROPERTIES are set on every case. A case that calls GTEST_SKIP is
# reported as skipped, not as passed.
function(vemo_discover_tests target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "SLOW" "PROPERTIES;POSIX_ONLY")
  set(discovery DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT ${vemo_discovery_timeout})
  set(properties SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]" ${arg_PROPERTIES})
  set(excluded "")
  if(WIN32 AND arg_POSIX_ONLY)
    list(JOIN arg_POSIX_ONLY ":" excluded)
  endif()
  if(arg_SLOW)
    set(unit_filter "-${arg_SLOW}")
    set(slow_filter "${arg_SLOW}")
    if(excluded)
      string(APPEND unit_filter ":${excluded}")
      string(APPEND slow_filter "-${excluded}")
    endif()
    gtest_discover_tests(${target} ${discovery} TEST_FILTER "${unit_filter}"
                         PROPERTIES LABELS unit ${properties})
    gtest_discover_tests(${target} ${discovery} TEST_FILTER "${slow_filter}"
                         PROPERTIES LABELS slow ${properties})
  elseif(excluded)
    gtest_discover_tests(${target} ${discovery} TEST_FILTER "-${excluded}"
                         PROPERTIES LABELS unit ${properties})
  else()
    gtest_discover_tests(${target} ${discovery} PROPERTIES LABELS unit ${properties})
  endif()
endfunction()
