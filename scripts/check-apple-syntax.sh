#!/usr/bin/env bash
# Compiles every source that the Apple build compiles, for Apple targets,
# where no Mac is at hand, and links the programs that need no Qt as Mac
# programs. Three passes, warnings as errors in each:
#
#  1. Darwin: every C++ and C source, for x86_64 and arm64, with the zig
#     toolchain (scripts/fetch-zig.sh), which carries the C headers of
#     Apple's SDK, libc++ and stubs of macOS's system library. Then the
#     removal tool `main` and the test programs that need no Qt are linked as
#     Mach-O executables for both architectures, `main` is joined into a
#     universal binary, and each slice must say it is built for macOS at the
#     minimum system given (LC_BUILD_VERSION). Zig builds for macOS 11.0 and
#     later only, so the minimum system here is the larger of the deployment
#     target and 11.0.
#  2. Availability: every source again for x86_64 at the deployment target
#     itself, with clang++ and LLVM's libc++ with the vendor availability
#     annotations switched on as Apple builds it, so that a part of the C++
#     library that the target system lacks is an error. The C headers are
#     Darwin's (zig's) for C++ and C; Objective-C++ goes against GNUstep's
#     Foundation, Debian's C library and the few test-only declarations in
#     tests/macos-declarations.
#  3. Foundation: the Foundation methods that the Objective-C++ sources call
#     must all be in tests/macos-declarations/foundation-methods.txt, each
#     checked once against Apple's class reference (GNUstep has methods that
#     Apple's Foundation lacks).
#
# Only Boost, GoogleTest and Qt headers come from Debian, from folders that
# hold nothing but them; GoogleTest is compiled from Debian's sources for the
# target. Boost.Filesystem's library and the Objective-C++ halves (Foundation)
# cannot be linked here: a test program that needs them is linked with those
# symbols left open, and every other symbol must be found.
#
# What is compiled comes from the build description: a configure writes, per
# target, its Apple sources, include folders, definitions and links into
# <folder>/apple-sources (cmake/AppleSourceLists.cmake). The probe programs in
# scripts/macos-probes are compiled too.
#
# Usage: scripts/check-apple-syntax.sh [deployment-target]
#   (default: the build description's CMAKE_OSX_DEPLOYMENT_TARGET)
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS

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
minimum=$(printf '%s\n' "$target" 11.0 | sort -V | tail -n 1)

fail() { echo "check-apple-syntax: $*" >&2; exit 1; }
zig_folder=$(scripts/fetch-zig.sh --installed) || fail "the zig toolchain is not installed (run scripts/install-deps.sh)"
zig=$zig_folder/zig
darwin_c=("$zig_folder/lib/libc/include/x86_64-macos.11-none" "$zig_folder/lib/libc/include/any-macos.11-any"
  "$zig_folder/lib/libc/include/any-macos-any")
lipo=$(command -v llvm-lipo-14 || command -v llvm-lipo) || fail "llvm-lipo not found (install llvm-14)"
otool=$(command -v llvm-otool-14 || command -v llvm-otool) || fail "llvm-otool not found (install llvm-14)"
nm=$(command -v llvm-nm-14 || command -v llvm-nm) || fail "llvm-nm not found (install llvm-14)"
cxxfilt=$(command -v llvm-cxxfilt-14 || command -v llvm-cxxfilt) || fail "llvm-cxxfilt not found (install llvm-14)"
libcxx=$(printf "%s\n" /usr/lib/llvm-*/include/c++/v1 | sort -V | tail -n 1)
[ -f "$libcxx/__config_site" ] || fail "LLVM's libc++ headers not found (install libc++-dev)"
gtest_sources=/usr/src/googletest
[ -f "$gtest_sources/googletest/src/gtest-all.cc" ] || fail "GoogleTest's sources not found (install libgtest-dev)"
gnustep=$(gnustep-config --variable=GNUSTEP_SYSTEM_HEADERS 2>/dev/null || echo /usr/include/GNUstep)
gcc_include=$(g++ -print-file-name=include)
for needed in "$gnustep/Foundation/Foundation.h" "$gcc_include/objc/objc.h"; do
  [ -f "$needed" ] || fail "$needed not found (install libgnustep-base-dev and gobjc++)"
