#!/usr/bin/env bash
# Installs the Debian 12 packages the project builds and tests with; does nothing when
# they are all there already. Uses sudo when not run as root.
set -euo pipefail

packages=(
    build-essential cmake pkg-config
    libmagickwand-6.q16-dev libraw-dev libtiff-dev libgs-dev ghostscript
    libavformat-dev libavcodec-dev libavutil-dev libswscale-dev
    libfontconfig-dev fonts-liberation
    qt6-base-dev
    libgtest-dev libgmock-dev
    zlib1g-dev libjpeg62-turbo-dev libpng-dev
    xdg-utils desktop-file-utils man-db parallel imagemagick
)
# `install_deps.sh package`: also what checks the Debian package.
[[ "${1:-}" == package ]] && packages+=(lintian)

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo_cmd=()
[[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
echo "Installing: ${missing[*]}"
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}"
