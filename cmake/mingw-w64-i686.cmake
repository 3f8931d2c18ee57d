# Cross-compiling the 32-bit x86 Windows DLL and test programs with mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(RLS_MINGW_TRIPLE i686-w64-mingw32)
# Run under Wine in a WoW64 prefix (a 64-bit prefix with its 32-bit half):
# Wine's own processes stay 64-bit and only the test program runs under the
# i386 loader (through qemu on these machines, see scripts/windows/README.md).
set(RLS_WINE_BITS wow64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

# An MSVC-built host only keeps the stack 4-byte aligned when it calls us; GCC
# would otherwise assume 16 bytes and misalign its SSE spills.
set(CMAKE_C_FLAGS_INIT "-mincoming-stack-boundary=2")
set(CMAKE_CXX_FLAGS_INIT "-mincoming-stack-boundary=2")
