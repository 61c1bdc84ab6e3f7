#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package (scripts/package.sh), validates its menu entry and AppStream
# metadata, runs lintian on it (errors and hardening tags fail, warnings and information are
# printed), installs it with apt, and runs the installed program: --version, and a find over
# a small folder without a display, then its window on the offscreen platform. Needs root or
# sudo.
set -euo pipefail
cd "$(dirname "$0")/.."
deb=$(./scripts/package.sh | tail -n 1)
echo "Package: $deb"

unpacked=$(mktemp -d /tmp/quillmark-package-XXXXXX)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
desktop-file-validate "$unpacked"/usr/share/applications/io.github.quillmark.Quillmark.desktop
appstreamcli validate --no-net \
  "$unpacked"/usr/share/metainfo/io.github.quillmark.Quillmark.metainfo.xml
# Lintian refuses to run as root without --allow-root. Its hardening tags are information.
report=$(lintian --allow-root --fail-on error --display-info "$deb") || {
  printf '%s\n' "$report"
  exit 1
}
printf '%s\n' "$report"
if grep -q hardening- <<<"$report"; then
  echo "lintian: the program was built without a hardening flag" >&2
  exit 1
fi

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --reinstall "$deb"
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM /usr/bin/quillmark --version

folder="$unpacked/folder"
mkdir "$folder"
printf 'a needle\n' >"$folder/a.txt"
printf 'nothing\n' >"$folder/b.txt"
printf 'needle too\n' >"$folder/c.htm"
found=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
  /usr/bin/quillmark --find needle "$folder")
if [ "$found" != $'a.txt\nc.htm' ]; then
  echo "The installed program found: $found" >&2
  exit 1
fi
# The window is another program that quillmark becomes; on the offscreen platform it stays up
# until timeout ends it (124), where a missing window program would exit at once.
status=0
QT_QPA_PLATFORM=offscreen timeout 5 /usr/bin/quillmark "$folder" || status=$?
if [ "$status" -ne 124 ]; then
  echo "The installed window did not stay up: exit status $status" >&2
  exit 1
fi
echo "The installed program runs; its find over a small folder printed the two files, and its"
echo "window starts."