done
multiarch=/usr/include/$(gcc -print-multiarch)

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# Zig keeps what it builds (libc++ for each target, and every object, keyed
# by its inputs) beside itself, out of the work tree: a second run compiles
# only what changed.
export ZIG_GLOBAL_CACHE_DIR=$zig_folder/../zig-cache
export ZIG_LOCAL_CACHE_DIR=$ZIG_GLOBAL_CACHE_DIR
# Debian's own folders of Boost and GoogleTest headers, without the C library
# beside them.
mkdir -p "$scratch/libraries" "$scratch/libcxx-site" "$scratch/objc-runtime"
for library in boost gtest gmock; do
  ln -s "/usr/include/$library" "$scratch/libraries/$library"
done
# Debian builds libc++ without the vendor annotations; Apple's has them.
grep -v '_LIBCPP_HAS_NO_VENDOR_AVAILABILITY_ANNOTATIONS' "$libcxx/__config_site" > "$scratch/libcxx-site/__config_site"
# Only the Objective-C runtime's folder of GCC's headers, not its C headers.
ln -s "$gcc_include/objc" "$scratch/objc-runtime/objc"

warnings=(-Wall -Wextra -Werror)
cache=()
if command -v ccache > /dev/null; then cache=(ccache); fi
arches=(x86_64 aarch64)
availability=(
  --target="x86_64-apple-macosx$target" "${warnings[@]}"
  -nostdinc++ -nostdlibinc
  -isystem "$scratch/libcxx-site" -isystem "$libcxx"
)
for folder in "${darwin_c[@]}"; do availability+=(-idirafter "$folder"); done
objcxx=(
  --target="x86_64-apple-macosx$target" -fsyntax-only "${warnings[@]}"
  -x objective-c++ -std=c++17 -fno-blocks -fobjc-exceptions -fobjc-runtime=gcc
  -DGNUSTEP -DGNUSTEP_BASE_LIBRARY=1 -DGNU_RUNTIME=1
  # Debian's C library then declares what the Apple one has by default.
  -D_GNU_SOURCE
  # On Apple targets clang spells these as nullability keywords; Debian's C
  # library defines its own macros of those names.
  -U__nonnull -U__nullable -U__null_unspecified
  -nostdinc++
  -isystem "$scratch/libcxx-site" -isystem tests/macos-declarations/darwin -isystem "$libcxx"
  -isystem tests/macos-declarations -isystem "$gnustep" -idirafter "$scratch/objc-runtime"
  # Objective-C++ cannot parse a parameter named "id", which Boost.System's
  # bridge to std::error_code has; the bridge is left out of this check only.
  -DBOOST_NO_CXX11_HDR_SYSTEM_ERROR
  -isystem "$multiarch" -isystem /usr/include
)
objcxx_native=(
  -x objective-c++ -std=c++17 -w -fobjc-exceptions -fobjc-runtime=gcc -nostdinc++ -isystem "$libcxx"
  -DGNUSTEP -DGNUSTEP_BASE_LIBRARY=1 -DGNU_RUNTIME=1 -DBOOST_NO_CXX11_HDR_SYSTEM_ERROR
  -isystem tests/macos-declarations -isystem "$gnustep" -idirafter "$gcc_include"
)
# Debian's Boost (1.74) does not know that libc++ 15 and later leave
# std::unary_function out of C++17; later Boost releases (Homebrew's) say so
# themselves.
zig_flags=("${warnings[@]}" -DBOOST_NO_CXX98_FUNCTION_BASE)

