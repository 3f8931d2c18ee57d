#!/bin/bash
# Runs a command with a Linux scales emulator serving UDP on 127.0.0.1:
#   with-emulator.sh EMULATOR [EMULATOR_OPTIONS...] -- COMMAND [ARGS...]
# The emulator picks a free port and writes it to a file; the command gets it
# in RLS_EMULATOR_PORT (Wine passes the environment on to Windows programs).
# The command's exit code is the result; the emulator is stopped afterwards.
set -u
emulator=$1
shift
emulator_options=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
    emulator_options+=("$1")
    shift
done
shift  # the "--"
if [ ! -x "$emulator" ] || [ $# -eq 0 ]; then
    echo "with-emulator: usage: $0 EMULATOR [OPTIONS...] -- COMMAND..." >&2
    exit 2
fi

work=$(mktemp -d)
"$emulator" --port 0 --port-file "$work/port" "${emulator_options[@]}" >"$work/emulator.log" 2>&1 &
emulator_pid=$!
stop_emulator() {
    kill "$emulator_pid" 2>/dev/null
    wait "$emulator_pid" 2>/dev/null
    rm -rf "$work"
}
trap stop_emulator EXIT

for _ in $(seq 100); do
    [ -s "$work/port" ] && break
    sleep 0.1
done
if [ ! -s "$work/port" ]; then
    echo "with-emulator: the scales emulator did not start:" >&2
    cat "$work/emulator.log" >&2
    exit 1
fi
export RLS_EMULATOR_PORT=$(tr -dc 0-9 <"$work/port")
echo "with-emulator: scales emulator on 127.0.0.1:$RLS_EMULATOR_PORT"
"$@"
status=$?
if [ $status -ne 0 ]; then
    echo "with-emulator: emulator output:"
    tail -n 40 "$work/emulator.log"
fi
exit $status
