#!/usr/bin/env bash
# Runs the library step of scripts/package-mac.sh (scripts/bundle-libraries.sh)
# on a bundle of Mach-O files made here with the zig toolchain, LLVM's
# llvm-otool and llvm-install-name-tool standing in for Apple's tools: a
# wizard loading a library from a Homebrew-like prefix, which loads another
# through @rpath, and a plug-in whose own install name is under that prefix.
# Afterwards no file of the bundle may name the prefix.
set -euo pipefail
cd "$(dirname "$0")/.."

zig=$(scripts/fetch-zig.sh --installed)/zig
export OTOOL=$(command -v llvm-otool-14 || command -v llvm-otool)
export INSTALL_NAME_TOOL=$(command -v llvm-install-name-tool-14 || command -v llvm-install-name-tool)
export ZIG_GLOBAL_CACHE_DIR=$(dirname "$zig")/../zig-cache ZIG_LOCAL_CACHE_DIR=$(dirname "$zig")/../zig-cache
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/homebrew
bundle=$scratch/Wizard.app
mkdir -p "$prefix/lib" "$bundle/Contents/MacOS" "$bundle/Contents/PlugIns/platforms"
# Homebrew links with room for longer install names, as Apple's tools need.
cc=("$zig" cc -target aarch64-macos.11.0 -Wl,-headerpad_max_install_names)

echo 'int inner(void) { return 1; }' > "$scratch/inner.c"
echo 'int inner(void); int outer(void) { return inner() + 1; }' > "$scratch/outer.c"
echo 'int outer(void); int main(void) { return outer(); }' > "$scratch/main.c"
echo 'int plugin(void) { return 3; }' > "$scratch/plugin.c"
"${cc[@]}" -shared -o "$prefix/lib/libinner.dylib" -Wl,-install_name,@rpath/libinner.dylib "$scratch/inner.c"
"${cc[@]}" -shared -o "$prefix/lib/libouter.dylib" -Wl,-install_name,"$prefix/lib/libouter.dylib" \
  -Wl,-rpath,@loader_path "$scratch/outer.c" "$prefix/lib/libinner.dylib"
"${cc[@]}" -o "$bundle/Contents/MacOS/Wizard" "$scratch/main.c" "$prefix/lib/libouter.dylib"
"${cc[@]}" -shared -o "$bundle/Contents/PlugIns/platforms/libplugin.dylib" \
  -Wl,-install_name,"$prefix/plugins/platforms/libplugin.dylib" "$scratch/plugin.c"

scripts/bundle-libraries.sh "$bundle"
names=$(find "$bundle" -type f -print0 | xargs -0 -n 1 "$OTOOL" -L -D)
if grep -q "$prefix" <<<"$names"; then
  echo "check-bundle-libraries: a foreign name is left:" >&2
  echo "$names" >&2
  exit 1
fi
for library in libouter.dylib libinner.dylib; do
  [ -f "$bundle/Contents/Frameworks/$library" ] || { echo "check-bundle-libraries: $library not copied" >&2; exit 1; }
done
echo "check-bundle-libraries: ok"
