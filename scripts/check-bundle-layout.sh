#!/usr/bin/env bash
# Checks that a multi-configuration generator lays the bundle out as the
# single-configuration build does: both programs directly in
# TallowmereUninstallWizard.app/Contents/MacOS/ for every configuration, never
# in a folder per configuration. Uses Ninja Multi-Config, which places its
# outputs as Xcode does; the tool is built for real, the wizard only looked up
# in the build graph to keep the check quick.
set -euo pipefail
cd "$(dirname "$0")/.."

dir=${1:-build-multi-config}
bundle=TallowmereUninstallWizard.app
cmake -S . -B "$dir" -G "Ninja Multi-Config" -DCMAKE_CONFIGURATION_TYPES="Debug;Release" \
  -DTW_BUILD_TESTS=OFF -DTW_WERROR=ON > "$dir.configure.log" || {
  cat "$dir.configure.log"; exit 1; }

for config in Debug Release; do
  for program in TallowmereUninstallWizard main; do
    # The phony target of a program names the file it builds as its input.
    built=$(ninja -C "$dir" -f "build-$config.ninja" -t query "$program" | awk '/input:/ { getline; print $1; exit }')
    if [ "$built" != "$bundle/Contents/MacOS/$program" ]; then
      echo "check-bundle-layout: $config builds $program as '$built', not $bundle/Contents/MacOS/$program" >&2
      exit 1
    fi
  done
done

cmake --build "$dir" --config Release --target main -j2 > "$dir/check-build.log" || { cat "$dir/check-build.log"; exit 1; }
test -x "$dir/$bundle/Contents/MacOS/main" || {
  echo "check-bundle-layout: the tool is missing from $dir/$bundle/Contents/MacOS/" >&2; exit 1; }

target=$(sed -n 's/^CMAKE_OSX_DEPLOYMENT_TARGET:STRING=//p' "$dir/CMakeCache.txt")
grep -A1 "<key>LSMinimumSystemVersion</key>" "$dir/$bundle/Contents/Info.plist" | grep -q "<string>$target</string>" || {
  echo "check-bundle-layout: Info.plist does not name the deployment target $target" >&2; exit 1; }
echo "check-bundle-layout: ok (macOS $target)"
