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
#   TW_PROGRAM=wizard_screenshots scripts/screenshots.sh folder   no build (the test suite's way)
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -z "${TW_ON_SMALL_DESKTOP:-}" ]; then
  exec scripts/on-small-desktop.sh wizard_screenshots scripts/screenshots.sh "$@"
fi
folder=${1:-docs/screenshots}

status=0
for scale in 1.0 1.5 2.0; do
  into=$folder
  [ "$scale" = 1.0 ] || into=$folder/scale-$scale
  mkdir -p "$into"
  env QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=$scale "$TW_PROGRAM" "$into" || status=1
  echo "scale $scale: $(printf "%s " "$into"/*.png)"
done
exit $status
