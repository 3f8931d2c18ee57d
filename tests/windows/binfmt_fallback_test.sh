#!/bin/bash
# The machine-wide i386 handler of "wine.sh i386" (its fallback where no
# private binfmt_misc instance can be had) is gone however the run ends:
# normal exit, SIGTERM, SIGINT; after SIGKILL the next run clears the stale
# one.  Run inside a user and mount namespace of its own with a binfmt_misc
# instance of its own standing in for the machine's, so the machine's is
# never touched.  Exit code 77 (skipped) where no such namespace can be had.
set -u
here=$(cd "$(dirname "$0")" && pwd)
wine_sh=$(cd "$here/../../scripts/windows" && pwd)/wine.sh
entry=/proc/sys/fs/binfmt_misc/rls-qemu-i386

if [ "${RLS_BINFMT_TEST_INSIDE:-}" != 1 ]; then
    unshare --user --map-root-user --mount --fork \
        mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null || exit 77
    RLS_BINFMT_TEST_INSIDE=1 exec unshare --user --map-root-user --mount --fork "$0"
fi
mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc || exit 1
export RLS_I386_MACHINE_WIDE=1
failures=0
fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}

# eventually COMMAND...: COMMAND succeeds within 10 s.
eventually() {
    for _ in $(seq 100); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

# gone PID: the process has ended (a zombie waiting to be reaped counts).
gone() {
    ! kill -0 "$1" 2>/dev/null || [ "$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null)" = Z ]
}

"$wine_sh" i386 sh -c "test -e $entry" 2>/dev/null || fail "the handler is not there while the command runs"
[ -e "$entry" ] && fail "the handler outlived a normal exit"
"$wine_sh" i386 sh -c 'exit 3' 2>/dev/null
[ $? -eq 3 ] || fail "the command's exit code is not passed on"

# Job control: a background job of a script would ignore SIGINT otherwise.
set -m
# start_run: "wine.sh i386" around a long sleep; sets pid (wine.sh) and child
# (the command it runs), once the handler is there.
start_run() {
    "$wine_sh" i386 sleep 600 2>/dev/null &
    pid=$!
    eventually test -e "$entry" || return 1
    child=$(pgrep -P "$pid")
    [ -n "$child" ]
}

for signal in TERM INT HUP; do
    start_run || fail "$signal: the handler was never registered"
    kill -"$signal" "$pid"
    wait "$pid" 2>/dev/null
    eventually test ! -e "$entry" || fail "the handler outlived SIG$signal"
    if ! eventually gone "$child"; then
        fail "SIG$signal left the command running"
        kill "$child"
    fi
done

start_run || fail "KILL: the handler was never registered"
kill -KILL "$pid"
wait "$pid" 2>/dev/null
kill "$child" 2>/dev/null
[ -e "$entry" ] || fail "SIGKILL left no stale handler (nothing to clear)"
"$wine_sh" i386 sh -c "grep -q enabled $entry" 2>/dev/null ||
    fail "the next run did not register over the stale handler"
[ -e "$entry" ] && fail "the handler registered over a stale one outlived its run"

[ $failures -eq 0 ] && echo "PASSED: machine-wide i386 handler cleanup"
[ $failures -eq 0 ]
