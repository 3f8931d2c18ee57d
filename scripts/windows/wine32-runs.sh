#!/bin/bash
# The 32-bit Wine runs, inside with-i386.sh:  wine32-runs.sh BUILD_DIR
# Every 32-bit Wine process starts slowly under qemu, so only the MSVC-ABI
# host and the end-to-end smoke test run here; the rest of the 32-bit build is
# covered by its compile-time layout checks.
set -u
here=$(cd "$(dirname "$0")" && pwd)
build=$1
prefix=$build/wineprefix
start=$(date +%s)
"$here/wine-server.sh" start 32 "$prefix" || exit 1
echo "wine32: prefix and server ready in $(($(date +%s) - start)) s"
ctest --test-dir "$build" --output-on-failure -j1 -R '^(msvc_abi_host|wine_addin_e2e)$'
status=$?
"$here/wine-server.sh" stop 32 "$prefix"
echo "wine32: runs took $(($(date +%s) - start)) s"
exit $status
