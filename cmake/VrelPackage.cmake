# CPack: a ZIP of the installed tree (tool, library, headers, CMake package,
# README, licence). Built from the windows-x86 and windows-x64 presets as the
# Windows packages, named -win32 and -win64 after the pointer size.
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME vrel)
set(CPACK_PACKAGE_VENDOR "vrel developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(CPACK_PACKAGE_FILE_NAME "vrel-${PROJECT_VERSION}-win64")
elseif(WIN32)
  set(CPACK_PACKAGE_FILE_NAME "vrel-${PROJECT_VERSION}-win32")
else()
  set(CPACK_PACKAGE_FILE_NAME "vrel-${PROJECT_VERSION}-${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}")
endif()
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
include(CPack)
