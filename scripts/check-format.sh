#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when a C++ source or header of the tree differs from what the root .clang-format makes
# of it, and names the lines; `clang-format -i FILE` mends one.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
git ls-files -z -- '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror
echo "Formatting: every source as .clang-format has it."
