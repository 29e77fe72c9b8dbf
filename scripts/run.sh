#!/usr/bin/env bash
# Builds the bundle and starts the wizard from it. The wizard needs a display;
# without one it says so and how to run it under a virtual display.
#
#   scripts/run.sh                build in ./build, then start the wizard
#   TW_BUILD_DIR=dir scripts/run.sh   the same with another build folder
set -euo pipefail
cd "$(dirname "$0")/.."
build=${TW_BUILD_DIR:-build}
# Before building: without a display there is nothing to build for.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display to show the wizard on; run it under a virtual display instead: xvfb-run -a scripts/run.sh" >&2
  exit 1
fi
scripts/install-deps.sh
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo > "$build.configure.log" || { cat "$build.configure.log"; exit 1; }
cmake --build "$build" -j2 --target TallowmereUninstallWizard main
wizard="$(pwd)/$build/TallowmereUninstallWizard.app/Contents/MacOS/TallowmereUninstallWizard"
# Qt wants a private runtime folder and warns without one; the wizard also
# keeps its result file there.
if [ -z "${XDG_RUNTIME_DIR:-}" ] || [ ! -d "$XDG_RUNTIME_DIR" ] || [ ! -O "$XDG_RUNTIME_DIR" ] \
  || [ "$(stat -c %a "$XDG_RUNTIME_DIR")" != 700 ]; then
  XDG_RUNTIME_DIR=$(mktemp -d)
  chmod 700 "$XDG_RUNTIME_DIR"
  export XDG_RUNTIME_DIR
  trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
fi
echo "Starting $wizard. Careful: Remove really uninstalls Tallowmere 5.4.1 from this machine and your home folder."
"$wizard" "$@"
