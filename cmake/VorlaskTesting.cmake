# vorlask_add_test(NAME <exe> LABELS <label>... SOURCES <src>... [LIBS <lib>...] [ENV <VAR=value>...]
#                  [TIMEOUT <seconds>])
# One GoogleTest executable; each of its tests becomes one CTest test carrying the labels.
function(vorlask_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "LABELS;SOURCES;LIBS;ENV" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest_main Threads::Threads)
  target_include_directories(${T_NAME} PRIVATE ${CMAKE_SOURCE_DIR})
  # gtest_discover_tests splits a list-valued ENVIRONMENT into separate property arguments
  # (only the first variable would arrive), so the variables reach each test through env(1)
  # as its launcher instead.
  set(_launcher /usr/bin/env QT_QPA_PLATFORM=offscreen VORLASK_BIN=${CMAKE_BINARY_DIR}/bin
                VORLASK_SOURCE=${CMAKE_SOURCE_DIR})
  list(APPEND _launcher ${T_ENV})
  set_target_properties(${T_NAME} PROPERTIES CROSSCOMPILING_EMULATOR "${_launcher}")
  gtest_discover_tests(${T_NAME}
    DISCOVERY_MODE PRE_TEST
    TEST_PREFIX "${T_NAME}."
    PROPERTIES LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT})
endfunction()

# vorlask_add_bench(NAME <exe> SOURCES <src>... [LIBS <lib>...])
function(vorlask_add_bench)
  cmake_parse_arguments(B "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${B_NAME} ${B_SOURCES})
  set_target_properties(${B_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
  target_include_directories(${B_NAME} PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(${B_NAME} PRIVATE ${B_LIBS} Threads::Threads)
  if(TARGET benchmark::benchmark)
    target_link_libraries(${B_NAME} PRIVATE benchmark::benchmark)
  endif()
endfunction()

# vorlask_add_fuzzer(NAME <exe> SOURCES <src>... [LIBS <lib>...] CORPUS <dir>)
# Only with -DVORLASK_FUZZ=ON (clang); make fuzz runs each for a short while on its corpus.
function(vorlask_add_fuzzer)
  cmake_parse_arguments(F "" "NAME;CORPUS" "SOURCES;LIBS" ${ARGN})
  if(NOT VORLASK_FUZZ)
    return()
  endif()
  add_executable(${F_NAME} ${F_SOURCES})
  set_target_properties(${F_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  target_include_directories(${F_NAME} PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_options(${F_NAME} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(${F_NAME} PRIVATE ${F_LIBS} Threads::Threads)
  add_dependencies(fuzzers ${F_NAME})
  # libFuzzer writes new inputs into its first corpus folder: keep that in the build tree so
  # the starting inputs in the source tree stay as they are.
  set(_work ${CMAKE_CURRENT_BINARY_DIR}/${F_NAME}-corpus)
  file(MAKE_DIRECTORY ${_work})
  add_test(NAME fuzz.${F_NAME}
           COMMAND ${F_NAME} -max_total_time=60 -rss_limit_mb=2048 ${_work} ${F_CORPUS})
  set_tests_properties(fuzz.${F_NAME} PROPERTIES LABELS "slow;fuzz" TIMEOUT 300)
endfunction()
