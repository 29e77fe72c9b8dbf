#!/usr/bin/env bash
# Builds and runs bench/window-answers.cpp under a virtual X display, first
# with the wait that keeps the window alive, then with a plain sleep for
# comparison: does the window answer the desktop's ping and repaint itself
# while the run waits? Needs xvfb-run (apt-get install xvfb xauth). Removes
# nothing.
#
#   bench/window-answers.sh [build-dir]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
command -v xvfb-run >/dev/null || { echo "needs xvfb-run: apt-get install xvfb xauth" >&2; exit 1; }
[ -f "$build/CMakeCache.txt" ] || cmake -S "$here/.." -B "$build" >/dev/null
cmake --build "$build" -j2 --target window_answers_bench >/dev/null
runtime=$(mktemp -d)
trap 'rm -rf "$runtime"' EXIT
chmod 700 "$runtime"
for mode in "" --frozen; do
  xvfb-run -a -s "-screen 0 1280x1024x24" \
    env QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$runtime" "$build/bench/window_answers_bench" $mode
done
