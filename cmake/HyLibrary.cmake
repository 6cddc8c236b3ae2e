# Helpers that keep every library folder's CMakeLists.txt to a few lines.

set(HY_WARNINGS -Wall -Wextra -Wno-unused-parameter -Wno-missing-field-initializers)

# hy_library(name SOURCES ... DEPS ...): a static library whose public headers sit in its folder.
function(hy_library name)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS;PRIVATE_DEPS" ${ARGN})
  add_library(${name} STATIC ${A_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE ${HY_WARNINGS})
  target_link_libraries(${name} PUBLIC ${A_DEPS} PRIVATE ${A_PRIVATE_DEPS})
endfunction()

# hy_test(name LABEL label SOURCES ... DEPS ...): one GoogleTest binary, every test registered
# with CTest under the label.
function(hy_test name)
  cmake_parse_arguments(A "" "LABEL" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_compile_options(${name} PRIVATE ${HY_WARNINGS})
  # Every test program may use the shared test support (log capture, hand-moved clock, temp dirs).
  target_link_libraries(${name} PRIVATE ${A_DEPS} hy_testing GTest::gtest GTest::gmock GTest::gtest_main)
  # Listing the tests may start Wine (the Windows build): allow it time on a busy machine.
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 120
    PROPERTIES LABELS "${A_LABEL}" TIMEOUT 300
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
endfunction()

# hy_bench(name SOURCES ... DEPS ...): a Google Benchmark program.
function(hy_bench name)
  if(NOT benchmark_FOUND)
    return()
  endif()
  cmake_parse_arguments(A "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_compile_options(${name} PRIVATE ${HY_WARNINGS})
  target_link_libraries(${name} PRIVATE ${A_DEPS} benchmark::benchmark)
endfunction()
