# GoogleTest from Debian's source package, built with the project's own
# compiler and flags, so that the same suites run natively, under the
# sanitizers and under Wine. Included by the tests and by the fuzz targets
# (whose card-pass target uses the fake WMI of tests/support); adds the
# targets once.
if(NOT TARGET gtest)
  set(VREL_GTEST_SOURCE_DIR "/usr/src/googletest" CACHE PATH "GoogleTest sources")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  add_subdirectory(${VREL_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
endif()
