#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages Quillmark needs to build, test, show its window, drive it
# (xdotool) as a user would, and package it.
# Safe to run again: it installs only what is missing.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libacl1-dev libattr1-dev attr acl
  # The save proves a file unchanged by a hash of its content.
  libxxhash-dev
  xvfb xauth imagemagick xdotool
  fonts-dejavu-core fonts-dejavu-extra fonts-wine
  # The command-line tests apply --dry-run's diff with patch.
  patch
  # The fault tests run the engine as an unprivileged user through setpriv.
  util-linux
  # The fault tests make ext4 images (mkfs.ext4, chattr) and mount a FUSE folder (bindfs).
  e2fsprogs bindfs fuse3
  # The format check (scripts/check-format.sh).
  clang-format
  # The fuzz targets: clang with libFuzzer and the sanitizer runtimes.
  clang libclang-rt-14-dev
  # The Debian package: its dependencies (dpkg-shlibdeps), its checks, and the icons.
  dpkg-dev file desktop-file-utils appstream lintian librsvg2-bin
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
