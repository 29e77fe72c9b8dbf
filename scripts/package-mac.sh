#!/usr/bin/env bash
# On a Mac: builds the bundle in release mode and makes it run on another Mac.
#  1. macdeployqt copies Qt's frameworks and the cocoa platform plug-in into
#     the bundle; any other library that still comes from outside the system
#     (Homebrew's Boost) is copied into Contents/Frameworks and relinked.
#     (scripts/bundle-libraries.sh). Every bundled binary must be built for
#     no newer a system than LSMinimumSystemVersion.
#  2. Signing from the inside out: the libraries, then the removal tool
#     `main` (which launchd starts as root), then the bundle last. The
#     identity is the first argument, else TW_CODESIGN_IDENTITY as given
#     to this run's configure, else "-": an ad-hoc signature that only this
#     Mac trusts, made without the hardened runtime (whose library validation
#     refuses libraries that carry no Team ID, so the bundle would not start).
#     A "Developer ID Application: ..." identity signs with the hardened
#     runtime and ships.
#  3. A disk image build-mac-release/TallowmereUninstallWizard-5.4.1.dmg.
#  4. With notarization credentials, notarization and stapling of the bundle
#     and of the image: TW_NOTARY_PROFILE (a keychain profile made with
#     `xcrun notarytool store-credentials`), or TW_NOTARY_APPLE_ID,
#     TW_NOTARY_TEAM_ID and TW_NOTARY_PASSWORD (an app-specific password).
#
#   scripts/package-mac.sh                          # ad-hoc, not notarized
#   TW_DEPLOYMENT_TARGET=15.0 scripts/package-mac.sh # with Homebrew's Qt, built for 15
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
# The oldest system the bundle claims: the build description's, or
# TW_DEPLOYMENT_TARGET (the libraries' own floor, say, for Homebrew's).
if [ -n "${TW_DEPLOYMENT_TARGET:-}" ]; then
  configure+=("-DCMAKE_OSX_DEPLOYMENT_TARGET=$TW_DEPLOYMENT_TARGET")
else
  configure+=(-UCMAKE_OSX_DEPLOYMENT_TARGET)
fi
# The identity never sticks from an earlier run: given now, or ad hoc.
configure+=("-DTW_CODESIGN_IDENTITY=${1:--}")
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
scripts/bundle-libraries.sh "$bundle"

# No bundled binary may need a newer system than the bundle says it runs on
# (Homebrew builds its libraries for the system of the machine that built
# them).
minimum=$(/usr/libexec/PlistBuddy -c "Print :LSMinimumSystemVersion" "$bundle/Contents/Info.plist")
# arm64 exists from 11.0 on: its linker writes at least that.
allowed=$minimum
[ "$(uname -m)" = arm64 ] && allowed=$(printf '%s\n' "$minimum" 11.0 | sort -V | tail -n 1)
too_new=0
while IFS= read -r -d '' file; do
  case "$(file -b "$file")" in *Mach-O*) ;; *) continue ;; esac
  for minos in $(otool -l "$file" | awk '$1 == "cmd" { last = $2 }
      $1 == "minos" || ($1 == "version" && last == "LC_VERSION_MIN_MACOSX") { print $2 }'); do
    if [ "$(printf '%s\n' "$minos" "$allowed" | sort -V | tail -n 1)" != "$allowed" ]; then
      echo "package-mac: ${file#"$bundle"/} needs macOS $minos, newer than LSMinimumSystemVersion $minimum" >&2
      too_new=1
    fi
  done
done < <(find "$bundle/Contents" -type f -print0)
[ $too_new -eq 0 ] || exit 1

# ---- 2. Sign from the inside out; the bundle's signature seals the rest.
sign=(codesign --force --sign "$identity")
if [ "$identity" != "-" ]; then
  sign+=(--options runtime --timestamp)
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
