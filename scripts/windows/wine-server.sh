#!/bin/bash
# Starts or stops the Wine server of a prefix for a batch of test runs:
#   wine-server.sh start|stop BITS PREFIX [IDLE_SECONDS]
# start: creates the prefix when missing, keeps its server running (-p) and
# starts Wine's own processes (services, device drivers) once, detached from
# every terminal and pipe.  Without that, the first test of a CTest run would
# start them, they would inherit that test's output pipe, and CTest would wait
# for them for as long as the server lives.  Later runs then also start in
# 0.1 s instead of 1 s (minutes under qemu).
# stop: ends the server and every Wine process of the prefix.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
action=$1 bits=$2 prefix=$3 idle=${4:-}
rls_wine_env "$bits" "$prefix"

case "$action" in
start)
    "$here/wine-prefix.sh" "$bits" "$prefix"
    # Without IDLE_SECONDS the server stays until "stop".
    "$WINESERVER" -p$idle </dev/null >/dev/null 2>&1 || true  # fails when already up
    "$RLS_WINE" cmd /c exit </dev/null >/dev/null 2>&1
    ;;
stop)
    [ -d "$prefix" ] && "$WINESERVER" -k 2>/dev/null || true
    ;;
*)
    echo "usage: $0 start|stop 64|32 PREFIX" >&2
    exit 2
    ;;
esac
