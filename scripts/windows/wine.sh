#!/bin/bash
# The Windows test path in one script; README.md beside it explains it.
#
#   wine.sh test                               everything CI runs (run-all.sh calls this)
#   wine.sh setup                              install what is missing (scripts/common.sh)
#   wine.sh prefix BITS PREFIX                 create a Wine prefix for console programs
#   wine.sh server start|stop BITS PREFIX [IDLE_SECONDS]
#   wine.sh run BITS PREFIX PROGRAM [ARGS...]  run one Windows program (CTest's emulator)
#   wine.sh i386 COMMAND [ARGS...]             run COMMAND where i386 ELF programs can run
#   wine.sh binfmt register|unregister|status  the machine-wide i386 handler (fallback)
#
# BITS is 64 (a 64-bit program, in a 64-bit prefix) or wow64 (a 32-bit
# program, in a 64-bit prefix with its 32-bit half, made under the handler).
# Exit code 125: a 32-bit program was asked for and the qemu i386 handler
# could not be had.
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$root/scripts/common.sh"

wine_dir=/usr/lib/wine
binfmt_dir=/proc/sys/fs/binfmt_misc
binfmt_name=rls-qemu-i386
qemu=/usr/bin/qemu-i386-static
no_i386=125
# Seconds a server started for single runs stays up after its last program.
server_idle_seconds=30

usage() {
    sed -n '3,13p' "$0" | sed 's/^# \{0,1\}//' >&2
    exit 2
}

# --- Wine environment ------------------------------------------------------

# wine_env BITS PREFIX: exports the environment for console programs and sets
# $wine.  Both kinds run through wine64: it hands a 32-bit program to Wine's
# i386 loader itself, while Wine's own processes stay 64-bit.  No display:
# an unset DISPLAY keeps Wine from opening windows (e.g. a crash dialog).
wine_env() {
    local bits=$1 prefix=$2
    case "$bits" in
    64 | wow64) ;;
    *)
        echo "wine.sh: BITS is 64 or wow64, not '$bits'" >&2
        exit 2
        ;;
    esac
    unset DISPLAY WAYLAND_DISPLAY
    export WINEDEBUG=-all WINEARCH=win64
    WINEPREFIX=$(realpath -m "$prefix") # Wine takes only absolute paths
    export WINEPREFIX
    export WINESERVER=$wine_dir/wineserver64
    # Gecko and Mono installers would open dialogs when the prefix is created.
    export WINEDLLOVERRIDES="mscoree,mshtml="
    wine=$wine_dir/wine64
    prefix_bits=$bits
}

# Whether the prefix's server is up: its socket lives in a folder named after
# the prefix's device and inode numbers.
server_running() {
    local id
    id=$(stat -c '%d %i' "$WINEPREFIX" 2>/dev/null) || return 1
    # shellcheck disable=SC2086
    id=$(printf 'server-%x-%x' $id)
    compgen -G "/tmp/.wine-$(id -u)/$id/socket" >/dev/null || compgen -G "/tmp/wine-*/$id/socket" >/dev/null
}

# A prefix for console test programs: a crash exits with a non-zero code
# instead of starting winedbg (AeDebug's debugger emptied), and COM7 leads to
# a fixed path in the prefix that the serial tests make a link to the scales
# emulator's pseudo-terminal (Wine maps COM ports from the registry).
#
# A wow64 prefix gets its 32-bit half (syswow64) at creation, which runs
# Wine's 32-bit installer and so needs the i386 handler (minutes under
# qemu); outside its bootstrap Wine finds no 32-bit DLL the prefix lacks.  A
# 64-bit prefix is made without the handler, in seconds.
make_prefix() {
    if [ -f "$WINEPREFIX/system.reg" ]; then
        [ "$prefix_bits" = 64 ] || [ -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ] ||
            {
                echo "wine.sh: $WINEPREFIX has no 32-bit half (made without the i386 handler); remove it to have it made again" >&2
                return 1
            }
        return 0
    fi
    if [ "$prefix_bits" = wow64 ] && ! binfmt_registered; then
        echo "wine.sh: a wow64 prefix is made under the i386 handler: run under 'wine.sh i386'" >&2
        exit $no_i386
    fi
    mkdir -p "$WINEPREFIX"
    local start=$SECONDS
    echo "wine.sh: creating the $prefix_bits prefix $WINEPREFIX ..." >&2
    "$wine" wineboot -i >"$WINEPREFIX/wineboot.log" 2>&1 || return 1
    "$wine" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
        /v Debugger /t REG_SZ /d "" /f >/dev/null 2>&1
    "$wine" reg add 'HKLM\Software\Wine\Ports' /v COM7 /t REG_SZ \
        /d "$WINEPREFIX/com7-emulator" /f >/dev/null 2>&1
    "$WINESERVER" -w
    echo "wine.sh: prefix ready in $((SECONDS - start)) s" >&2
}

