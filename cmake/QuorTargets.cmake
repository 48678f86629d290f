# quor_add_layer(<name> [DEPS <targets>...] [EXCLUDE <regex>...])
#
# Builds the folder of the current CMakeLists.txt into the static library <name> from every
# *.cpp below it that is not a test (*_test.cpp), and its tests into <name>_tests, one ctest
# entry per test case so that every case runs in a fresh process (process-wide state such as
# caches, singletons and the working folder never leaks from one case into the next).
# Sources are globbed so that new files need no edit here.
function(quor_add_layer name)
  cmake_parse_arguments(ARG "" "" "DEPS;TEST_DEPS;EXCLUDE" ${ARGN})
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
    add_executable(${name}_tests ${tests})
    target_link_libraries(${name}_tests PRIVATE ${name} ${ARG_TEST_DEPS} quor_testkit
                          GTest::gmock GTest::gtest_main)
    gtest_discover_tests(${name}_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                         PROPERTIES TIMEOUT 120)
  endif()
endfunction()
