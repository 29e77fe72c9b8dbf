#!/usr/bin/env bash
# Builds and runs bench/frozen-input.cpp under a virtual X display: what keys
# and clicks given to the window while the run blocks it do afterwards. Needs
# xvfb-run and xdotool (apt-get install xvfb xauth xdotool). Removes nothing.
#
#   bench/frozen-input.sh [build-dir]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
for tool in xvfb-run xdotool; do
  command -v "$tool" >/dev/null || { echo "needs $tool: apt-get install xvfb xauth xdotool" >&2; exit 1; }
done
[ -f "$build/CMakeCache.txt" ] || cmake -S "$here/.." -B "$build" >/dev/null
cmake --build "$build" -j2 --target frozen_input_bench >/dev/null
runtime=$(mktemp -d)
trap 'rm -rf "$runtime"' EXIT
chmod 700 "$runtime"
xvfb-run -a -s "-screen 0 1280x1024x24" \
  env QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$runtime" "$build/bench/frozen_input_bench"
