# GoogleTest for the tests: the installed package on a native build; built
# from the distribution's source tree (package googletest) when cross-building,
# where no GoogleTest for the target is installed. Either way the tests link
# GTest::gtest, GTest::gtest_main, GTest::gmock, GTest::gmock_main.
set(HIVORA_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree used when cross-building")

if(NOT CMAKE_CROSSCOMPILING)
  find_package(GTest REQUIRED)
  return()
endif()

if(NOT EXISTS ${HIVORA_GTEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest source not found at ${HIVORA_GTEST_SOURCE} (apt-get install googletest)")
endif()
if(NOT TARGET GTest::gtest)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  # GoogleTest has its own Win32 threading; winpthread would only add a dependency.
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  add_subdirectory(${HIVORA_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/_deps/googletest EXCLUDE_FROM_ALL)
endif()
