#!/usr/bin/env bash
# Keeps every macOS source compiling where no macOS is at hand: a syntax check
# with clang's Objective-C++ against GNUstep's Foundation headers and, for
# Security, ServiceManagement and AppKit, the test-only declarations in
# tests/macos-declarations. Nothing is linked. GCC's Objective-C++ cannot
# parse @autoreleasepool, so clang (Apple's compiler too) does the check.
# Then every source must refuse an ARC build.
set -euo pipefail
cd "$(dirname "$0")/.."

sources=(
  Utilities/Bundle_mac.mm
  Utilities/Paths_mac.mm
  wizard/job/JobPlatform_mac.mm
  wizard/running/TallowmereRunning_mac.mm
)

compiler=${OBJCXX:-clang++}
headers=$(gnustep-config --variable=GNUSTEP_SYSTEM_HEADERS 2>/dev/null || echo /usr/include/GNUstep)
if [ ! -f "$headers/Foundation/Foundation.h" ]; then
  echo "check-objc: GNUstep Foundation headers not found in $headers (install libgnustep-base-dev)" >&2
  exit 1
fi
# GNUstep's Foundation is built on GCC's Objective-C runtime, whose headers
# live in GCC's own include folder.
runtime_headers=$(g++ -print-file-name=include)
if [ ! -f "$runtime_headers/objc/objc.h" ]; then
  echo "check-objc: Objective-C runtime headers not found in $runtime_headers (install gobjc++)" >&2
  exit 1
fi

flags=(
  -x objective-c++ -std=c++17 -fsyntax-only
  -Wall -Wextra -Werror
  -DGNUSTEP -DGNUSTEP_BASE_LIBRARY=1 -DGNU_RUNTIME=1
  -fobjc-exceptions
  -isystem tests/macos-declarations
  -isystem "$headers"
  -idirafter "$runtime_headers"
  # Objective-C++ cannot parse a parameter named "id", which Boost.System's
  # bridge to std::error_code has; the bridge is left out of this check only.
  -DBOOST_NO_CXX11_HDR_SYSTEM_ERROR
  -IUtilities -Iwizard/job -Iwizard/running
)

for source in "${sources[@]}"; do
  echo "check-objc: $source"
  "$compiler" "${flags[@]}" -fobjc-runtime=gcc "$source"
done

# ARC needs a modern runtime; the check only asks for the guard's message.
for source in "${sources[@]}"; do
  output=$("$compiler" "${flags[@]}" -fobjc-runtime=gnustep-2.0 -fobjc-arc "$source" 2>&1 || true)
  if grep -q "use manual reference counting" <<<"$output"; then
    echo "check-objc: $source refuses ARC"
  else
    echo "check-objc: $source compiles under ARC without the guard's error" >&2
    exit 1
  fi
done
echo "check-objc: ok"
