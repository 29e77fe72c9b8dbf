#!/usr/bin/env bash
# Makes every Mach-O file in an application bundle load only from the system
# or from the bundle: a library from elsewhere (Homebrew's Boost, or a
# library that Qt's libraries name through @rpath) is copied into
# Contents/Frameworks and the files that load it are pointed there; every
# library of the bundle gets an install name inside the bundle (plug-ins
# included, whose own names macdeployqt leaves as they were). Ends with a
# check: exit 1 and the names when a foreign name is left.
#
#   scripts/bundle-libraries.sh <bundle.app>
# OTOOL and INSTALL_NAME_TOOL name the tools (Apple's by default; LLVM's
# llvm-otool and llvm-install-name-tool do the same on any system).
set -euo pipefail

bundle=$1
otool=${OTOOL:-otool}
install_name_tool=${INSTALL_NAME_TOOL:-install_name_tool}
frameworks=$bundle/Contents/Frameworks
mkdir -p "$frameworks"

is_macho() {
  case "$(od -An -tx1 -N4 "$1" 2> /dev/null | tr -d ' ')" in
    cffaedfe | cefaedfe | cafebabe | bebafeca) return 0 ;;
    *) return 1 ;;
  esac
}
binaries() {
  find "$bundle/Contents" -type f \( -perm -u+x -o -name '*.dylib' \) -print | while IFS= read -r file; do
    is_macho "$file" && printf '%s\n' "$file"
  done
}
# The library's own install name (a dylib lists it among what it loads).
own_name() { "$otool" -D "$1" | tail -n +2 | head -n 1; }
loaded() {
  local own
  own=$(own_name "$1")
  "$otool" -L "$1" | tail -n +2 | awk '{ print $1 }' | { grep -v -x -F -e "${own:-//none//}" || true; }
}
inside_or_system() { grep -q -E '^(/usr/lib/|/System/|@executable_path/|@loader_path/)'; }
# Where each copied library came from: its run paths are relative to there.
declare -A origin
# Where an @rpath name points, by the run paths of the file that loads it.
resolve_rpath() {
  local binary=$1 name=${2#@rpath/} folder
  local place=${origin[$binary]:-$binary}
  while IFS= read -r folder; do
    folder=${folder/@loader_path/$(dirname "$place")}
    folder=${folder/@executable_path/$bundle/Contents/MacOS}
    if [ -f "$folder/$name" ]; then
      printf '%s\n' "$folder/$name"
      return
    fi
  done < <("$otool" -l "$binary" | awk '$1 == "cmd" { rpath = ($2 == "LC_RPATH") } rpath && $1 == "path" { print $2 }')
  if [ -f "$frameworks/$(basename "$name")" ]; then printf '%s\n' "$frameworks/$(basename "$name")"; fi
}
# The name that a file of the bundle is loaded by.
bundle_name() { printf '@executable_path/../%s\n' "${1#"$bundle"/Contents/}"; }

for _ in 1 2 3 4; do # a copied library may need another
  changed=0
  while IFS= read -r binary; do
    while IFS= read -r library; do
      inside_or_system <<<"$library" && continue
      source=$library
      case "$library" in
        @rpath/*)
          source=$(resolve_rpath "$binary" "$library")
          # Found inside the bundle already (macdeployqt's frameworks): leave it.
          case "$source" in "$bundle"/*) continue ;; "") echo "bundle-libraries: $binary: $library not found" >&2; exit 1 ;; esac ;;
      esac
      name=$(basename "$library")
      if [ ! -f "$frameworks/$name" ]; then
        cp -L "$source" "$frameworks/$name"
        chmod u+w "$frameworks/$name"
        origin[$frameworks/$name]=$source
      fi
      "$install_name_tool" -change "$library" "@executable_path/../Frameworks/$name" "$binary"
      changed=1
    done < <(loaded "$binary")
    # Every library of the bundle is named by where it lies in it.
    own=$(own_name "$binary")
    if [ -n "$own" ] && ! inside_or_system <<<"$own" && [[ $own != @rpath/* ]]; then
      "$install_name_tool" -id "$(bundle_name "$binary")" "$binary"
      changed=1
    fi
  done < <(binaries)
  [ $changed -eq 1 ] || break
done

leftover=0
while IFS= read -r binary; do
  foreign=$( { own_name "$binary"; loaded "$binary"; } | grep -v -E '^(/usr/lib/|/System/|@executable_path/|@loader_path/|@rpath/)' || true)
  if [ -n "$foreign" ]; then
    echo "bundle-libraries: $binary still names: $(tr '\n' ' ' <<<"$foreign")" >&2
    leftover=1
  fi
done < <(binaries)
exit $leftover
