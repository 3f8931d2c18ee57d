# Cross-compiling the 32-bit x86 Windows DLL and test programs with mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(RLS_MINGW_TRIPLE i686-w64-mingw32)
set(RLS_WINE_BITS 32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

# An MSVC-built host only keeps the stack 4-byte aligned when it calls us; GCC
# would otherwise assume 16 bytes and misalign its SSE spills.
set(CMAKE_C_FLAGS_INIT "-mincoming-stack-boundary=2")
set(CMAKE_CXX_FLAGS_INIT "-mincoming-stack-boundary=2")
