#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, and only those that are missing.
# Usage: install-deps.sh [extra package ...]
# libfuse3-dev builds the bench's slow place, which root mounts without fusermount3; the fuse3
# package is left out on purpose, as on Debian 12 it replaces fuse, the one the tests' FUSE drivers
# (exfat-fuse, fusefat) come with.
set -euo pipefail
packages=(g++ make cmake ninja-build pkg-config qt6-base-dev libgl-dev libicu-dev libgtest-dev libgmock-dev
          xvfb xauth xdotool desktop-file-utils appstream e2fsprogs util-linux fonts-liberation2
          qt6-translations-l10n libblkid-dev exfat-fuse exfatprogs fusefat dosfstools xdg-utils
          libfuse3-dev "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
