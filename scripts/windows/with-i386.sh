#!/bin/bash
# Runs a command that can execute i386 ELF programs (Wine's 32-bit loader)
# under qemu-user-static:  with-i386.sh COMMAND [ARGS...]
#
# The kernel of these machines does not execute 32-bit code, so a binfmt_misc
# handler has to hand such programs to qemu.  Where the kernel allows it, the
# handler is registered in a private binfmt_misc instance inside a new user
# and mount namespace: only COMMAND and its children see it, and it vanishes
# with them -- other users' Wine runs on the machine stay at native speed.
# Otherwise it falls back to the machine-wide handler (binfmt.sh), registered
# for the command's duration and removed afterwards.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"

if [ $# -eq 0 ]; then
    echo "usage: $0 COMMAND [ARGS...]" >&2
    exit 2
fi

if [ "${RLS_I386_NAMESPACE:-}" = inside ]; then
    mount -t binfmt_misc binfmt_misc "$RLS_BINFMT_DIR" && "$here/binfmt.sh" register || exit 125
    exec "$@"
fi

if RLS_I386_NAMESPACE=probe unshare --user --map-root-user --mount --fork true 2>/dev/null; then
    RLS_I386_NAMESPACE=inside exec unshare --user --map-root-user --mount --fork "$0" "$@"
fi

echo "with-i386: no private namespace here; registering the handler machine-wide" >&2
"$here/binfmt.sh" register || exit 125
trap '"$here/binfmt.sh" unregister' EXIT
"$@"
