#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds with ThreadSanitizer into build-tsan/ (or $TSAN_BUILD_DIR),
# and runs there the tests that drive threads: the store's save queue and read-ahead through
# tst_filestore and tst_batchrun, and whole runs through the window (tst_cmdprocess) and the
# command line (tst_commandline). The fault battery stays out: its 1 GiB and 100,000-file
# cases take too long under ThreadSanitizer, and the ASan build covers its paths.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
build_dir=${TSAN_BUILD_DIR:-build-tsan}
tests=(tst_filestore tst_batchrun tst_cmdprocess tst_commandline)
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Debug -DQUILLMARK_ENABLE_TSAN=ON \
  -DQUILLMARK_WARNINGS_AS_ERRORS=ON -DQUILLMARK_BUILD_BENCH=OFF "$@"
cmake --build "$build_dir" -j"${JOBS:-2}" --target "${tests[@]}"

# A report fails the test that caused it. Our threads meet through std::mutex,
# std::condition_variable and std::atomic, which ThreadSanitizer sees; Qt's threads do not, and
# scripts/tsan.supp says why what Qt calls itself is ignored. QtTest's stack dump on a crash
# forks, which deadlocks inside ThreadSanitizer, so it is off.
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:abort_on_error=1:second_deadlock_stack=1:suppressions=$PWD/scripts/tsan.supp}
export QTEST_DISABLE_STACK_DUMP=1
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build_dir" --output-on-failure -j"${JOBS:-2}" \
  -R "^($(IFS='|'; echo "${tests[*]}"))\$"
