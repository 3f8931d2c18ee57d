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

say() { printf '\n== %s\n' "$*"; }

build() {
    say "building in $BUILD"
    cmake --preset default -B "$BUILD" -S "$ROOT"
    cmake --build "$BUILD" -j"$(nproc)" --target rls_addin addin-host scales-emulator
}

WORK=""
cleanup() {
    stop_emulator TERM || true
    [[ -n "$WORK" ]] && rm -rf "$WORK"
}
trap cleanup EXIT

start() {
    say "starting the scales emulator on 127.0.0.1"
    start_emulator "$WORK/port" "$WORK/emulator.out" \
        "$BUILD/tools/scales-emulator/scales-emulator" --address 127.0.0.1 --port 0 \
        --port-file "$WORK/port" --state-file "$WORK/state.json" --table --quiet ||
        exit 1
    echo "listening on UDP 127.0.0.1:$EMULATOR_PORT"
}

upload() {
    say "uploading $(basename "$GOODS") through the add-in"
    "$BUILD/tools/addin-host/addin-host" --lib "$BUILD/addin/NativeAPITaviZavRLS1000Lin64.so" \
        upload --address "127.0.0.1:$EMULATOR_PORT" "$GOODS"
}

stop_emulator_and_show_table() {
    stop_emulator INT || true
    say "the scales now hold"
    grep -v '^listening on ' "$WORK/emulator.out" || true
}

main() {
    ensure_packages "${BASE_PACKAGES[@]}"
    build
    WORK="$(mktemp -d)"
    start
    upload
    stop_emulator_and_show_table
}

main "$@"
