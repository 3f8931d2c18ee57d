#!/bin/bash
# Installs what the Windows builds and Wine tests need, when it is missing:
# the mingw-w64 -posix cross compilers, clang (the MSVC-ABI host check),
# Wine for x86-64 and x86 (wine32 comes from the i386 architecture),
# qemu-user-static (32-bit programs), GoogleTest's source, zip.
# apt-get update runs only when something has to be installed.  Root only.
set -eu

packages=(
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
    clang cmake ninja-build googletest
    wine wine64 wine32:i386 qemu-user-static
    zip unzip file
)

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

# dpkg/apt hold a lock that others on the machine may have; wait for it.
apt_retry() {
    local attempt
    for attempt in $(seq 30); do
        if DEBIAN_FRONTEND=noninteractive "$@"; then
            return 0
        fi
        echo "setup: '$*' failed (attempt $attempt); retrying in 10 s" >&2
        sleep 10
    done
    return 1
}

missing=()
for package in "${packages[@]}"; do
    installed "$package" || missing+=("$package")
done
if [ ${#missing[@]} -eq 0 ]; then
    echo "setup: all Windows build and test packages present"
    exit 0
fi

echo "setup: installing ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi
apt_retry apt-get update -q
apt_retry apt-get install -y -q --no-install-recommends "${missing[@]}"
