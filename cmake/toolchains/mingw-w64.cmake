# Cross-compiles for Windows with MinGW-w64, for the target named by
# VREL_MINGW_TRIPLET (set by the per-architecture toolchain files beside this
# one). The posix thread model gives std::thread; everything is linked
# statically so that the executables run without MinGW DLLs beside them.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${VREL_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VREL_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VREL_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VREL_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Packages may come from anywhere: consumers point CMAKE_PREFIX_PATH at an
# installed vrel outside the MinGW root.
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
