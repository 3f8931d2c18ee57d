#!/bin/bash
# The Windows deliverables in one command, for CI and for developers:
#   scripts/windows/run-all.sh
# 1. installs what is missing (setup.sh);
# 2. builds the Linux scales emulator and the Linux .so (RLS_LINUX_BUILD,
#    default build/default), then both DLLs with their Windows test programs
#    (build/win64, build/win32);
# 3. checks both DLLs' imports and exports (check-dll.sh);
# 4. 32-bit: with the qemu i386 handler (with-i386.sh), runs the MSVC-ABI
#    host and the end-to-end smoke test under Wine (WoW64, in the 64-bit prefix);
# 5. builds build/package/NativeAPITaviZavRLS1000.zip;
# 6. 64-bit: runs every Windows test under Wine through CTest (last, so that
#    its summary closes the output).
# Exits non-zero when any step fails; the last line is a one-line summary.
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$here/wine-env.sh"
linux_build=${RLS_LINUX_BUILD:-$root/build/default}
emulator=$linux_build/tools/scales-emulator/scales-emulator
linux_so=$linux_build/addin/NativeAPITaviZavRLS1000Lin64.so
win64=$root/build/win64
win32=$root/build/win32
package=$root/build/package/NativeAPITaviZavRLS1000.zip
jobs=${RLS_JOBS:-2}
started=$(date +%s)
failed=()
passed=()

# step NAME COMMAND...: runs and times one step, remembering its outcome.
step() {
    local name=$1 start=$(date +%s)
    shift
    echo
    echo "==== $name"
    if "$@"; then
        passed+=("$name")
        echo "==== $name: ok ($(($(date +%s) - start)) s)"
    else
        failed+=("$name")
        echo "==== $name: FAILED ($(($(date +%s) - start)) s)"
    fi
}

cleanup() {
    "$here/wine-server.sh" stop 64 "$win64/wineprefix"
}
trap cleanup EXIT

build_linux() {
    if [ ! -f "$linux_build/CMakeCache.txt" ]; then
        cmake -S "$root" -B "$linux_build" -G Ninja -DCMAKE_BUILD_TYPE=Release || return 1
    fi
    cmake --build "$linux_build" -j"$jobs" --target scales-emulator rls_addin
}

configure_windows() {  # PRESET
    cmake --preset "$1" -S "$root" -DRLS_LINUX_EMULATOR="$emulator" >/dev/null
}

build_win64() {
    configure_windows win64 && cmake --build "$win64" -j"$jobs"
}

# The 32-bit build makes only what the 32-bit runs use: the portable suites
# run under 64-bit Wine, and the layout asserts compile in here anyway.
build_win32() {
    configure_windows win32 &&
        cmake --build "$win32" -j"$jobs" --target rls_addin msvc_abi_host wine_addin_e2e
}

check_dlls() {
    "$here/check-dll.sh" "$win32/addin/NativeAPITaviZavRLS1000Win32.dll" \
        "$win64/addin/NativeAPITaviZavRLS1000Win64.dll"
}

# Without the i386 handler in sight (with-i386.sh keeps it in a namespace of
# its own), the 64-bit prefix is made in seconds.
prepare_wine64() {
    "$here/wine-server.sh" start 64 "$win64/wineprefix"
}

# 32-bit programs run in the 64-bit prefix (WoW64): Wine's own processes
# stay native and only the test program starts under qemu (about a minute
# each), so the 32-bit runs are kept to the MSVC-ABI host and one smoke test.
run_wine32() {
    "$here/with-i386.sh" ctest --test-dir "$win32" --output-on-failure -j1 \
        -R '^(msvc_abi_host|wine_addin_e2e)$'
}

make_package() {
    "$root/packaging/make-zip.sh" "$win32/addin/NativeAPITaviZavRLS1000Win32.dll" \
        "$win64/addin/NativeAPITaviZavRLS1000Win64.dll" "$linux_so" "$package"
}

run_wine64() {
    ctest --test-dir "$win64" --output-on-failure -j"$jobs"
}

step "install missing packages" "$here/setup.sh"
step "Linux emulator and .so" build_linux
step "build win64" build_win64
step "build win32" build_win32
step "DLL imports and exports" check_dlls
step "64-bit Wine prefix" prepare_wine64
step "32-bit runs under Wine and qemu" run_wine32
step "package" make_package
step "64-bit tests under Wine" run_wine64

elapsed=$(($(date +%s) - started))
if [ ${#failed[@]} -eq 0 ]; then
    echo "windows run-all: OK, ${#passed[@]} steps passed in $((elapsed / 60))m$((elapsed % 60))s; package $package"
    exit 0
fi
echo "windows run-all: FAILED: $(IFS=,; echo "${failed[*]}") (${#passed[@]} passed) in $((elapsed / 60))m$((elapsed % 60))s"
exit 1
