#!/usr/bin/env bash
# Installs what building and testing need on Debian 12, only when missing,
# and generates the locales the end-to-end tests start the tool in.
set -euo pipefail

packages=(
    cmake g++ make python3 googletest libgtest-dev
    g++-mingw-w64-x86-64-posix mingw-w64-tools
    wine wine64 xvfb x11-utils xauth imagemagick
    fonts-ipafont-gothic fonts-wine locales tinyproxy curl
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# wine needs the locale generated to run a process in it.
wanted_locales=(en_US.UTF-8 ja_JP.UTF-8 de_DE.UTF-8)
need_gen=0
for l in "${wanted_locales[@]}"; do
    if ! locale -a 2>/dev/null | grep -qi "^${l%.UTF-8}.utf8$"; then
        sed -i "s/^# *\(${l} UTF-8\)/\1/" /etc/locale.gen
        grep -q "^${l} UTF-8" /etc/locale.gen || echo "${l} UTF-8" >> /etc/locale.gen
        need_gen=1
    fi
done
if ((need_gen)); then
    locale-gen >/dev/null
fi
