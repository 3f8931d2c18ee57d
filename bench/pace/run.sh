#!/bin/bash
# The pace benchmark on both systems: two Linux scales emulators on
# 127.0.0.1 (answering after 5 ms, and at once), each met by the Linux build
# and then by the Windows build under Wine, ROUNDS times in turn (a shared
# machine's load moves between rounds; compare within a round).
#   bench/pace/run.sh [GOODS] [ROUNDS]
# Needs build/default and build/win64 (configured with -DRLS_BUILD_BENCH=ON),
# both with bench_upload_pace built, and the win64 Wine prefix.
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/common.sh"
goods=${1:-100}
rounds=${2:-3}
linux=$root/build/default
win64=$root/build/win64
emulator=$linux/tools/scales-emulator/scales-emulator
work=$(mktemp -d)
trap 'stop_emulator TERM; rm -rf "$work"' EXIT

status=0
for delay in 5 0; do
    start_emulator "$work/port" "$work/emulator.log" \
        "$emulator" --quiet --delay "$delay" --port 0 --port-file "$work/port" || exit 1
    for round in $(seq "$rounds"); do
        "$linux/bench/pace/bench_upload_pace" "$EMULATOR_PORT" "$goods" \
            "$round Linux, answers after $delay ms" || status=1
        "$root/scripts/windows/wine.sh" run 64 "$win64/wineprefix" \
            "$win64/bench/pace/bench_upload_pace.exe" "$EMULATOR_PORT" "$goods" \
            "$round Wine, answers after $delay ms" || status=1
    done
    stop_emulator
done
exit $status
