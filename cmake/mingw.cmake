# Cross-compiles for Windows with mingw-w64, for the architecture that the
# including toolchain file names. The posix thread model is the one whose
# libstdc++ has std::mutex, which GoogleTest needs.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${QUILLO_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUILLO_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${QUILLO_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QUILLO_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# No runtime DLLs beside the programs: only system DLLs are imported.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
