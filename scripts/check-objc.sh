#!/usr/bin/env bash
# Keeps the Foundation-only macOS sources compiling where no macOS is at hand:
# a syntax check with the GNU Objective-C++ compiler against GNUstep's
# Foundation headers. Nothing is linked against GNUstep.
set -euo pipefail
cd "$(dirname "$0")/.."

sources=(Utilities/Bundle_mac.mm Utilities/Paths_mac.mm)

compiler=${OBJCXX:-g++}
headers=$(gnustep-config --variable=GNUSTEP_SYSTEM_HEADERS 2>/dev/null || echo /usr/include/GNUstep)
if [ ! -f "$headers/Foundation/Foundation.h" ]; then
  echo "check-objc: GNUstep Foundation headers not found in $headers (install libgnustep-base-dev)" >&2
  exit 1
fi

flags=(
  -x objective-c++ -std=c++17 -fsyntax-only
  -Wall -Wextra -Werror
  -DGNUSTEP -DGNUSTEP_BASE_LIBRARY=1 -DGNU_RUNTIME=1
  -fobjc-exceptions -fconstant-string-class=NSConstantString
  -isystem "$headers"
  # GNU Objective-C++ cannot parse a parameter named "id", which Boost.System's
  # bridge to std::error_code has; the bridge is left out of this check only.
  -DBOOST_NO_CXX11_HDR_SYSTEM_ERROR
  -IUtilities
)

for source in "${sources[@]}"; do
  echo "check-objc: $source"
  "$compiler" "${flags[@]}" "$source"
done
echo "check-objc: ok"
