#!/usr/bin/env bash
# Renders every page of the wizard under a virtual X display of 1366 x 768 at
# 96 dpi with openbox, as a Linux desktop shows it (Qt's offscreen platform has
# no desktop fonts): the real window and pages, driven by mouse clicks, with a
# stand-in for the removal job so that nothing is removed. Three scale factors:
# 1.0 into the folder itself (the pictures docs/wizard.md shows), 1.5 and 2.0
# into its scale-1.5/ and scale-2.0/. Fails where a window does not fit the
# screen or cuts a button or a text.
#
#   scripts/screenshots.sh [folder]     build in ./build; folder: docs/screenshots
#   TW_BUILD_DIR=dir scripts/screenshots.sh
#   TW_SCREENSHOTS_PROGRAM=program scripts/screenshots.sh folder   no build (the test suite's way)
set -euo pipefail
cd "$(dirname "$0")/.."
folder=${1:-docs/screenshots}

if [ -z "${TW_SCREENSHOTS_DISPLAY:-}" ]; then
  if [ -z "${TW_SCREENSHOTS_PROGRAM:-}" ]; then
    build=${TW_BUILD_DIR:-build}
    scripts/install-deps.sh
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo > "$build.configure.log" || { cat "$build.configure.log"; exit 1; }
    cmake --build "$build" -j2 --target wizard_screenshots > "$build.build.log" || { cat "$build.build.log"; exit 1; }
    export TW_SCREENSHOTS_PROGRAM="$(pwd)/$build/tests/wizard/wizard_screenshots"
  fi
  exec xvfb-run -a -s "-screen 0 1366x768x24 -dpi 96" env TW_SCREENSHOTS_DISPLAY=1 "$0" "$folder"
fi

runtime=$(mktemp -d)
chmod 700 "$runtime"
HOME=$runtime openbox --sm-disable > "$runtime/openbox.log" 2>&1 &
wm=$!
trap 'kill "$wm" 2>/dev/null; rm -rf "$runtime"' EXIT
for ((i = 0; i < 100; i++)); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
  sleep 0.05
done

status=0
for scale in 1.0 1.5 2.0; do
  into=$folder
  [ "$scale" = 1.0 ] || into=$folder/scale-$scale
  mkdir -p "$into"
  env QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=$scale XDG_RUNTIME_DIR="$runtime" "$TW_SCREENSHOTS_PROGRAM" "$into" || status=1
  echo "scale $scale: $(printf "%s " "$into"/*.png)"
done
exit $status
