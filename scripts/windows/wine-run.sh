#!/bin/bash
# Runs one Windows program under Wine:  wine-run.sh BITS PREFIX PROGRAM [ARGS...]
# BITS is 64, 32 (a 32-bit prefix) or wow64 (a 32-bit program in a 64-bit prefix).  Used by CTest as the cross-compiling emulator and by the
# other scripts.  32-bit programs need the qemu i386 handler (with-i386.sh):
# the kernel of these machines does not execute i386 code itself.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"

if [ $# -lt 3 ]; then
    echo "usage: $0 64|32 PREFIX PROGRAM [ARGS...]" >&2
    exit 2
fi
bits=$1 prefix=$2
shift 2
rls_wine_env "$bits" "$prefix"

if [ "$bits" != 64 ] && ! rls_binfmt_registered; then
    echo "wine-run: 32-bit program but no i386 handler; run scripts/windows/with-i386.sh" >&2
    exit 125
fi
# Wine's own processes (services, device drivers) must not be started by the
# program under test: they would keep its output pipe open and CTest would
# wait for them.  When the prefix has no server yet, create the prefix and
# start them detached first (wine-server.sh), one caller at a time.
# The lock is taken even when a server is up: it may still be starting them.
(
    flock 9
    # 9>&-: the server must not inherit the lock and hold it for its lifetime.
    rls_wine_server_running ||
        "$here/wine-server.sh" start "$bits" "$prefix" "$RLS_WINE_IDLE_SECONDS" 9>&-
) 9>"$WINEPREFIX.lock" >&2 || exit 125
exec "$RLS_WINE" "$@"
