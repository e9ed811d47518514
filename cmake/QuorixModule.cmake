# quorix_module(NAME SOURCES a.cpp b.cpp DEPS other_module ...)
# One library per module folder; its unit tests (*_test.cpp in the folder) form
# one test binary NAME_test registered with ctest.
function(quorix_module name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;TESTS;TEST_DEPS" ${ARGN})
  # While several modules are written at once, a developer build may skip
  # test files that do not exist yet. Off by default: CI sees every file.
  if(QUORIX_SKIP_MISSING_TESTS)
    list(FILTER ARG_TESTS INCLUDE REGEX ".")
    set(existing "")
    foreach(file IN LISTS ARG_TESTS)
      if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${file})
        list(APPEND existing ${file})
      endif()
    endforeach()
    set(ARG_TESTS ${existing})
  endif()
  add_library(quorix_${name} STATIC ${ARG_SOURCES})
  target_include_directories(quorix_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_compile_options(quorix_${name} PRIVATE ${QUORIX_WARNINGS})
  foreach(dep IN LISTS ARG_DEPS)
    target_link_libraries(quorix_${name} PUBLIC quorix_${dep})
  endforeach()
  if(ARG_TESTS)
    add_executable(${name}_test ${ARG_TESTS})
    target_compile_options(${name}_test PRIVATE ${QUORIX_WARNINGS})
    target_link_libraries(${name}_test PRIVATE quorix_${name} GTest::gtest_main)
    foreach(dep IN LISTS ARG_TEST_DEPS)
      target_link_libraries(${name}_test PRIVATE quorix_${dep})
    endforeach()
    # Under an emulator (wine for the Windows presets) every case starts a
    # program of its own and file operations are slower: more time per case.
    # The first listing of the cases may also have to wait while wine sets up
    # its prefix on a fresh machine (a minute or more).
    set(case_timeout 120)
    set(discovery_timeout 5)
    if(CMAKE_CROSSCOMPILING_EMULATOR)
      set(case_timeout 600)
      set(discovery_timeout 600)
    endif()
    gtest_discover_tests(${name}_test DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT ${discovery_timeout}
                         PROPERTIES TIMEOUT ${case_timeout})
  endif()
endfunction()
