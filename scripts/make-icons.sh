#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders the packaged PNG icons, 16 to 256 px, from the scalable icon data/quillmark.svg
# (rsvg-convert, librsvg2-bin). The results are committed; run this again only after changing
# the SVG. The window's own icon is the 16 x 16 design, data/quillmark.xpm.
set -euo pipefail
cd "$(dirname "$0")/.."
id=io.github.quillmark.Quillmark
out=data/icons
mkdir -p "$out"
for size in 16 22 24 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" -o "$out/$id-$size.png" data/quillmark.svg
done
