# Shared part of the mingw-w64 toolchain files: Windows target, the -posix
# compilers (std::mutex and std::thread need the POSIX thread model), a
# statically linked runtime so that the DLL and the test programs import only
# system DLLs, and Wine as the emulator through which CTest runs the .exe files.
#
# The including file sets RLS_MINGW_TRIPLE and RLS_WINE_BITS first.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${RLS_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${RLS_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${RLS_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${RLS_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Without these the DLL needs libstdc++-6.dll, libgcc_s_*.dll and
# libwinpthread-1.dll beside it, and LoadLibrary fails with error 126.
set(_rls_static_runtime "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${_rls_static_runtime}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${_rls_static_runtime}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${_rls_static_runtime}")

# CTest prefixes every test command that names an executable target with this.
# The Wine prefix lives in the build folder so that builds never share one.
if(NOT DEFINED RLS_WINEPREFIX)
    set(RLS_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix")
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR
    "${CMAKE_CURRENT_LIST_DIR}/../scripts/windows/wine.sh;run;${RLS_WINE_BITS};${RLS_WINEPREFIX}")
