# 32-bit Windows: the reference build, for every Windows.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QUILLO_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
