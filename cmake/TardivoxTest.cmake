# tardivox_add_test(<name> SOURCES ... LIBS ... [THREADS] [LABELS ...] [FIXTURES ...] [TIMEOUT s])
# One GoogleTest executable registered as one CTest test. THREADS marks suites that start
# threads: only those are built and run in the ThreadSanitizer configuration.
find_package(GTest REQUIRED)

# The CTest properties both functions below set: a timeout (300 s unless given), labels, the
# fixtures required, the environment.
function(tardivox_test_properties name timeout labels fixtures environment)
  if(NOT timeout)
    set(timeout 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${timeout})
  if(labels)
    set_tests_properties(${name} PROPERTIES LABELS "${labels}")
  endif()
  if(fixtures)
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED "${fixtures}")
  endif()
  if(environment)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${environment}")
  endif()
endfunction()

function(tardivox_add_test name)
  cmake_parse_arguments(T "THREADS" "TIMEOUT" "SOURCES;LIBS;LABELS;FIXTURES;ENVIRONMENT" ${ARGN})
  if(TARDIVOX_THREADED_TESTS_ONLY AND NOT T_THREADS)
    return()
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main
                                        Threads::Threads)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name})
  set(labels ${T_LABELS})
  if(T_THREADS)
    list(APPEND labels threads)
  endif()
  tardivox_test_properties(${name} "${T_TIMEOUT}" "${labels}" "${T_FIXTURES}" "${T_ENVIRONMENT}")
endfunction()

# tardivox_add_test_run(<name> TARGET <suite> [SERIAL] [ARGS ...] [LABELS ...] [FIXTURES ...]
#                       [ENVIRONMENT ...] [TIMEOUT s])
# One more CTest test running the executable of a suite made by tardivox_add_test (with other
# arguments or against another fixture); nothing when that suite is not built here. SERIAL
# runs it while no other test runs.
function(tardivox_add_test_run name)
  cmake_parse_arguments(T "SERIAL" "TARGET;TIMEOUT" "ARGS;LABELS;FIXTURES;ENVIRONMENT" ${ARGN})
  if(NOT TARGET ${T_TARGET})
    return()
  endif()
  add_test(NAME ${name} COMMAND ${T_TARGET} ${T_ARGS})
  tardivox_test_properties(${name} "${T_TIMEOUT}" "${T_LABELS}" "${T_FIXTURES}" "${T_ENVIRONMENT}")
  set_tests_properties(${name} PROPERTIES RUN_SERIAL ${T_SERIAL})
endfunction()
