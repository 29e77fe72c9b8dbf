#!/usr/bin/env bash
# Builds everything with warnings as errors and the removal engine's rule
# checks on, and runs the whole test suite, then again built with AddressSanitizer and UndefinedBehaviorSanitizer, and
# the removal tool's tests once more with ThreadSanitizer; then compiles every
# source of the Apple build for macOS against Darwin's headers and links the
# programs that need no Qt for both Mac architectures, checks the
# Objective-C++ sources, the Mac package's library step, the bundle layout of
# multi-configuration builds and that every source keeps the checked-in
# .clang-format.
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

# The removal engine is the one part with threads: its tests alone, built
# with ThreadSanitizer (and the engine's rule checks, as in the other
# sanitizer build).
run_thread_sanitizer() {
  local dir=build-tsan
  echo "== Building in $dir (ThreadSanitizer, removal tests only)"
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTW_WERROR=ON -DTW_SANITIZE_THREADS=ON \
    -DTW_BUILD_WIZARD=OFF > "$dir.configure.log" || { cat "$dir.configure.log"; exit 1; }
  cmake --build "$dir" -j2 --target remover_tests main
  echo "== Testing in $dir"
  TSAN_OPTIONS=halt_on_error=1:abort_on_error=0 "$dir/tests/remover/remover_tests" --gtest_brief=1
}

mkdir -p build build-sanitize build-tsan
# The engine's checks cost no measurable time (docs/removal-engine.md).
run_suite build -DTW_ENGINE_CHECKS=ON
run_suite build-sanitize -DTW_SANITIZE=ON
run_thread_sanitizer
scripts/check-apple-syntax.sh
scripts/check-objc.sh
scripts/check-bundle-libraries.sh
scripts/check-bundle-layout.sh
scripts/check-format.sh
