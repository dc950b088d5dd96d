# Helpers shared by the tests, tools and fuzz targets.

# Adds every folder below ROOT that holds a CMakeLists.txt (leaf units only).
function(klav_add_leaf_dirs root)
  file(GLOB_RECURSE lists CONFIGURE_DEPENDS
       RELATIVE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/${root}/*/CMakeLists.txt)
  list(SORT lists)
  foreach(list_file IN LISTS lists)
    get_filename_component(dir ${list_file} DIRECTORY)
    add_subdirectory(${CMAKE_SOURCE_DIR}/${dir} ${CMAKE_BINARY_DIR}/${dir})
  endforeach()
endfunction()

# klav_add_test(NAME n SOURCES ... [LIBS ...] [LABELS ...] [ENV ...] [TIMEOUT s])
# One GoogleTest executable, registered as one ctest test. Not built for fuzzing.
function(klav_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
  if(KLAV_FUZZ)
    return()
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT} SKIP_RETURN_CODE 77
                       ENVIRONMENT "QT_QPA_PLATFORM=offscreen;${T_ENV}")
  if(T_LABELS)
    set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}")
  endif()
endfunction()

# klav_add_fuzzer(NAME n SOURCES ... [LIBS ...] [SEED_COMMAND cmd...])
# Built only with -DKLAV_FUZZ=ON (clang). The ctest entry runs it for
# KLAV_FUZZ_SECONDS on a corpus in the build folder; SEED_COMMAND, if given,
# is run first with the seed folder as its last argument.
function(klav_add_fuzzer)
  cmake_parse_arguments(F "" "NAME" "SOURCES;LIBS;SEED_COMMAND" ${ARGN})
  if(NOT KLAV_FUZZ)
    return()
  endif()
  add_executable(${F_NAME} ${F_SOURCES})
  target_compile_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
  target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${F_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  set(corpus ${CMAKE_BINARY_DIR}/fuzz/${F_NAME}.corpus)
  set(seeds ${CMAKE_BINARY_DIR}/fuzz/${F_NAME}.seeds)
  if(F_SEED_COMMAND)
    set(seed_step "${F_SEED_COMMAND} ${seeds} &&")
  else()
    set(seed_step "")
  endif()
  add_test(NAME ${F_NAME}
           COMMAND sh -c "mkdir -p ${corpus} ${seeds} && ${seed_step} exec $<TARGET_FILE:${F_NAME}> -max_total_time=${KLAV_FUZZ_SECONDS} -timeout=10 -print_final_stats=1 ${corpus} ${seeds}")
  math(EXPR fuzz_timeout "${KLAV_FUZZ_SECONDS} + 300")
  set_tests_properties(${F_NAME} PROPERTIES LABELS fuzz TIMEOUT ${fuzz_timeout})
  if(NOT TARGET klav_fuzzers)
    add_custom_target(klav_fuzzers)
  endif()
  add_dependencies(klav_fuzzers ${F_NAME})
endfunction()
