# vexilo_add_fuzzer(<name> <source> [libraries...])
# Builds a libFuzzer target when VEXILO_FUZZ is on. Its seeds (fuzz/seeds/<name>/), input
# length limit (fuzz/seeds.txt) and dictionary (fuzz/<name>.dict) are used by the runner
# scripts (scripts/fuzz.sh, scripts/fuzz-campaign.sh); a target without seeds or limit is
# reported here, since it would start from nothing.
function(vexilo_add_fuzzer name source)
  if(NOT VEXILO_FUZZ)
    return()
  endif()
  if(NOT IS_DIRECTORY ${PROJECT_SOURCE_DIR}/fuzz/seeds/${name})
    message(WARNING "fuzz target ${name} has no seed folder fuzz/seeds/${name}")
  endif()
  file(STRINGS ${PROJECT_SOURCE_DIR}/fuzz/seeds.txt limits REGEX "^${name}[ \t]+[0-9]+")
  if(NOT limits)
    message(WARNING "fuzz target ${name} has no input length limit in fuzz/seeds.txt")
  endif()
  add_executable(${name} ${source})
  target_link_libraries(${name} PRIVATE ${ARGN})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
endfunction()

# vexilo_add_test(<name> SOURCES ... LIBS ...)
# One GoogleTest binary; its cases are registered with ctest one by one.
function(vexilo_add_test name)
  cmake_parse_arguments(ARG "" "LABEL" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} vexilo_testsupport GTest::gtest GTest::gtest_main)
  set(label_property)
  if(ARG_LABEL)
    set(label_property LABELS ${ARG_LABEL})
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    # One list element per property: the discovered tests would split a list into properties.
    PROPERTIES ENVIRONMENT "VEXILO_CORPUS_DIR=${VEXILO_CORPUS_DIR}"
               ENVIRONMENT_MODIFICATION "VEXILO_TEST_DATA=set:${CMAKE_SOURCE_DIR}/tests/data"
               ${label_property})
endfunction()

# vexilo_add_library(<folder> [DEPS libraries...])
# One static library per folder from every *.cpp in it (subfolders included), named
# vexilo_<folder>. A folder without sources yet gives an interface library.
function(vexilo_add_library folder)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(sources)
    add_library(vexilo_${folder} STATIC ${sources})
    # Includes name their layer: "engine/ConversionJob.h".
    target_include_directories(vexilo_${folder} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(vexilo_${folder} PUBLIC ${ARG_DEPS})
  else()
    add_library(vexilo_${folder} INTERFACE)
    target_include_directories(vexilo_${folder} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(vexilo_${folder} INTERFACE ${ARG_DEPS})
  endif()
endfunction()
