#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds Quillmark optimised into build-package/ (or
# $PACKAGE_BUILD_DIR) for /usr, with Debian's hardening flags (dpkg-buildflags: fortify, stack
# protector, relro and bindnow) and without the tests or the benchmark, and makes the Debian
# package there with CPack. Prints the package's path last.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
build_dir=${PACKAGE_BUILD_DIR:-build-package}
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
flags() { dpkg-buildflags --get "$1"; }
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
  -DQUILLMARK_BUILD_BENCH=OFF -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_CXX_FLAGS="$(flags CPPFLAGS) $(flags CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(flags LDFLAGS)" >/dev/null
cmake --build "$build_dir" -j"${JOBS:-2}"
rm -f "$build_dir"/quillmark_*.deb
(cd "$build_dir" && cpack -G DEB >/dev/null)
ls "$PWD/$build_dir"/quillmark_*.deb
