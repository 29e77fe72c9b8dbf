#!/usr/bin/env bash
# Builds the bundle and prints where it is.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo > build.configure.log || { cat build.configure.log; exit 1; }
cmake --build build -j2
echo "Bundle: $(pwd)/build/TallowmereUninstallWizard.app"
