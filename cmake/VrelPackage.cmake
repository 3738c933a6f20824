# CPack. On Windows a ZIP of the whole installed tree (tool, library, headers,
# CMake package, README, licence), from the windows-x86 and windows-x64 presets,
# named -win32 and -win64 after the pointer size. Natively Debian packages, one
# per install component, installed under /usr (where the loader finds
# libvrel.so.0 without an rpath):
#   libvrel0       the C interface, libvrel.so.0 (ctypes, P/Invoke, C programs)
#   libvrel-dev    headers, the static C++ library, the CMake package, the
#                  pkg-config files vrel and vrel-c, and the link name libvrel.so
#                  (which Mono's DllImport("vrel") also loads)
#   vrel-tools     vreltest and the documents
#   vrel-registry  the server-side registry: vrel-registry, libvrel_registry.so
#                  and its C header
set(CPACK_PACKAGE_NAME vrel)
set(CPACK_PACKAGE_VENDOR "vrel developers")
set(CPACK_PACKAGE_CONTACT "vrel developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_PACKAGE_FILE_NAME "vrel-${PROJECT_VERSION}-win64")
  else()
    set(CPACK_PACKAGE_FILE_NAME "vrel-${PROJECT_VERSION}-win32")
  endif()
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
  set(CPACK_DEBIAN_PACKAGE_SECTION libs)
  # Every component that has install rules (the registry's too, when they
  # exist), but none left unnamed.
  get_cmake_property(CPACK_COMPONENTS_ALL COMPONENTS)
  list(REMOVE_ITEM CPACK_COMPONENTS_ALL Unspecified)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libvrel${PROJECT_VERSION_MAJOR})
  set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
    "vrel C interface: this machine's keyed fingerprint token from C, Python ctypes or C#")
  set(CPACK_DEBIAN_DEV_PACKAGE_NAME libvrel-dev)
  set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
  set(CPACK_COMPONENT_DEV_DEPENDS runtime)
  set(CPACK_COMPONENT_DEV_DESCRIPTION
    "vrel development files: headers, static C++ library, CMake package, pkg-config files")
  set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME vrel-tools)
  set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
  set(CPACK_COMPONENT_TOOLS_DESCRIPTION
    "vreltest: this machine's identifiers, fingerprint token and token comparison")
  set(CPACK_DEBIAN_REGISTRY_PACKAGE_NAME vrel-registry)
  set(CPACK_DEBIAN_REGISTRY_PACKAGE_SECTION net)
  set(CPACK_COMPONENT_REGISTRY_DESCRIPTION
    "vrel-registry: identifies a fleet's machines by their fingerprint tokens (SQLite, PostgreSQL)")
endif()
include(CPack)
