# Cross-compiling the Windows build (com/) with Debian's MinGW-w64 for
# i686-w64-mingw32.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ZSEPA_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
