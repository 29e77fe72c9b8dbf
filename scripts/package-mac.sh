#!/usr/bin/env bash
# On a Mac: builds the bundle in release mode and makes it run on another Mac.
#  1. macdeployqt copies Qt's frameworks and the cocoa platform plug-in into
#     the bundle; any other library that still comes from outside the system
#     (Homebrew's Boost) is copied into Contents/Frameworks and relinked.
#  2. Signing from the inside out: the libraries, then the removal tool
#     `main` (which launchd starts as root), then the bundle last, all with the
#     hardened runtime. The identity is the cache variable
#     TW_CODESIGN_IDENTITY (default "-", an ad-hoc signature that only this
#     Mac trusts); give a "Developer ID Application: ..." identity to ship.
#  3. A disk image build-mac-release/TallowmereUninstallWizard-5.4.1.dmg.
#  4. With notarization credentials, notarization and stapling of the bundle
#     and of the image: TW_NOTARY_PROFILE (a keychain profile made with
#     `xcrun notarytool store-credentials`), or TW_NOTARY_APPLE_ID,
#     TW_NOTARY_TEAM_ID and TW_NOTARY_PASSWORD (an app-specific password).
#
#   scripts/package-mac.sh                          # ad-hoc, not notarized
#   scripts/package-mac.sh "Developer ID Application: Nordaxis (TEAMID)"
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "$(uname -s)" != Darwin ]; then
  echo "package-mac: runs on macOS only (scripts/package.sh makes the Debian package)" >&2
  exit 1
fi

dir=build-mac-release
bundle=$dir/TallowmereUninstallWizard.app
configure=(-DCMAKE_BUILD_TYPE=Release -DTW_BUILD_TESTS=OFF)
if [ $# -ge 1 ]; then
  configure+=("-DTW_CODESIGN_IDENTITY=$1")
fi
if [ -n "${TW_QT_PREFIX:-}" ]; then
  configure+=("-DCMAKE_PREFIX_PATH=$TW_QT_PREFIX")
elif command -v brew > /dev/null; then
  configure+=("-DCMAKE_PREFIX_PATH=$(brew --prefix qt@5)")
fi
cmake -S . -B "$dir" "${configure[@]}"
rm -rf "$bundle"
cmake --build "$dir" -j "$(sysctl -n hw.ncpu)"

cache() { sed -n "s/^$1:[A-Z]*=//p" "$dir/CMakeCache.txt"; }
identity=$(cache TW_CODESIGN_IDENTITY)
version=$(/usr/libexec/PlistBuddy -c "Print :CFBundleShortVersionString" "$bundle/Contents/Info.plist")
qt_dir=$(cache Qt5_DIR)
macdeployqt=$qt_dir/../../../bin/macdeployqt
[ -x "$macdeployqt" ] || macdeployqt=$(command -v macdeployqt)

# ---- 1. Everything the programs load comes from the bundle or the system.
"$macdeployqt" "$bundle" -verbose=1
frameworks=$bundle/Contents/Frameworks
mkdir -p "$frameworks"
foreign_libraries() {
  otool -L "$1" | tail -n +2 | awk '{ print $1 }' \
    | grep -v -E '^(/usr/lib/|/System/|@executable_path/|@loader_path/|@rpath/)' || true
}
binaries() {
  find "$bundle/Contents" -type f \( -perm -u+x -o -name '*.dylib' \) -print0 | while IFS= read -r -d '' file; do
    case "$(file -b "$file")" in *Mach-O*) printf '%s\n' "$file" ;; esac
  done
}
for _ in 1 2 3; do # a copied library may need another
  while IFS= read -r binary; do
    while IFS= read -r library; do
      name=$(basename "$library")
      if [ ! -f "$frameworks/$name" ]; then
        cp -L "$library" "$frameworks/$name"
        chmod u+w "$frameworks/$name"
        install_name_tool -id "@executable_path/../Frameworks/$name" "$frameworks/$name"
      fi
      install_name_tool -change "$library" "@executable_path/../Frameworks/$name" "$binary"
    done < <(foreign_libraries "$binary")
  done < <(binaries)
done
leftover=0
while IFS= read -r binary; do
  if [ -n "$(foreign_libraries "$binary")" ]; then
    echo "package-mac: $binary still loads: $(foreign_libraries "$binary" | tr '\n' ' ')" >&2
    leftover=1
  fi
done < <(binaries)
[ $leftover -eq 0 ] || exit 1

# ---- 2. Sign from the inside out; the bundle's signature seals the rest.
sign=(codesign --force --options runtime --sign "$identity")
if [ "$identity" != "-" ]; then
  sign+=(--timestamp)
fi
find "$bundle/Contents/Frameworks" "$bundle/Contents/PlugIns" -type f -name '*.dylib' -print0 2> /dev/null \
  | xargs -0 -n 1 "${sign[@]}"
find "$bundle/Contents/Frameworks" -maxdepth 1 -name '*.framework' -print0 | xargs -0 -n 1 "${sign[@]}"
"${sign[@]}" --identifier main "$bundle/Contents/MacOS/main"
"${sign[@]}" "$bundle"
codesign --verify --deep --strict --verbose=2 "$bundle"

# ---- 3 and 4. The disk image, notarized when credentials are given.
notary=()
if [ -n "${TW_NOTARY_PROFILE:-}" ]; then
  notary=(--keychain-profile "$TW_NOTARY_PROFILE")
elif [ -n "${TW_NOTARY_APPLE_ID:-}" ] && [ -n "${TW_NOTARY_TEAM_ID:-}" ] && [ -n "${TW_NOTARY_PASSWORD:-}" ]; then
  notary=(--apple-id "$TW_NOTARY_APPLE_ID" --team-id "$TW_NOTARY_TEAM_ID" --password "$TW_NOTARY_PASSWORD")
fi
if [ ${#notary[@]} -gt 0 ] && [ "$identity" = "-" ]; then
  echo "package-mac: notarization needs a Developer ID identity, not an ad-hoc signature" >&2
  exit 1
fi
if [ ${#notary[@]} -gt 0 ]; then
  archive=$dir/TallowmereUninstallWizard.zip
  ditto -c -k --keepParent "$bundle" "$archive"
  xcrun notarytool submit "$archive" "${notary[@]}" --wait
  xcrun stapler staple "$bundle"
  rm -f "$archive"
fi

image=$dir/TallowmereUninstallWizard-$version.dmg
rm -f "$image"
hdiutil create -volname "Tallowmere $version Uninstall" -srcfolder "$bundle" -ov -format UDZO "$image"
if [ "$identity" != "-" ]; then
  codesign --force --timestamp --sign "$identity" "$image"
fi
if [ ${#notary[@]} -gt 0 ]; then
  xcrun notarytool submit "$image" "${notary[@]}" --wait
  xcrun stapler staple "$image"
  spctl --assess --type open --context context:primary-signature --verbose=2 "$image" || true
fi
echo "package-mac: $image (signed by: $identity$([ ${#notary[@]} -gt 0 ] && echo ", notarized"))"
