#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds with warnings as errors, and runs every test through CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/build.sh -DQUILLMARK_WARNINGS_AS_ERRORS=ON
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure -j"${JOBS:-2}"
