# vexilo_add_fuzzer(<name> <source> [libraries...])
# Builds a libFuzzer target when VEXILO_FUZZ is on; the seed corpus folders for it are given
# to the fuzz runner script (scripts/fuzz.sh), not here.
function(vexilo_add_fuzzer name source)
  if(NOT VEXILO_FUZZ)
    return()
  endif()
  add_executable(${name} ${source})
  target_link_libraries(${name} PRIVATE ${ARGN})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
endfunction()

# vexilo_add_test(<name> SOURCES ... LIBS ...)
# One GoogleTest binary; its cases are registered with ctest one by one.
function(vexilo_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} vexilo_testsupport GTest::gtest GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "VEXILO_CORPUS_DIR=${VEXILO_CORPUS_DIR};VEXILO_TEST_DATA=${CMAKE_SOURCE_DIR}/tests/data")
endfunction()
