#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds, and runs Quillmark from the folder this command was started
# in, with the arguments given: without any, the window opens on that folder.
set -euo pipefail
start_dir=$PWD
cd "$(dirname "$0")/.."
./scripts/build.sh
program="$PWD/${BUILD_DIR:-build}/src/ui/quillmark"
cd "$start_dir"
exec "$program" "$@"
