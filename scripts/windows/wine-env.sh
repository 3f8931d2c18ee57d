# Sourced by the Windows scripts: the Wine environment for console programs.
#   rls_wine_env BITS PREFIX   exports WINEPREFIX/WINEARCH/WINEDEBUG, sets RLS_WINE
# BITS: 64, 32 (a 32-bit prefix) or wow64 (32-bit programs in a 64-bit prefix).
# No display is used: the test programs are console programs, and an unset
# DISPLAY keeps Wine from trying to open windows (e.g. a crash dialog).

RLS_WINE_DIR=/usr/lib/wine
RLS_BINFMT_NAME=rls-qemu-i386
RLS_BINFMT_DIR=/proc/sys/fs/binfmt_misc

rls_wine_env() {
    local bits=$1 prefix=$2
    unset DISPLAY WAYLAND_DISPLAY
    export WINEDEBUG=-all
    export WINEPREFIX=$(realpath -m "$prefix")  # Wine takes only absolute paths
    export WINESERVER=$RLS_WINE_DIR/wineserver64
    # Gecko/Mono installers would open dialogs when the prefix is created.
    export WINEDLLOVERRIDES="mscoree,mshtml="
    if [ "$bits" = 32 ]; then
        export WINEARCH=win32
        RLS_WINE=$RLS_WINE_DIR/wine
    elif [ "$bits" = wow64 ]; then
        # 32-bit programs in a 64-bit prefix: Wine's own processes stay
        # 64-bit and only the program itself runs under the i386 loader.
        export WINEARCH=win64
        RLS_WINE=$RLS_WINE_DIR/wine64
    else
        export WINEARCH=win64
        RLS_WINE=$RLS_WINE_DIR/wine64
    fi
}

rls_binfmt_registered() {
    [ -e "$RLS_BINFMT_DIR/$RLS_BINFMT_NAME" ]
}

# Seconds a server started for single runs stays up after its last program.
RLS_WINE_IDLE_SECONDS=30

# Whether the prefix's server is up: its socket lives in a folder named after
# the prefix's device and inode numbers.
rls_wine_server_running() {
    local id
    id=$(stat -c '%d %i' "$WINEPREFIX" 2>/dev/null) || return 1
    # shellcheck disable=SC2086
    id=$(printf 'server-%x-%x' $id)
    compgen -G "/tmp/wine-*/$id/socket" >/dev/null || compgen -G "/tmp/.wine-$(id -u)/$id/socket" >/dev/null
}
