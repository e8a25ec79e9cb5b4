#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what building, testing and running Kestrix needs on Debian 12, and only what is missing.
set -euo pipefail

packages=(
    g++ cmake ninja-build make git clang-format g++-aarch64-linux-gnu
    clang libclang-rt-14-dev
    libgtest-dev libgmock-dev libbenchmark-dev libsndfile1-dev
    libfftw3-dev pkg-config  # the analyses of recordings transform with FFTW's real-input plans
    qt6-base-dev qt6-svg-dev qt6-charts-dev libqt6opengl6-dev libgl-dev qt6-translations-l10n
    fonts-noto-cjk locales
    python3-numpy python3-scipy  # the reference checks against numpy and scipy
    g++-mingw-w64-x86-64-posix wine64 googletest  # the Windows build and its tests under Wine
    dpkg-dev file lintian  # the Debian package: its dependencies found, then checked
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1; then
        sudo "$@"
    else
        echo "install-deps: need root or sudo to run: $*" >&2
        exit 1
    fi
}

if [ "${#missing[@]}" -gt 0 ]; then
    echo "install-deps: installing ${missing[*]}"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# A locale with a decimal comma, so the tests can prove that no number text depends on the locale.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
    if [ -w /etc/locale.gen ] || [ "$(id -u)" -ne 0 ]; then
        as_root sed -i 's/^# *\(de_DE.UTF-8 UTF-8\)/\1/' /etc/locale.gen || true
        as_root locale-gen >/dev/null || echo "install-deps: could not generate de_DE.UTF-8 (the locale test will be skipped)" >&2
    fi
fi
