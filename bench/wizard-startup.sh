#!/usr/bin/env bash
# Time from starting the wizard to its first page painted (median of repeated
# runs, offscreen) and the wizard's peak memory.
#
#   bench/wizard-startup.sh [runs]        (build folder: $TW_BUILD_DIR or ./build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${TW_BUILD_DIR:-build}
runs=${1:-21}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo > "$build.configure.log" || { cat "$build.configure.log"; exit 1; }
cmake --build "$build" -j2 --target wizard_startup_bench > /dev/null
runtime=$(mktemp -d)
trap 'rm -rf "$runtime"' EXIT
chmod 700 "$runtime"
echo "build: $(grep -m1 CMAKE_BUILD_TYPE: "$build/CMakeCache.txt" | cut -d= -f2), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$runtime "$build/bench/wizard_startup_bench" "$runs"
