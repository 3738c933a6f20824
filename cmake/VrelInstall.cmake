# Installs the library, its headers and a CMake package, so that consumers
# write find_package(vrel CONFIG REQUIRED) and link vrel::vrel.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(VREL_CMAKE_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/vrel")

install(TARGETS vrel EXPORT vrelTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY "${PROJECT_SOURCE_DIR}/utils/vrel/"
  DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}/vrel"
  FILES_MATCHING PATTERN "*.h"
  PATTERN "vreltest" EXCLUDE)
install(EXPORT vrelTargets NAMESPACE vrel:: DESTINATION "${VREL_CMAKE_DIR}")

configure_package_config_file("${PROJECT_SOURCE_DIR}/cmake/vrelConfig.cmake.in"
  "${PROJECT_BINARY_DIR}/vrelConfig.cmake" INSTALL_DESTINATION "${VREL_CMAKE_DIR}")
write_basic_package_version_file("${PROJECT_BINARY_DIR}/vrelConfigVersion.cmake"
  COMPATIBILITY SameMajorVersion)
install(FILES "${PROJECT_BINARY_DIR}/vrelConfig.cmake" "${PROJECT_BINARY_DIR}/vrelConfigVersion.cmake"
  DESTINATION "${VREL_CMAKE_DIR}")

if(TARGET vreltest)
  install(TARGETS vreltest RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
# On Windows the documents sit at the top of the installed tree (and of the ZIP).
if(WIN32)
  set(VREL_DOC_DIR .)
else()
  set(VREL_DOC_DIR ${CMAKE_INSTALL_DOCDIR})
endif()
install(FILES README.md LICENSE CHANGELOG.md DESTINATION ${VREL_DOC_DIR})
