#!/bin/bash
# Creates a Wine prefix for console test programs:  wine-prefix.sh BITS PREFIX
# Does nothing when the prefix exists.  A crash then exits with a non-zero
# code instead of starting winedbg (the AeDebug debugger is emptied), and the
# wineserver is left running (-p) so that later runs start in 0.1 s, not 1 s.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
bits=$1 prefix=$2
rls_wine_env "$bits" "$prefix"

if [ -f "$WINEPREFIX/system.reg" ]; then
    exit 0
fi
if [ "$bits" = 32 ] && ! rls_binfmt_registered; then
    echo "wine-prefix: the 32-bit prefix needs the i386 handler (binfmt.sh register)" >&2
    exit 1
fi
mkdir -p "$WINEPREFIX"
start=$(date +%s)
echo "wine-prefix: creating the ${bits}-bit prefix $WINEPREFIX ..."
WINEDEBUG=${RLS_WINEBOOT_DEBUG:--all} "$RLS_WINE" wineboot -i >"$WINEPREFIX/wineboot.log" 2>&1
"$RLS_WINE" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
    /v Debugger /t REG_SZ /d "" /f >/dev/null 2>&1
# COM7 leads to a fixed path in the prefix; the serial tests make it a link
# to the scales emulator's pseudo-terminal (Wine maps COM ports from here).
"$RLS_WINE" reg add 'HKLM\Software\Wine\Ports' /v COM7 /t REG_SZ \
    /d "$WINEPREFIX/com7-emulator" /f >/dev/null 2>&1
"$WINESERVER" -w
echo "wine-prefix: ${bits}-bit prefix ready in $(($(date +%s) - start)) s"
