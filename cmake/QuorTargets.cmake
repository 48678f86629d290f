# quor_add_tests(<target> SOURCES <files>... [LIBS <targets>...] [LABEL <label>] [SLOW <filter>]
#                [TIMEOUT <seconds>] [RESOURCE_LOCK <name>])
#
# The one way a test program is made: <target> from SOURCES, linked with LIBS, the test kit and
# our test main (tests/kit/TestMain.cpp), and one ctest entry per test case. Each case carries a
# label: LABEL, or by default "e2e" below tests/ and "unit" elsewhere; the cases that SLOW (a
# gtest filter such as "Big.*:Other.Huge") selects are labelled "slow" instead of "unit" ("e2e-slow"
# instead of "e2e"; ctest -L takes a regular expression, so -L e2e and -L slow both find those),
# so that `ctest -L unit` is the fast inner loop.
function(quor_add_tests target)
  cmake_parse_arguments(ARG "" "LABEL;SLOW;TIMEOUT;RESOURCE_LOCK" "SOURCES;LIBS" ${ARGN})
  set(lock_property "")
  if(ARG_RESOURCE_LOCK)
    set(lock_property RESOURCE_LOCK ${ARG_RESOURCE_LOCK})
  endif()
  if(NOT ARG_LABEL)
    string(FIND "${CMAKE_CURRENT_SOURCE_DIR}/" "${PROJECT_SOURCE_DIR}/tests/" under_tests)
    if(under_tests EQUAL 0)
      set(ARG_LABEL e2e)
    else()
      set(ARG_LABEL unit)
    endif()
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  set(slow_labels slow)
  if(ARG_LABEL STREQUAL "e2e")
    set(slow_labels e2e-slow)
  endif()
  add_executable(${target} ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE ${ARG_LIBS} quor_testkit quor_test_main GTest::gmock GTest::gtest)
  if(ARG_SLOW)
    gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 TEST_FILTER "-${ARG_SLOW}"
                         PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "${ARG_LABEL}" ${lock_property})
    # A high cost starts the slow cases first, so that a parallel run does not end waiting for them;
    # their time limit leaves room for a loaded machine.
    gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 TEST_FILTER "${ARG_SLOW}"
                         PROPERTIES TIMEOUT 600 LABELS "${slow_labels}" COST 1000 ${lock_property})
  else()
    gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                         PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "${ARG_LABEL}" ${lock_property})
  endif()
endfunction()

# quor_add_layer(<name> [DEPS <targets>...] [TEST_DEPS <targets>...] [EXCLUDE <regex>...]
#                [SLOW <gtest filter>])
#
# Builds the folder of the current CMakeLists.txt into the static library <name> from every
# *.cpp below it that is not a test (*_test.cpp), and its tests into <name>_tests, one ctest
# entry per test case so that every case runs in a fresh process (process-wide state such as
# caches, singletons and the working folder never leaks from one case into the next), made by
# quor_add_tests (labelled "unit"; SLOW as there).
# Sources are globbed so that new files need no edit here.
function(quor_add_layer name)
  cmake_parse_arguments(ARG "" "SLOW" "DEPS;TEST_DEPS;EXCLUDE" ${ARGN})
  file(GLOB_RECURSE all_sources CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.c)
  set(sources "")
  set(tests "")
  foreach(src IN LISTS all_sources)
    set(skip OFF)
    foreach(pattern IN LISTS ARG_EXCLUDE)
      if(src MATCHES "${pattern}")
        set(skip ON)
      endif()
    endforeach()
    if(skip)
      continue()
    endif()
    if(src MATCHES "_test\\.cpp$")
      list(APPEND tests ${src})
    else()
      list(APPEND sources ${src})
    endif()
  endforeach()

  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
  endif()

  if(QUOR_TESTS AND tests)
    quor_add_tests(${name}_tests SOURCES ${tests} LIBS ${name} ${ARG_TEST_DEPS} SLOW "${ARG_SLOW}")
  endif()
endfunction()

# quor_add_mondrel_program(<program> <source> TEST <test target> DEFINE <macro>)
#
# A program that sees the client library as programs outside this build do: linked with
# libMondrel.so and nothing else. The test target gets the program's path as <macro> and builds it
# first.
function(quor_add_mondrel_program program source)
  cmake_parse_arguments(ARG "" "TEST;DEFINE" "" ${ARGN})
  add_executable(${program} ${source})
  target_include_directories(${program} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${program} PRIVATE Mondrel)
  target_compile_definitions(${ARG_TEST} PRIVATE ${ARG_DEFINE}="$<TARGET_FILE:${program}>")
  add_dependencies(${ARG_TEST} ${program})
endfunction()
