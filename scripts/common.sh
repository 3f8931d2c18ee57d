# Shared shell helpers for the set-up scripts (sourced, not run).

# ensure_packages PKG...: installs the Debian packages that are missing.
ensure_packages() {
    local missing=()
    local p
    for p in "$@"; do
        dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "== installing: ${missing[*]}"
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -q >/dev/null
        apt-get -o DPkg::Lock::Timeout=300 install -y -q --no-install-recommends "${missing[@]}" >/dev/null
    fi
}

BASE_PACKAGES=(cmake ninja-build g++ libgtest-dev)
