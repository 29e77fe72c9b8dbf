#!/usr/bin/env bash
# Builds the bundle in release mode and packs it as a Debian package with its
# polkit action and desktop entry: build-package/tallowmere-uninstall-wizard_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build-package -DCMAKE_BUILD_TYPE=Release -DTW_BUILD_TESTS=OFF > build-package.configure.log || {
  cat build-package.configure.log; exit 1; }
cmake --build build-package -j2
(cd build-package && cpack -G DEB)
