# Cross build of the 32-bit Windows program, the one we ship.
set(MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(SNAPVIK_WINE_BITS 32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
