#!/usr/bin/env bash
# Makes the packaged icons from the 16 x 16 design in data/quillmark.xpm: a scalable SVG with
# one square per pixel, and PNGs from 16 to 256 px drawn from it (rsvg-convert, librsvg2-bin).
# The results are committed; run this again only after changing the design.
set -euo pipefail
cd "$(dirname "$0")/.."
id=io.github.quillmark.Quillmark
out=data/icons
mkdir -p "$out"
python3 - data/quillmark.xpm "$out/$id.svg" <<'PY'
import re, sys
rows = re.findall(r'"([^"]*)"', open(sys.argv[1]).read())
width, height, count = (int(v) for v in rows[0].split()[:3])
colours = {row[0]: row.split()[-1] for row in rows[1:1 + count]}
lines = ['<?xml version="1.0" encoding="UTF-8"?>',
         '<!-- Quillmark: a quill writing on a page. The 16 x 16 design, one square per pixel. -->',
         f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{height}" '
         f'viewBox="0 0 {width} {height}" shape-rendering="crispEdges">']
for y, row in enumerate(rows[1 + count:1 + count + height]):
    x = 0
    while x < width:
        end = x
        while end < width and row[end] == row[x]:
            end += 1
        if colours[row[x]] != 'None':
            lines.append(f'  <rect x="{x}" y="{y}" width="{end - x}" height="1" '
                         f'fill="{colours[row[x]]}"/>')
        x = end
lines.append('</svg>')
open(sys.argv[2], 'w').write('\n'.join(lines) + '\n')
PY
for size in 16 22 24 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" -o "$out/$id-$size.png" "$out/$id.svg"
done
