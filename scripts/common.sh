# shellcheck shell=bash
# Shared shell helpers for the set-up and test scripts (sourced, not run).
# Every package the scripts need is installed through ensure_packages here.

BASE_PACKAGES=(cmake ninja-build g++ libgtest-dev)

# The Windows builds and their Wine tests: the mingw-w64 -posix cross
# compilers (the plain ones lack std::thread), clang for the MSVC-ABI host,
# GoogleTest's source for the cross builds, Wine for x86-64 and x86 (wine32
# comes from the i386 architecture), qemu-user-static for 32-bit programs
# (the kernel here runs none itself), zip for the packages, file for
# check-dll.sh.
WINDOWS_PACKAGES=(
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
    clang cmake ninja-build googletest
    wine wine64 wine32:i386 qemu-user-static
    zip unzip file
)

package_installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

# Others on the machine may hold the dpkg or apt lists lock for a while.
apt_retry() {
    local attempt
    for attempt in $(seq 30); do
        if DEBIAN_FRONTEND=noninteractive "$@"; then
            return 0
        fi
        echo "== '$*' failed (attempt $attempt); retrying in 10 s" >&2
        sleep 10
    done
    return 1
}

# ensure_packages PKG...: installs the Debian packages that are missing;
# apt-get update runs only when something has to be installed.
ensure_packages() {
    local missing=()
    local p
    for p in "$@"; do
        package_installed "$p" || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "== installing: ${missing[*]}"
        apt_retry apt-get update -q >/dev/null &&
            apt_retry apt-get -o DPkg::Lock::Timeout=300 install -y -q \
                --no-install-recommends "${missing[@]}" >/dev/null
    fi
}

ensure_windows_packages() {
    if ! package_installed wine32:i386 &&
        ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
    fi
    ensure_packages "${WINDOWS_PACKAGES[@]}"
}

# start_emulator PORT_FILE OUTPUT COMMAND...: starts a scales emulator in the
# background and waits until it listens.  COMMAND must write the UDP port to
# PORT_FILE (--port-file; the emulator writes it last, once every link is
# up); its output goes to OUTPUT.  Sets EMULATOR_PID and EMULATOR_PORT.
# Fails, showing the emulator's output, when it exits first or writes no port
# within EMULATOR_START_SECONDS: 60 by default, since an emulator under Wine
# may first have to create its prefix on a busy machine.
start_emulator() {
    local port_file=$1 output=$2
    shift 2
    rm -f "$port_file"
    "$@" >"$output" 2>&1 &
    EMULATOR_PID=$!
    local deadline=$((SECONDS + ${EMULATOR_START_SECONDS:-60}))
    until [ -s "$port_file" ]; do
        if ! kill -0 "$EMULATOR_PID" 2>/dev/null || [ "$SECONDS" -ge "$deadline" ]; then
            echo "the scales emulator did not start listening ($*):" >&2
            cat "$output" >&2
            stop_emulator TERM
            return 1
        fi
        sleep 0.1
    done
    EMULATOR_PORT=$(tr -dc 0-9 <"$port_file")
}

# stop_emulator [SIGNAL]: INT by default, which the emulator takes as Ctrl+C:
# it writes its state and exits.  Waits for it; returns its exit status.
stop_emulator() {
    local status=0
    [ -n "${EMULATOR_PID:-}" ] || return 0
    kill -"${1:-INT}" "$EMULATOR_PID" 2>/dev/null
    wait "$EMULATOR_PID" 2>/dev/null || status=$?
    EMULATOR_PID=
    return $status
}
