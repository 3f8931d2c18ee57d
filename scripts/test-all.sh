#!/usr/bin/env bash
# Runs every test of the project on a Debian 12 machine (as root), installing
# what is missing: the Linux build, the Windows DLLs under Wine with the
# package, the short fuzz runs (when clang is present), the suites under
# ASan + UBSan, and last the Linux test suites.
# Ends with CTest's summary of the Linux suites; exits non-zero if any stage
# failed.
set -uo pipefail
cd "$(dirname "$0")/.."
. scripts/common.sh

# clang and its runtime (libFuzzer) for the fuzz runs; the locale sources
# from which the host-locale test compiles a Russian locale of its own; the
# Windows stage adds its toolchains (ensure_windows_packages, scripts/common.sh).
ensure_packages "${BASE_PACKAGES[@]}" clang libclang-rt-14-dev locales

failed=()
stage() {  # stage NAME COMMAND...
    local name=$1; shift
    echo "== $name"
    if ! "$@"; then
        echo "== $name FAILED"
        failed+=("$name")
    fi
}

stage "configure (Linux)" cmake --preset default
stage "build (Linux)" cmake --build --preset default -j2

if [ -x scripts/windows/run-all.sh ] && [ "${RLS_SKIP_WINDOWS:-0}" != 1 ]; then
    stage "Windows DLLs under Wine" scripts/windows/run-all.sh
fi

if [ -x scripts/fuzz-short.sh ] && [ "${RLS_SKIP_FUZZ:-0}" != 1 ]; then
    stage "fuzz (short runs)" scripts/fuzz-short.sh
fi

if [ "${RLS_SKIP_ASAN:-0}" != 1 ]; then
    stage "configure (ASan + UBSan)" cmake --preset asan
    stage "build (ASan + UBSan)" cmake --build --preset asan -j2
    stage "test suites under ASan + UBSan" ctest --preset asan
fi

echo "== Linux test suites"
ctest --preset default
rc=$?
if [ $rc -ne 0 ]; then failed+=("Linux test suites"); fi
if [ ${#failed[@]} -gt 0 ]; then
    echo "FAILED stages: ${failed[*]}" >&2
    exit 1
fi
