#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Takes the window's screenshot for the README and the AppStream metadata: installs what is
# missing, builds the program into build/ (or $BUILD_DIR), opens the window under Xvfb on a
# small folder of its own, types a find and a replacement as a user would (xdotool), and saves
# the window as data/screenshot.png (or the path given).
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-data/screenshot.png}
./scripts/install-deps.sh
build_dir=${BUILD_DIR:-build}
cmake -S . -B "$build_dir" >/dev/null
cmake --build "$build_dir" -j"${JOBS:-2}" --target quillmark

# A fixed path, so that the folder list looks the same each time.
work=/tmp/quillmark-screenshot
rm -rf "$work"
trap 'rm -rf "$work"' EXIT
folder=$work/website
mkdir -p "$folder"
printf '<p>The colour of the sea.</p>\n' >"$folder/index.html"
printf '<p>Colours and shapes.</p>\n' >"$folder/gallery.html"
printf 'Pick a colour for the banner.\n' >"$folder/notes.txt"
printf '<feed><title>News</title></feed>\n' >"$folder/feed.xml"
printf 'Colour: blue\n' >"$folder/readme.txt"

# Runs inside xvfb-run: the window, the two texts typed into their boxes, then the capture.
cat >"$work/take.sh" <<'TAKE'
#!/usr/bin/env bash
set -euo pipefail
"$1" "$2" &
window=$(xdotool search --sync --onlyvisible --class quillmark | tail -n 1)
xdotool mousemove --window "$window" 150 300 click 1 type --delay 20 colour
xdotool mousemove --window "$window" 410 300 click 1 type --delay 20 color
xdotool mousemove 0 0
sleep 1
import -window "$window" "$3"
kill %1
TAKE
chmod +x "$work/take.sh"
env -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" \
  "$work/take.sh" "$PWD/$build_dir/src/ui/quillmark" "$folder" "$PWD/$out"
echo "$out"