# One small script per compile; two run at a time, each one's output kept
# together.
mkdir -p "$scratch/commands" "$scratch/objects/availability" "$scratch/objects/mm"
count=0
add_command() {
  local what=$1; shift
  count=$((count + 1))
  {
    printf '%q ' "$@"
    printf '|| { echo "check-apple-syntax: failed: %s"; exit 1; }\n' "$what"
  } > "$scratch/commands/$count.sh"
}
run_commands() {
  # shellcheck disable=SC2016
  find "$scratch/commands" -name '*.sh' -print0 | sort -zV \
    | xargs -0 -r -P 2 -n 1 sh -c 'bash "$1" > "$1.log" 2>&1 || { cat "$1.log"; exit 1; }' sh >&2 \
    || fail "the Apple build would not compile (see above)"
  rm -f "$scratch/commands"/*
}
object_of() { printf '%s/objects/%s/%s.o' "$scratch" "$2" "$(printf '%s' "$1" | tr '/' '_')"; }

declare -A target_sources target_links target_type
compiled=0
for list in "$lists_build"/apple-sources/*.txt; do
  name=$(basename "$list" .txt)
  flags=()
  sources=()
  links=()
  type=
  while read -r kind value; do
    case "$kind" in
      type) type=$value ;;
      source) sources+=("$value") ;;
      link) links+=("$value") ;;
      # Debian's system folders never: the C library is Darwin's.
      include) [ -n "$value" ] && [ "$value" != /usr/include ] && [ "$value" != "$multiarch" ] && flags+=("-I$value") ;;
      define) [ -n "$value" ] && flags+=("-D$value") ;;
    esac
  done < "$list"
  flags+=(-isystem "$scratch/libraries")
  target_sources[$name]="${sources[*]}"
  target_links[$name]="${links[*]}"
  target_type[$name]=$type
  for source in "${sources[@]}"; do
    compiled=$((compiled + 1))
    case "$source" in
      *.mm)
        add_command "$source (x86_64-apple-macosx$target, Objective-C++)" clang++ "${objcxx[@]}" \
          "${flags[@]}" "$source"
        # Compiled for this machine too, only to learn what it defines (the
        # names are those of a Mac build less the leading underscore).
        add_command "$source (its symbols)" clang++ "${objcxx_native[@]}" "${flags[@]}" \
          -c -o "$(object_of "$source" mm)" "$source"
        continue ;;
      *.cpp) language=(-x c++ -std=c++17) driver="c++" ;;
      *) language=(-x c -std=c11) driver="cc" ;;
    esac
    for arch in "${arches[@]}"; do
      mkdir -p "$scratch/objects/$arch"
      add_command "$source ($arch-macos.$minimum)" "$zig" "$driver" -target "$arch-macos.$minimum" \
        "${zig_flags[@]}" "${language[@]}" "${flags[@]}" -c -o "$(object_of "$source" "$arch")" "$source"
    done
    # Compiled, not only parsed, so that a compiler cache keeps the result.
    add_command "$source (x86_64-apple-macosx$target, availability)" "${cache[@]}" clang++ "${availability[@]}" \
      "${language[@]}" "${flags[@]}" -c -o "$(object_of "$source" availability)" "$source"
  done
done
mkdir -p "$scratch/objects/mm"
for probe in scripts/macos-probes/*.c; do
  [ -e "$probe" ] || continue
  compiled=$((compiled + 1))
  for arch in "${arches[@]}"; do
    add_command "$probe ($arch-macos.$minimum)" "$zig" cc -target "$arch-macos.$minimum" "${warnings[@]}" \
      -std=c11 -c -o "$scratch/objects/probe-$arch-$(basename "$probe").o" "$probe"
  done
done
# GoogleTest for the target, from Debian's sources (its own warnings are not
# this project's).
for arch in "${arches[@]}"; do
  for part in gtest-all gtest_main; do
    add_command "GoogleTest $part ($arch)" "$zig" c++ -target "$arch-macos.$minimum" -std=c++17 -w \
      -I"$gtest_sources/googletest" -isystem "$scratch/libraries" \
      -c -o "$scratch/objects/$arch/gtest-$part.o" "$gtest_sources/googletest/src/$part.cc"
  done
done
echo "check-apple-syntax: $compiled sources for {x86_64,arm64}-macos$minimum and x86_64-apple-macosx$target"
run_commands

# ---- Linking: every executable whose links need no Qt.
# The objects of a target and of everything it links, and the outside names.
closure_objects=()
closure_outside=()
collect() {
  local name=$1 arch=$2 source link
  for source in ${target_sources[$name]}; do
    case "$source" in
      *.mm) ;; # Foundation: not here (see open symbols below)
      *) closure_objects+=("$(object_of "$source" "$arch")") ;;
    esac
  done
  for link in ${target_links[$name]}; do
    if [ -n "${target_type[$link]:-}" ]; then
      collect "$link" "$arch"
    else
      closure_outside+=("$link")
    fi
  done
}
dedupe() { printf '%s\n' "$@" | awk 'NF && !seen[$0]++'; }

# What the Objective-C++ halves define: a program that links them may leave
# these open, and Boost.Filesystem's (its library is not built here).
mm_symbols=$scratch/mm-symbols.txt
find "$scratch/objects/mm" -name '*.o' -print0 | xargs -0 -r "$nm" --defined-only --extern-only -j \
  | sed 's/^/_/' | sort -u > "$mm_symbols"
# Links one program; symbols left open must be of those two kinds, and get a
# stand-in definition so that the program is still made and checked.
link_program() {
  local name=$1 arch=$2 output=$scratch/programs/$1-$2 log=$scratch/programs/$1-$2.log
  shift 2
  local link=("$zig" c++ -target "$arch-macos.$minimum" -o "$output" "$@")
  "${link[@]}" 2> "$log" && return 0
  local open
  open=$(sed -n "s/^error(link): undefined reference to symbol '\(.*\)'\$/\1/p" "$log" | sort -u)
  [ -n "$open" ] || { cat "$log" >&2; fail "linking $name ($arch) failed"; }
  local unknown
  unknown=$(grep -v -x -F -f "$mm_symbols" <<<"$open" | "$cxxfilt" -n -_ | grep -v -E '^((typeinfo|typeinfo name|vtable) for )?boost::filesystem::' || true)
  [ -z "$unknown" ] || fail "$name ($arch) calls what macOS's system library lacks: $unknown"
  {
    echo ".text"
    sed 's/.*/.globl &\n&:\n  .byte 0/' <<<"$open"
  } > "$output-stand-ins.s"
  "$zig" cc -target "$arch-macos.$minimum" -c -o "$output-stand-ins.o" "$output-stand-ins.s"
  "${link[@]}" "$output-stand-ins.o" 2> "$log" || { cat "$log" >&2; fail "linking $name ($arch) failed"; }
}