# Keeps the server up (-p; until "stop" without IDLE_SECONDS) and starts
# Wine's own processes (services, device drivers) once, detached from every
# pipe.  Otherwise the first program run would start them, they would inherit
# its output pipe, and CTest would wait for them as long as the server lives.
# Later runs also start in 0.1 s instead of 1 s.
start_server() {
    local idle=${1:-}
    make_prefix || return 1
    "$WINESERVER" -p"$idle" </dev/null >/dev/null 2>&1 || true # fails when already up
    "$wine" cmd /c exit </dev/null >/dev/null 2>&1
}

cmd_prefix() {
    [ $# -eq 2 ] || usage
    wine_env "$1" "$2"
    make_prefix
}

cmd_server() {
    [ $# -ge 3 ] || usage
    local action=$1
    wine_env "$2" "$3"
    case "$action" in
    start) start_server "${4:-}" ;;
    stop) if [ -d "$WINEPREFIX" ]; then "$WINESERVER" -k 2>/dev/null || true; fi ;;
    *) usage ;;
    esac
}

cmd_run() {
    [ $# -ge 3 ] || usage
    local bits=$1
    wine_env "$bits" "$2"
    shift 2
    if [ "$bits" = wow64 ] && ! binfmt_registered; then
        echo "wine.sh: a 32-bit program needs the i386 handler: run it under 'wine.sh i386'" >&2
        exit $no_i386
    fi
    # One caller at a time starts a missing server; the lock is taken even
    # when the server is up, since it may still be starting Wine's processes.
    # 9>&-: the server must not inherit the lock and hold it for its lifetime.
    (
        flock 9
        server_running || start_server "$server_idle_seconds" 9>&-
    ) 9>"$WINEPREFIX.lock" >&2 || exit 1
    exec "$wine" "$@"
}

# --- the i386 handler ------------------------------------------------------
# The kernel of these machines runs no 32-bit code, Wine's i386 loader
# included; a binfmt_misc handler hands such programs to qemu-user-static.

binfmt_registered() {
    [ -e "$binfmt_dir/$binfmt_name" ]
}

binfmt_mount() {
    [ -e "$binfmt_dir/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt_dir"
}

binfmt_unregister() {
    if binfmt_registered; then echo -1 >"$binfmt_dir/$binfmt_name"; fi
}

# ELF, 32-bit, little-endian, executable or shared object, machine i386.
# Flag F: the kernel opens qemu now, so it is found in any mount namespace.
binfmt_register() {
    binfmt_unregister # a stale one from a run that was killed
    local magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    local mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    echo ":$binfmt_name:M::$magic:$mask:$qemu:F" >"$binfmt_dir/register"
}

cmd_binfmt() {
    [ $# -eq 1 ] || usage
    binfmt_mount || return $no_i386
    case "$1" in
    register) binfmt_register ;;
    unregister) binfmt_unregister ;;
    status) if binfmt_registered; then cat "$binfmt_dir/$binfmt_name"; else echo "not registered"; fi ;;
    *) usage ;;
    esac
}

# A private binfmt_misc instance (Linux 6.7 and later) in a user and mount
# namespace of our own: only COMMAND and its children see the handler, it
# vanishes with them, and other Wine users on the machine stay at full speed.
# RLS_I386_MACHINE_WIDE=1 takes the fallback below even so (its test does).
private_binfmt_possible() {
    [ "${RLS_I386_MACHINE_WIDE:-0}" != 1 ] &&
        unshare --user --map-root-user --mount --fork \
            mount -t binfmt_misc binfmt_misc "$binfmt_dir" 2>/dev/null
}

# Where no private instance can be had: the handler machine-wide, for as long
# as COMMAND runs.  It slows every Wine start on the machine (creating a
# 64-bit prefix takes minutes with it), so it is removed however this ends:
# normally, by Ctrl+C or kill (the traps), or -- after kill -9 -- by the next
# registration, which clears a stale one first.
run_with_machine_wide_binfmt() {
    echo "wine.sh: no private binfmt_misc here; registering the i386 handler machine-wide" >&2
    binfmt_mount && binfmt_register || exit $no_i386
    local child=
    trap '[ -n "$child" ] && kill "$child" 2>/dev/null; binfmt_unregister' EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
    trap 'exit 129' HUP
    "$@" &
    child=$!
    wait "$child"
    local status=$?
    child=
    exit $status
}

