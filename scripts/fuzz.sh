#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds the fuzz targets with clang into build-fuzz/ (or
# $FUZZ_BUILD_DIR), and fuzzes the replacer against its reference for SECONDS (default 60).
# Extra arguments go to libFuzzer, for example -runs=10000000 instead of a time limit.
#
#   scripts/fuzz.sh [SECONDS] [libFuzzer options...]
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
seconds=${1:-60}
shift || true
build_dir=${FUZZ_BUILD_DIR:-build-fuzz}
CXX=clang++ cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUILLMARK_BUILD_FUZZERS=ON -DBUILD_TESTING=OFF
cmake --build "$build_dir" -j"${JOBS:-2}" --target fuzz_replacer

corpus=$(mktemp -d /tmp/quillmark-fuzz-XXXXXX)
trap 'rm -rf "$corpus"' EXIT
# A finding is written beside the build as crash-*, and the run fails.
"$build_dir/fuzz/fuzz_replacer" -dict=fuzz/replacer.dict -max_len=512 \
  -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$build_dir/" \
  "$@" "$corpus"
