# Cross-compiling the x86-64 Windows DLL and test programs with mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(RLS_MINGW_TRIPLE x86_64-w64-mingw32)
set(RLS_WINE_BITS 64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