cmd_i386() {
    [ $# -ge 1 ] || usage
    if [ "${RLS_I386_NAMESPACE:-}" = inside ]; then
        mount -t binfmt_misc binfmt_misc "$binfmt_dir" && binfmt_register || exit $no_i386
        exec "$@"
    fi
    if private_binfmt_possible; then
        RLS_I386_NAMESPACE=inside exec unshare --user --map-root-user --mount --fork \
            "$0" i386 "$@"
    fi
    run_with_machine_wide_binfmt "$@"
}

# --- everything CI runs ----------------------------------------------------

cmd_test() {
    local linux_build=${RLS_LINUX_BUILD:-$root/build/default}
    local win64=$root/build/win64 win32=$root/build/win32
    local prefix=$win64/wineprefix
    local package_dir=$root/build/package
    local jobs=${RLS_JOBS:-2}
    local started=$SECONDS
    local failed=() passed=()
    wine_env 64 "$prefix"
    # Expanded now: the trap runs after this function's locals are gone.
    trap "$(printf '%q server stop 64 %q; %q server stop wow64 %q' \
        "$0" "$prefix" "$0" "$win32/wineprefix")" EXIT

    step() { # step NAME COMMAND...: runs and times one step, remembering its outcome.
        local name=$1 start=$SECONDS
        shift
        echo
        echo "==== $name"
        if "$@"; then
            passed+=("$name")
            echo "==== $name: ok ($((SECONDS - start)) s)"
        else
            failed+=("$name")
            echo "==== $name: FAILED ($((SECONDS - start)) s)"
        fi
    }
    build_linux() {
        [ -f "$linux_build/CMakeCache.txt" ] ||
            cmake --preset default -B "$linux_build" -S "$root" >/dev/null || return 1
        cmake --build "$linux_build" -j"$jobs" --target scales-emulator rls_addin
    }
    configure() { # PRESET
        cmake --preset "$1" -S "$root" \
            -DRLS_LINUX_EMULATOR="$linux_build/tools/scales-emulator/scales-emulator" >/dev/null
    }
    build_win64() { configure win64 && cmake --build "$win64" -j"$jobs"; }
    # Only what the 32-bit runs use: the portable suites run under 64-bit
    # Wine, and the layout asserts compile in here anyway.
    build_win32() {
        configure win32 &&
            cmake --build "$win32" -j"$jobs" --target rls_addin msvc_abi_host wine_addin_e2e
    }
    check_binaries() {
        "$here/check-dll.sh" "$win32/addin/NativeAPITaviZavRLS1000Win32.dll" \
            "$win64/addin/NativeAPITaviZavRLS1000Win64.dll" &&
            "$here/check-dll.sh" --program "$win64/tools/scales-emulator/scales-emulator.exe" \
                "$win64/tools/addin-host/addin-host.exe"
    }
    # A machine-wide handler left by a killed fallback run would slow the
    # 64-bit prefix's creation to minutes.
    prepare_wine64() {
        if binfmt_registered; then
            echo "wine.sh: removing a stale machine-wide i386 handler"
            binfmt_unregister
        fi
        start_server
    }
    # 32-bit programs start under qemu (a minute or two each), so the 32-bit
    # runs are the MSVC-ABI host and one end-to-end smoke test.  The first
    # run also makes build/win32/wineprefix (a few minutes, once).
    run_wine32() {
        "$0" i386 ctest --test-dir "$win32" --output-on-failure -j1 \
            -R '^(msvc_abi_host|wine_addin_e2e)$'
    }
    make_packages() {
        "$root/packaging/make-zip.sh" "$win32/addin/NativeAPITaviZavRLS1000Win32.dll" \
            "$win64/addin/NativeAPITaviZavRLS1000Win64.dll" \
            "$linux_build/addin/NativeAPITaviZavRLS1000Lin64.so" \
            "$package_dir/NativeAPITaviZavRLS1000.zip" &&
            "$root/packaging/make-tools-zip.sh" "$win64/tools/scales-emulator/scales-emulator.exe" \
                "$win64/tools/addin-host/addin-host.exe" \
                "$win64/addin/NativeAPITaviZavRLS1000Win64.dll" \
                "$package_dir/NativeAPITaviZavRLS1000-tools.zip"
    }
    run_wine64() { ctest --test-dir "$win64" --output-on-failure -j"$jobs"; }

    step "install missing packages" ensure_windows_packages
    step "Linux emulator and .so" build_linux
    step "build win64" build_win64
    step "build win32" build_win32
    step "imports and exports" check_binaries
    step "64-bit Wine prefix" prepare_wine64
    step "32-bit runs under Wine and qemu" run_wine32
    step "packages" make_packages
    # Last, so that CTest's summary closes the output.
    step "64-bit tests under Wine" run_wine64

    local elapsed=$((SECONDS - started))
    local took="$((elapsed / 60))m$((elapsed % 60))s"
    if [ ${#failed[@]} -eq 0 ]; then
        echo "windows test: OK, ${#passed[@]} steps passed in $took; packages in $package_dir"
        return 0
    fi
    echo "windows test: FAILED: $(IFS=,; echo "${failed[*]}") (${#passed[@]} passed) in $took"
    return 1
}

command=${1:-}
[ $# -gt 0 ] && shift
case "$command" in
test) cmd_test "$@" ;;
setup) ensure_windows_packages ;;
prefix) cmd_prefix "$@" ;;
server) cmd_server "$@" ;;
run) cmd_run "$@" ;;
i386) cmd_i386 "$@" ;;
binfmt) cmd_binfmt "$@" ;;
*) usage ;;
esac
