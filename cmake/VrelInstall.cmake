# Installs the library, its headers and a CMake package, so that consumers
# write find_package(vrel CONFIG REQUIRED) and link vrel::vrel (or vrel::vrel_c,
# the C interface in a shared library); natively also pkg-config files.
# Every rule names its package component (VrelPackage.cmake): runtime (the C
# interface's shared library), dev (headers, static library, CMake and
# pkg-config files, the shared library's link name), tools (vreltest, the documents).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(VREL_CMAKE_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/vrel")

install(TARGETS vrel vrel_licence vrel_activation EXPORT vrelTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
# The C interface: libvrel.so (lib/) or vrel.dll (bin/) with libvrel.dll.a
# (lib/), and its header, which vrel.h does not include.
if(TARGET vrel_c)
  install(TARGETS vrel_c EXPORT vrelTargets
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
    PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vrel/c COMPONENT dev)
endif()
# The public headers only: vrel.h, the licence's licence.h and public_key.h, activation.h, and
# every header they
# reach through
# "vrel/..." includes, from the source tree or, made by CMake, the build tree. Platform, stand-in and cipher-internal headers stay in
# the source tree. Configuring again follows a changed include.
set(_vrel_pending vrel.h licence/licence.h licence/public_key.h activation/activation.h)
set(_vrel_public)
while(_vrel_pending)
  list(POP_FRONT _vrel_pending _vrel_header)
  if(_vrel_header IN_LIST _vrel_public)
    continue()
  endif()
  list(APPEND _vrel_public ${_vrel_header})
  set(_vrel_path "${PROJECT_SOURCE_DIR}/utils/vrel/${_vrel_header}")
  if(NOT EXISTS "${_vrel_path}")  # a header CMake made (version.h)
    set(_vrel_path "${VREL_GENERATED_INCLUDE}/vrel/${_vrel_header}")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${_vrel_path}")
  file(STRINGS "${_vrel_path}" _vrel_lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"vrel/")
  foreach(_vrel_line IN LISTS _vrel_lines)
    string(REGEX REPLACE ".*\"vrel/([^\"]+)\".*" "\\1" _vrel_included "${_vrel_line}")
    list(APPEND _vrel_pending ${_vrel_included})
  endforeach()
  get_filename_component(_vrel_dir "${_vrel_header}" DIRECTORY)
  install(FILES "${_vrel_path}" DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}/vrel/${_vrel_dir}"
    COMPONENT dev)
endwhile()
install(EXPORT vrelTargets NAMESPACE vrel:: DESTINATION "${VREL_CMAKE_DIR}" COMPONENT dev)

configure_package_config_file("${PROJECT_SOURCE_DIR}/cmake/vrelConfig.cmake.in"
  "${PROJECT_BINARY_DIR}/vrelConfig.cmake" INSTALL_DESTINATION "${VREL_CMAKE_DIR}")
write_basic_package_version_file("${PROJECT_BINARY_DIR}/vrelConfigVersion.cmake"
  COMPATIBILITY SameMajorVersion)
install(FILES "${PROJECT_BINARY_DIR}/vrelConfig.cmake" "${PROJECT_BINARY_DIR}/vrelConfigVersion.cmake"
  DESTINATION "${VREL_CMAKE_DIR}" COMPONENT dev)

# pkg-config: vrel for the C++ library, vrel-licence for its licences (with libcrypto),
# vrel-activation for activation (with libcurl), vrel-c for the C interface. The C++
# library is named by its path: "-lvrel" would find the C interface's
# libvrel.so first. The files are written at install time, when the prefix is
# known (cmake --install --prefix, or /usr when CPack makes the packages).
if(NOT WIN32)
  set(_vrel_pc_dir "${PROJECT_BINARY_DIR}/pkgconfig")
  foreach(_vrel_pc vrel vrel-licence vrel-activation vrel-c)
    install(CODE "
      set(VREL_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
      set(PROJECT_VERSION \"${PROJECT_VERSION}\")
      set(CMAKE_INSTALL_INCLUDEDIR \"${CMAKE_INSTALL_INCLUDEDIR}\")
      set(CMAKE_INSTALL_LIBDIR \"${CMAKE_INSTALL_LIBDIR}\")
      configure_file(\"${PROJECT_SOURCE_DIR}/cmake/${_vrel_pc}.pc.in\" \"${_vrel_pc_dir}/${_vrel_pc}.pc\" @ONLY)"
      COMPONENT dev)
    if(NOT _vrel_pc STREQUAL vrel-c OR TARGET vrel_c)
      install(FILES "${_vrel_pc_dir}/${_vrel_pc}.pc" DESTINATION "${CMAKE_INSTALL_LIBDIR}/pkgconfig"
        COMPONENT dev)
    endif()
  endforeach()
endif()

if(TARGET vreltest)
  install(TARGETS vreltest RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
endif()
# On Windows the documents sit at the top of the installed tree (and of the ZIP).
if(WIN32)
  set(VREL_DOC_DIR .)
else()
  set(VREL_DOC_DIR ${CMAKE_INSTALL_DOCDIR})
endif()
install(FILES README.md LICENSE CHANGELOG.md DESTINATION ${VREL_DOC_DIR} COMPONENT tools)

# The registry, a package of its own: the tool, libvrel_registry.so and its
# C header (the shared library carries the C++ code and SQLite's binding).
# The server, vrel-server, goes with them.
if(TARGET vrel-registry)
  install(TARGETS vrel-registry vrel-server RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
    COMPONENT registry)
  install(TARGETS vrel_registry_c LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT registry
    NAMELINK_COMPONENT registry)
  install(FILES "${PROJECT_SOURCE_DIR}/utils/vrel/registry/c/vrel_registry.h"
    DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}/vrel/registry" COMPONENT registry)
endif()
