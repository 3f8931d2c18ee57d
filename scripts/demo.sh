#!/usr/bin/env bash
# The main job on a fresh Debian 12 machine (run as root): install what the
# build needs, build with the default preset, start the scales emulator on
# 127.0.0.1 (a free port), upload examples/goods.xml to it through the add-in
# with addin-host, stop the emulator and show the goods table it now holds.
#
#   bash scripts/demo.sh
#
# BUILD_DIR=... builds elsewhere than build/default.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${BUILD_DIR:-$ROOT/build/default}"
GOODS="$ROOT/examples/goods.xml"
. "$ROOT/scripts/common.sh"
# How long the emulator may take to start listening.
EMULATOR_START_SECONDS=20

say() { printf '\n== %s\n' "$*"; }

build() {
    say "building in $BUILD"
    cmake --preset default -B "$BUILD" -S "$ROOT"
    cmake --build "$BUILD" -j"$(nproc)" --target rls_addin addin-host scales-emulator
}

EMULATOR_PID=""
WORK=""
cleanup() {
    if [[ -n "$EMULATOR_PID" ]] && kill -0 "$EMULATOR_PID" 2>/dev/null; then
        kill -TERM "$EMULATOR_PID" 2>/dev/null || true
        wait "$EMULATOR_PID" 2>/dev/null || true
    fi
    [[ -n "$WORK" ]] && rm -rf "$WORK"
}
trap cleanup EXIT

start_emulator() {
    say "starting the scales emulator on 127.0.0.1"
    "$BUILD/tools/scales-emulator/scales-emulator" --address 127.0.0.1 --port 0 \
        --port-file "$WORK/port" --state-file "$WORK/state.json" --table --quiet \
        >"$WORK/emulator.out" 2>&1 &
    EMULATOR_PID=$!
    local waited=0
    until [[ -s "$WORK/port" ]]; do
        if ! kill -0 "$EMULATOR_PID" 2>/dev/null; then
            cat "$WORK/emulator.out" >&2
            echo "demo: the scales emulator did not start" >&2
            exit 1
        fi
        if ((waited >= EMULATOR_START_SECONDS * 10)); then
            echo "demo: the scales emulator wrote no port within ${EMULATOR_START_SECONDS} s" >&2
            exit 1
        fi
        sleep 0.1
        waited=$((waited + 1))
    done
    PORT="$(cat "$WORK/port")"
    echo "listening on UDP 127.0.0.1:$PORT"
}

upload() {
    say "uploading $(basename "$GOODS") through the add-in"
    "$BUILD/tools/addin-host/addin-host" --lib "$BUILD/addin/NativeAPITaviZavRLS1000Lin64.so" \
        upload --address "127.0.0.1:$PORT" "$GOODS"
}

stop_emulator_and_show_table() {
    kill -INT "$EMULATOR_PID"
    wait "$EMULATOR_PID" || true
    EMULATOR_PID=""
    say "the scales now hold"
    grep -v '^listening on ' "$WORK/emulator.out" || true
}

main() {
    ensure_packages "${BASE_PACKAGES[@]}"
    build
    WORK="$(mktemp -d)"
    start_emulator
    upload
    stop_emulator_and_show_table
}

main "$@"
