#!/bin/bash
# Registers or removes the binfmt_misc handler that runs i386 ELF programs
# (Wine's 32-bit loader) under qemu-user-static:  binfmt.sh register|unregister|status
# The kernel of these machines has 32-bit execution switched off, so 32-bit
# Windows programs under Wine run only this way.  The handler is global to the
# machine: register it just for the 32-bit runs and remove it afterwards
# (with it registered, creating a 64-bit prefix takes minutes).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
qemu=/usr/bin/qemu-i386-static

ensure_mounted() {
    [ -e "$RLS_BINFMT_DIR/register" ] && return 0
    mount -t binfmt_misc binfmt_misc "$RLS_BINFMT_DIR"
}

unregister() {
    if rls_binfmt_registered; then
        echo -1 >"$RLS_BINFMT_DIR/$RLS_BINFMT_NAME"
    fi
}

register() {
    ensure_mounted
    unregister  # a stale one from an interrupted run
    # ELF, 32-bit, little-endian, executable or shared object, machine i386.
    # Flag F: the kernel opens qemu now, so it is found in any mount namespace.
    local magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    local mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    echo ":$RLS_BINFMT_NAME:M::$magic:$mask:$qemu:F" >"$RLS_BINFMT_DIR/register"
}

case "${1:-}" in
register) register ;;
unregister) ensure_mounted && unregister ;;
status) ensure_mounted && if rls_binfmt_registered; then cat "$RLS_BINFMT_DIR/$RLS_BINFMT_NAME"; else echo "not registered"; fi ;;
*) echo "usage: $0 register|unregister|status" >&2; exit 2 ;;
esac
