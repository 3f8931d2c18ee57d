#!/bin/bash
# Runs a command with a scales emulator serving UDP on 127.0.0.1:
#   with-emulator.sh EMULATOR [EMULATOR_ARGS...] -- COMMAND [ARGS...]
# The emulator gets "--port 0 --port-file FILE" added to its arguments, so it
# picks a free port; the command finds it in RLS_EMULATOR_PORT (Wine passes
# the environment on to Windows programs).  The command's exit code is the
# result; the emulator is stopped afterwards.
set -u
. "$(cd "$(dirname "$0")/../.." && pwd)/scripts/common.sh"
emulator=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
    emulator+=("$1")
    shift
done
shift # the "--"
if [ ${#emulator[@]} -eq 0 ] || [ $# -eq 0 ]; then
    echo "usage: $0 EMULATOR [EMULATOR_ARGS...] -- COMMAND..." >&2
    exit 2
fi

work=$(mktemp -d)
trap 'stop_emulator TERM; rm -rf "$work"' EXIT
start_emulator "$work/port" "$work/emulator.log" \
    "${emulator[@]}" --port 0 --port-file "$work/port" || exit 1
export RLS_EMULATOR_PORT=$EMULATOR_PORT
echo "with-emulator: scales emulator on 127.0.0.1:$RLS_EMULATOR_PORT"
"$@"
status=$?
if [ $status -ne 0 ]; then
    echo "with-emulator: emulator output:"
    tail -n 40 "$work/emulator.log"
fi
exit $status
