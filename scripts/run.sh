#!/usr/bin/env bash
# Installs what is missing, builds, and opens the Quillmark window.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/build.sh
exec "${BUILD_DIR:-build}/src/ui/quillmark"
