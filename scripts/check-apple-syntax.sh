#!/usr/bin/env bash
# Compiles every source that the Apple build compiles, for an Apple target,
# where no Mac is at hand: clang++ --target=x86_64-apple-macosx<deployment
# target> -fsyntax-only with warnings as errors, against LLVM's libc++ with the
# vendor availability annotations switched on as Apple builds it (so a part of
# the C++ library that the target system lacks is an error), Debian's C
# library, and, where Debian has no Darwin header, the test-only declarations
# in tests/macos-declarations (written from Apple's manual pages and
# reference). Objective-C++ goes against GNUstep's Foundation headers.
#
# What is compiled comes from the build description: a configure writes, per
# target, its Apple sources, include folders and definitions into
# <folder>/apple-sources (cmake/AppleSourceLists.cmake). The probe programs in
# scripts/macos-probes are compiled too.
#
# Usage: scripts/check-apple-syntax.sh [deployment-target]
#   (default: the build description's CMAKE_OSX_DEPLOYMENT_TARGET)
set -euo pipefail
cd "$(dirname "$0")/.."

lists_build=build-apple-lists
configure_args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [ $# -ge 1 ]; then
  configure_args+=("-DCMAKE_OSX_DEPLOYMENT_TARGET=$1")
else
  # Forget a target given to an earlier run: the build description's own.
  configure_args+=(-UCMAKE_OSX_DEPLOYMENT_TARGET)
fi
cmake -S . -B "$lists_build" "${configure_args[@]}" > "$lists_build.configure.log" 2>&1 || {
  cat "$lists_build.configure.log"; exit 1; }
target=$(sed -n 's/^CMAKE_OSX_DEPLOYMENT_TARGET:[A-Z]*=//p' "$lists_build/CMakeCache.txt")
# Only x86_64: Debian's C library headers here are those of x86_64, and the
# availability of the C++ library does not depend on the architecture.
triple="x86_64-apple-macosx$target"

compiler=${CXX_FOR_APPLE:-clang++}
libcxx=$(printf "%s\n" /usr/lib/llvm-*/include/c++/v1 | sort -V | tail -n 1)
if [ -z "$libcxx" ] || [ ! -f "$libcxx/__config_site" ]; then
  echo "check-apple-syntax: LLVM's libc++ headers not found (install libc++-dev)" >&2
  exit 1
fi
gnustep=$(gnustep-config --variable=GNUSTEP_SYSTEM_HEADERS 2>/dev/null || echo /usr/include/GNUstep)
gcc_include=$(g++ -print-file-name=include)
for needed in "$gnustep/Foundation/Foundation.h" "$gcc_include/objc/objc.h"; do
  if [ ! -f "$needed" ]; then
    echo "check-apple-syntax: $needed not found (install libgnustep-base-dev and gobjc++)" >&2
    exit 1
  fi
done
multiarch=/usr/include/$(gcc -print-multiarch)

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# Debian builds libc++ without the vendor annotations; Apple's has them.
mkdir -p "$scratch/libcxx-site" "$scratch/objc-runtime"
grep -v '_LIBCPP_HAS_NO_VENDOR_AVAILABILITY_ANNOTATIONS' "$libcxx/__config_site" > "$scratch/libcxx-site/__config_site"
# Only the Objective-C runtime's folder of GCC's headers, not its C headers.
ln -s "$gcc_include/objc" "$scratch/objc-runtime/objc"

common=(
  --target="$triple" -fsyntax-only -Wall -Wextra -Werror
  # Debian's C library then declares what the Apple one has by default.
  -D_GNU_SOURCE
  # On Apple targets clang spells these as nullability keywords; Debian's C
  # library defines its own macros of those names.
  -U__nonnull -U__nullable -U__null_unspecified
  -nostdinc++
  -isystem "$scratch/libcxx-site"
  -isystem tests/macos-declarations/darwin
  -isystem "$libcxx"
)
c_system=(-isystem "$multiarch" -isystem /usr/include)
objcxx=(
  -x objective-c++ -fno-blocks -fobjc-exceptions -fobjc-runtime=gcc
  -DGNUSTEP -DGNUSTEP_BASE_LIBRARY=1 -DGNU_RUNTIME=1
  -isystem tests/macos-declarations -isystem "$gnustep" -idirafter "$scratch/objc-runtime"
  # Objective-C++ cannot parse a parameter named "id", which Boost.System's
  # bridge to std::error_code has; the bridge is left out of this check only.
  -DBOOST_NO_CXX11_HDR_SYSTEM_ERROR
)

# One small script per source; two run at a time, each one's output kept
# together.
mkdir -p "$scratch/commands"
count=0
add_command() {
  local source=$1; shift
  count=$((count + 1))
  {
    printf '%q ' "$@" "$source"
    printf '|| { echo "check-apple-syntax: failed: %s"; exit 1; }\n' "$source"
  } > "$scratch/commands/$count.sh"
}
for list in "$lists_build"/apple-sources/*.txt; do
  includes=()
  defines=()
  sources=()
  while read -r kind value; do
    case "$kind" in
      source) sources+=("$value") ;;
      # The system's own folders come last, after libc++ and the declarations.
      include) [ -n "$value" ] && [ "$value" != /usr/include ] && [ "$value" != "$multiarch" ] && includes+=("-I$value") ;;
      define) [ -n "$value" ] && defines+=("-D$value") ;;
    esac
  done < "$list"
  for source in "${sources[@]}"; do
    case "$source" in
      *.mm) language=("${objcxx[@]}" -std=c++17) ;;
      *.cpp) language=(-x c++ -std=c++17) ;;
      *) language=(-x c -std=c11) ;;
    esac
    add_command "$source" "$compiler" "${common[@]}" "${language[@]}" "${includes[@]}" "${defines[@]}" "${c_system[@]}"
  done
done
for probe in scripts/macos-probes/*.c; do
  [ -e "$probe" ] && add_command "$probe" "$compiler" "${common[@]}" -x c -std=c11 "${c_system[@]}"
done

echo "check-apple-syntax: $count sources for $triple"
# shellcheck disable=SC2016
if ! find "$scratch/commands" -name '*.sh' -print0 | sort -zV \
  | xargs -0 -P 2 -n 1 sh -c 'bash "$1" > "$1.log" 2>&1 || { cat "$1.log"; exit 1; }' sh >&2; then
  echo "check-apple-syntax: the Apple build would not compile (see above)" >&2
  exit 1
fi
echo "check-apple-syntax: ok"
