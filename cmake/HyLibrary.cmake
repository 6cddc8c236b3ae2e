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
  set_property(GLOBAL APPEND PROPERTY HY_TEST_LABELS ${A_LABEL})
  set_property(GLOBAL APPEND PROPERTY HY_TESTS_${A_LABEL} ${name})
  if(WIN32)
    # Under Wine each test program runs once, all its tests in one process: a Wine start costs
    # a few seconds, and a start per test made the run ten times longer.
    add_test(NAME ${name} COMMAND ${name} --gtest_brief=1
             WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
    set_tests_properties(${name} PROPERTIES LABELS "${A_LABEL}" TIMEOUT 600)
    return()
  endif()
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

# hy_fuzz(name SOURCES ... DEPS ...): a fuzz target, a source defining LLVMFuzzerTestOneInput (and
# optionally HyFuzzSeeds, the seed inputs made with the project's own writers). Every build makes
# `<name>_replay`, which feeds the kept inputs of fuzz/corpus/<name> and fuzz/crashes/<name> to the
# target and is registered with CTest under the label "fuzz". With HY_FUZZ (the fuzz preset) the
# libFuzzer program `<name>` is made as well and listed in <build>/fuzz_targets.txt.
option(HY_FUZZ "Build the libFuzzer programs of the fuzz targets (clang only)" OFF)
function(hy_fuzz name)
  # The fuzz targets and their replays are built and run on Linux only.
  if(WIN32)
    return()
  endif()
  cmake_parse_arguments(A "" "" "SOURCES;DEPS" ${ARGN})
  set(corpus ${CMAKE_CURRENT_SOURCE_DIR}/corpus/${name})
  set(crashes ${CMAKE_CURRENT_SOURCE_DIR}/crashes/${name})
  add_executable(${name}_replay ${A_SOURCES})
  target_compile_options(${name}_replay PRIVATE ${HY_WARNINGS})
  target_link_libraries(${name}_replay PRIVATE ${A_DEPS} hy_fuzz_replay)
  add_test(NAME fuzz.${name} COMMAND ${name}_replay ${corpus} ${crashes})
  set_tests_properties(fuzz.${name} PROPERTIES LABELS fuzz TIMEOUT 300)
  set_property(GLOBAL APPEND PROPERTY HY_FUZZ_REPLAYS "${name} $<TARGET_FILE:${name}_replay> ${corpus} ${crashes}")
  if(HY_FUZZ)
    add_executable(${name} ${A_SOURCES})
    target_compile_options(${name} PRIVATE ${HY_WARNINGS})
    target_link_libraries(${name} PRIVATE ${A_DEPS} hy_fuzz_target)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    set_property(GLOBAL APPEND PROPERTY HY_FUZZ_LINES "${name} $<TARGET_FILE:${name}> ${corpus} ${crashes}")
    set_property(GLOBAL APPEND PROPERTY HY_FUZZ_TARGETS ${name})
  endif()
endfunction()

# Once the whole tree is read: a target `tests_<label>` per test label; <build>/fuzz_replays.txt lists every target's replay program (for
# `scripts/fuzz --seeds`); with HY_FUZZ, <build>/fuzz_targets.txt lists the libFuzzer programs that
# scripts/fuzz runs and the target `fuzz_targets` builds them all.
function(hy_fuzz_finish)
  # tests_<label>: every test program of one label (the tsan preset builds only these).
  get_property(labels GLOBAL PROPERTY HY_TEST_LABELS)
  list(REMOVE_DUPLICATES labels)
  foreach(label ${labels})
    get_property(programs GLOBAL PROPERTY HY_TESTS_${label})
    add_custom_target(tests_${label} DEPENDS ${programs})
  endforeach()
  get_property(replays GLOBAL PROPERTY HY_FUZZ_REPLAYS)
  list(JOIN replays "\n" content)
  file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/fuzz_replays.txt CONTENT "${content}\n")
  if(HY_FUZZ)
    get_property(lines GLOBAL PROPERTY HY_FUZZ_LINES)
    get_property(targets GLOBAL PROPERTY HY_FUZZ_TARGETS)
    list(JOIN lines "\n" content)
    file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/fuzz_targets.txt CONTENT "${content}\n")
    add_custom_target(fuzz_targets DEPENDS ${targets})
  endif()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL hy_fuzz_finish)
