# vek_test(NAME SOURCES... LIBS lib...): one GoogleTest executable, each case a CTest test.
# Tests run from the build tree's data folder so relative paths ("vek.bin") resolve as for the intro.
find_package(GTest QUIET)
include(GoogleTest)

function(vek_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES} ${T_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    VEK_SOURCE_DIR="${PROJECT_SOURCE_DIR}" VEK_BINARY_DIR="${PROJECT_BINARY_DIR}")
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
    WORKING_DIRECTORY ${PROJECT_BINARY_DIR}
    PROPERTIES ENVIRONMENT "VEK_CLOCK=virtual;VEK_AUDIO=none")
endfunction()

# vek_bench(NAME SOURCES... LIBS lib...): one Google Benchmark executable.
function(vek_bench name)
  find_package(benchmark REQUIRED)
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${B_SOURCES} ${B_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${B_LIBS} benchmark::benchmark benchmark::benchmark_main)
  target_compile_definitions(${name} PRIVATE
    VEK_SOURCE_DIR="${PROJECT_SOURCE_DIR}" VEK_BINARY_DIR="${PROJECT_BINARY_DIR}")
endfunction()
