# When cross-compiling for Windows, run test executables through Wine with a
# prefix of the build's own (VREL_WINEPREFIX; the Windows presets share one
# under build/, so it is created once). The wrapper creates the prefix on
# first use, under a lock, since several Wine processes creating one race.
if(CMAKE_CROSSCOMPILING AND WIN32 AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(VREL_WINE wine REQUIRED)
  set(VREL_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix" CACHE PATH "Wine prefix for the tests")
  configure_file("${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in"
                 "${CMAKE_BINARY_DIR}/wine-run.sh" @ONLY
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
                                  GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_BINARY_DIR}/wine-run.sh")
endif()
