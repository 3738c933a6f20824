# CPack: a ZIP of the installed tree (tool, library, headers, CMake package,
# README, licence). Built from the windows-x86 preset as the Windows package.
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME vrel)
set(CPACK_PACKAGE_VENDOR "vrel developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
if(WIN32)
  set(CPACK_PACKAGE_FILE_NAME "vrel-${PROJECT_VERSION}-win32")
else()
  set(CPACK_PACKAGE_FILE_NAME "vrel-${PROJECT_VERSION}-${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}")
endif()
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
include(CPack)
