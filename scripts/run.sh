#!/usr/bin/env bash
# Installs what is missing, builds, and opens the Quillmark window on the folder this command
# was started in.
set -euo pipefail
start_dir=$PWD
cd "$(dirname "$0")/.."
./scripts/build.sh
program="$PWD/${BUILD_DIR:-build}/src/ui/quillmark"
cd "$start_dir"
exec "$program"
