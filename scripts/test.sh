#!/usr/bin/env bash
# Builds everything with warnings as errors and runs the whole test suite,
# then again built with AddressSanitizer and UndefinedBehaviorSanitizer; then
# compiles every source of the Apple build for macOS, checks the
# Objective-C++ sources, the bundle layout of multi-configuration builds
# and that every source keeps the checked-in .clang-format.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

run_suite() {
  local dir=$1; shift
  echo "== Building in $dir $*"
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTW_WERROR=ON "$@" > "$dir.configure.log" || {
    cat "$dir.configure.log"; exit 1; }
  cmake --build "$dir" -j2
  echo "== Testing in $dir"
  (cd "$dir" && ctest --output-on-failure -j2 --timeout 300)
}

mkdir -p build build-sanitize
run_suite build
run_suite build-sanitize -DTW_SANITIZE=ON
scripts/check-apple-syntax.sh
scripts/check-objc.sh
scripts/check-bundle-layout.sh
scripts/check-format.sh
