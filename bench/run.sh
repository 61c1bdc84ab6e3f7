#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what the benchmark needs (sed, sd, ripgrep, Xvfb and the build), builds Quillmark
# optimised, and runs the benchmark. Arguments go to quillmark_bench (--runs N, --rows A,B,C,
# --work DIR, --program PROGRAM, --files N, --contestants LIST; --help lists them).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
missing=()
for p in sd ripgrep sed coreutils findutils; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
build_dir=${BUILD_DIR:-build-bench}
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
cmake --build "$build_dir" -j"${JOBS:-2}" --target quillmark_bench quillmark_window_bench quillmark \
  quillmark_floor
exec "$build_dir/bench/quillmark_bench" "$@"
