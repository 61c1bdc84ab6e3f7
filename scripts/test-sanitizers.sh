#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds with AddressSanitizer and UndefinedBehaviorSanitizer into
# build-asan/ (or $ASAN_BUILD_DIR), and runs every test there through CTest. It is a Debug
# build, so that every Q_ASSERT is checked, and warnings are errors.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
build_dir=${ASAN_BUILD_DIR:-build-asan}
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Debug -DQUILLMARK_ENABLE_ASAN=ON \
  -DQUILLMARK_WARNINGS_AS_ERRORS=ON "$@"
cmake --build "$build_dir" -j"${JOBS:-2}"

# Any report fails the test that caused it. Qt itself is not instrumented; no leak inside it
# has been reported so far, so there is no suppression file.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build_dir" --output-on-failure -j"${JOBS:-2}"
