# GoogleTest: the installed package where there is one, else the sources Debian ships in
# /usr/src/googletest (the cross builds for Windows take this way).
find_package(GTest QUIET)
if(NOT GTest_FOUND)
  set(MIDIPARLEY_GTEST_SOURCE "/usr/src/googletest" CACHE PATH "GoogleTest sources")
endif()
if(NOT GTest_FOUND AND NOT EXISTS ${MIDIPARLEY_GTEST_SOURCE}/CMakeLists.txt)
  # A plain build on a machine without GoogleTest (Windows, typically) still builds the tool.
  message(WARNING "GoogleTest not found (neither a package nor sources in "
                  "${MIDIPARLEY_GTEST_SOURCE}): the tests are not built")
  set(MIDIPARLEY_TESTS OFF)
elseif(NOT GTest_FOUND)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${MIDIPARLEY_GTEST_SOURCE} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # Third-party code: its warnings (new compilers find some) are not ours to fail on.
  foreach(target gtest gtest_main gmock gmock_main)
    if(TARGET ${target})
      target_compile_options(${target} PRIVATE $<IF:$<CXX_COMPILER_ID:MSVC>,/WX-,-Wno-error>)
    endif()
  endforeach()
  # GoogleTest 1.11 and later name their targets GTest::... themselves.
  if(NOT TARGET GTest::gtest)
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
    add_library(GTest::gmock ALIAS gmock)
  endif()
endif()
include(GoogleTest)

# midiparley_test(NAME SOURCES... LIBS libs...): one GoogleTest executable, its cases
# registered with CTest one by one.
function(midiparley_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  if(CMAKE_CROSSCOMPILING)
    # Cases are listed when the tests run (under an emulator), not at build time.
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60)
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
  endif()
endfunction()
