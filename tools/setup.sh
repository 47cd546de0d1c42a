#!/usr/bin/env bash
# Installs what building, running and testing need on Debian 12, only when
# missing, and generates the locales the end-to-end tests start the tool in.
# Runs as root, or through sudo for a user who may use it.
set -euo pipefail

packages=(
    cmake g++ make python3 googletest libgtest-dev libgmock-dev
    g++-mingw-w64-x86-64-posix mingw-w64-tools
    clang lld libclang-rt-14-dev llvm
    wine wine64 xvfb x11-utils xauth imagemagick procps
    fonts-ipafont-gothic fonts-wine locales tinyproxy curl osslsigncode openssl
)
wanted_locales=(en_US.UTF-8 ja_JP.UTF-8 de_DE.UTF-8)

# Runs a command as root: directly, or through sudo for anyone else.
as_root() {
    if ((EUID == 0)); then "$@"; else sudo "$@"; fi
}

require_root_or_sudo() {
    if ((EUID != 0)) && ! command -v sudo >/dev/null; then
        echo "tools/setup.sh needs root to $1: run it as root, or install sudo and allow your user to use it." >&2
        exit 1
    fi
}

# apt's machine-readable status, shown as one line per tenth of each phase.
show_apt_progress() {
    local last=""
    while IFS=: read -r kind _ percent _; do
        [[ "$kind" == dlstatus ]] && phase="downloading" || phase="installing"
        local step="$phase $((${percent%.*} / 10 * 10))%"
        if [[ "$step" != "$last" ]]; then
            echo "  $step"
            last=$step
        fi
    done
}

install_missing_packages() {
    local missing=() p
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    ((${#missing[@]})) || return 0
    require_root_or_sudo "install ${missing[*]}"
    echo "Installing ${#missing[@]} Debian packages (the first time takes a couple of minutes): ${missing[*]}"
    local log
    log=$(mktemp)
    as_root apt-get update -q >"$log" 2>&1 || { cat "$log" >&2; exit 1; }
    if ! as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
        -o APT::Status-Fd=3 "${missing[@]}" 3>&1 >>"$log" 2>&1 | show_apt_progress; then
        tail -30 "$log" >&2
        echo "apt-get install failed; the whole log is in $log" >&2
        exit 1
    fi
    rm -f "$log"
    echo "Packages installed."
}

# wine needs the locale generated to run a process in it.
generate_locales() {
    local l missing=()
    for l in "${wanted_locales[@]}"; do
        locale -a 2>/dev/null | grep -qi "^${l%.UTF-8}.utf8$" || missing+=("$l")
    done
    ((${#missing[@]})) || return 0
    require_root_or_sudo "generate the locales ${missing[*]}"
    echo "Generating the locales ${missing[*]}"
    for l in "${missing[@]}"; do
        as_root sed -i "s/^# *\(${l} UTF-8\)/\1/" /etc/locale.gen
        grep -q "^${l} UTF-8" /etc/locale.gen || echo "${l} UTF-8" | as_root tee -a /etc/locale.gen >/dev/null
    done
    as_root locale-gen >/dev/null
}

# The https tests name their server "localhost"; a bare Debian root (a
# container, debootstrap) may have no /etc/hosts to resolve it.
resolve_localhost() {
    getent hosts localhost >/dev/null && return 0
    require_root_or_sudo "make localhost resolve in /etc/hosts"
    echo "Adding localhost to /etc/hosts"
    printf '127.0.0.1\tlocalhost\n::1\tlocalhost ip6-localhost ip6-loopback\n' | as_root tee -a /etc/hosts >/dev/null
}

install_missing_packages
generate_locales
resolve_localhost
