# Whether the tests and the fuzz replays are built, and GoogleTest for them.
# som_train and som_report never need GoogleTest.
#
# SOM_BUILD_TESTS:
#   AUTO (the default)  build them when GoogleTest is found, else leave them
#                       out (a status line says so);
#   ON                  build them; configuring fails when GoogleTest is not
#                       found (./check.sh asks for this);
#   OFF                 leave them out.
# GoogleTest is the installed package, or else (as for a cross build, where no
# package for the target exists) built here from its sources in
# SOM_GTEST_SOURCE_DIR.
#
# Sets SOM_TESTS_ENABLED for the rest of the project.
set(SOM_BUILD_TESTS AUTO CACHE STRING
    "Build the tests and fuzz replays: AUTO (when GoogleTest is found), ON (GoogleTest required) or OFF")
set_property(CACHE SOM_BUILD_TESTS PROPERTY STRINGS AUTO ON OFF)
set(SOM_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH
    "GoogleTest sources, used when no installed package is found")

string(TOUPPER "${SOM_BUILD_TESTS}" som_tests_mode)
set(SOM_TESTS_ENABLED OFF)
if(som_tests_mode STREQUAL "AUTO" OR SOM_BUILD_TESTS)
  find_package(GTest QUIET)
  if(GTest_FOUND)
    set(SOM_TESTS_ENABLED ON)
  elseif(EXISTS ${SOM_GTEST_SOURCE_DIR}/CMakeLists.txt)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
    add_subdirectory(${SOM_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    set(SOM_TESTS_ENABLED ON)
  elseif(som_tests_mode STREQUAL "AUTO")
    message(STATUS "GoogleTest not found: the tests are left out (the programs need no GoogleTest)")
  else()
    message(FATAL_ERROR "SOM_BUILD_TESTS is ON, but GoogleTest was not found: install it "
                        "(Debian: libgtest-dev), set SOM_GTEST_SOURCE_DIR to its sources, "
                        "or leave the tests out with -DSOM_BUILD_TESTS=OFF")
  endif()
endif()
