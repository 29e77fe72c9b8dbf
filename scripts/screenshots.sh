#!/usr/bin/env bash
# Renders every page of the wizard into docs/screenshots/ under a virtual X
# display at 96 dpi, as a Linux desktop shows it (Qt's offscreen platform has
# no desktop fonts): the real window and pages, driven by mouse clicks, with a
# stand-in for the removal job so that nothing is removed.
#
#   scripts/screenshots.sh            build in ./build
#   TW_BUILD_DIR=dir scripts/screenshots.sh
set -euo pipefail
cd "$(dirname "$0")/.."
build=${TW_BUILD_DIR:-build}
scripts/install-deps.sh
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo > "$build.configure.log" || { cat "$build.configure.log"; exit 1; }
cmake --build "$build" -j2 --target wizard_screenshots
mkdir -p docs/screenshots
runtime=$(mktemp -d)
trap 'rm -rf "$runtime"' EXIT
chmod 700 "$runtime"
xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" \
  env QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$runtime" "$build/tests/wizard/wizard_screenshots" docs/screenshots
ls docs/screenshots/*.png
