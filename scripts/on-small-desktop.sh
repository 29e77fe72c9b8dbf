#!/usr/bin/env bash
# Runs a script on a virtual desktop as small as a common laptop's: Xvfb at
# 1366 x 768, 96 dpi, with openbox as the window manager. The program the
# script drives is built first (target given), unless TW_PROGRAM names one.
# The script gets TW_PROGRAM, TW_WM_PID (openbox) and a private
# XDG_RUNTIME_DIR.
#
#   scripts/on-small-desktop.sh <build target> <script> [argument...]
#   TW_BUILD_DIR=dir ...   another build folder than ./build
set -euo pipefail
cd "$(dirname "$0")/.."
target=$1
shift

if [ -z "${TW_ON_SMALL_DESKTOP:-}" ]; then
  if [ -z "${TW_PROGRAM:-}" ]; then
    build=${TW_BUILD_DIR:-build}
    scripts/install-deps.sh
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo > "$build.configure.log" || { cat "$build.configure.log"; exit 1; }
    cmake --build "$build" -j2 --target "$target" > "$build.build.log" || { cat "$build.build.log"; exit 1; }
    TW_PROGRAM="$(pwd)/$build/tests/wizard/$target"
    export TW_PROGRAM
  fi
  exec xvfb-run -a -s "-screen 0 1366x768x24 -dpi 96" env TW_ON_SMALL_DESKTOP=1 "$0" "$target" "$@"
fi

XDG_RUNTIME_DIR=$(mktemp -d)
chmod 700 "$XDG_RUNTIME_DIR"
export XDG_RUNTIME_DIR
HOME=$XDG_RUNTIME_DIR openbox --sm-disable > "$XDG_RUNTIME_DIR/openbox.log" 2>&1 &
TW_WM_PID=$!
export TW_WM_PID
trap 'kill -CONT "$TW_WM_PID" 2>/dev/null; kill "$TW_WM_PID" 2>/dev/null; rm -rf "$XDG_RUNTIME_DIR"' EXIT
for ((i = 0; i < 100; i++)); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
  sleep 0.05
done
status=0
"$@" || status=$?
exit $status