mkdir -p "$scratch/programs"
linked=()
for name in $(printf '%s\n' "${!target_type[@]}" | sort); do
  [ "${target_type[$name]}" = EXECUTABLE ] || continue
  closure_objects=() closure_outside=()
  collect "$name" x86_64
  outside=$(dedupe "${closure_outside[@]}")
  grep -q '^Qt5::' <<<"$outside" && continue
  for arch in "${arches[@]}"; do
    closure_objects=() closure_outside=()
    collect "$name" "$arch"
    objects=()
    mapfile -t objects < <(dedupe "${closure_objects[@]}")
    grep -q '^GTest::gtest$' <<<"$outside" && objects+=("$scratch/objects/$arch/gtest-gtest-all.o")
    grep -q '^GTest::gtest_main$' <<<"$outside" && objects+=("$scratch/objects/$arch/gtest-gtest_main.o")
    link_program "$name" "$arch" "${objects[@]}"
  done
  linked+=("$name")
done

# ---- The universal removal tool and each slice's minimum system.
for name in "${linked[@]}"; do
  for arch in "${arches[@]}"; do
    commands=$("$otool" -l "$scratch/programs/$name-$arch")
    build_version=$(grep -A4 'cmd LC_BUILD_VERSION' <<<"$commands" || true)
    grep -q -E 'platform (1|macos)$' <<<"$build_version" && grep -q "minos $minimum\$" <<<"$build_version" \
      || fail "$name ($arch) is not marked as built for macOS $minimum: $build_version"
  done
done
"$lipo" -create -output "$scratch/programs/main" "$scratch/programs/main-x86_64" "$scratch/programs/main-aarch64"
slices=$("$lipo" -archs "$scratch/programs/main" | xargs)
[ "$slices" = "x86_64 arm64" ] || fail "the universal main holds: $slices"
if [ -n "${TW_APPLE_PROGRAMS:-}" ]; then
  mkdir -p "$TW_APPLE_PROGRAMS"
  cp "$scratch/programs"/* "$TW_APPLE_PROGRAMS/"
fi
echo "check-apple-syntax: linked for x86_64 and arm64: ${linked[*]} (universal main: $slices)"

# ---- The Foundation methods that the Objective-C++ sources call.
scripts/check-foundation-methods.sh
echo "check-apple-syntax: ok ($((SECONDS - started)) s)"
