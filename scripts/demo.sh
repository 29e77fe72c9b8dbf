#!/usr/bin/env bash
# Tries the wizard without touching this machine: in a private mount namespace
# it builds a new root on a memory file system, with /Applications, /Library
# and a home /Users/demo as real folders holding a made-up installation of
# Tallowmere (the items the wizard removes, a few thousand data files, and
# things beside them that must stay), and the system folders mounted read-only.
# It starts the wizard there as root, and afterwards prints what was removed
# and what stayed. Everything it made goes away with the namespace.
#
#   scripts/demo.sh              build in ./build if needed, then start the wizard
#   scripts/demo.sh --no-window  the same set-up, but runs the removal as the
#                                wizard would with both boxes checked, through
#                                removal-explain (the tool's own code, which
#                                also says why each item that stayed failed)
#   scripts/demo.sh --no-build   use the bundle already built
#   scripts/demo.sh --quiet      build without showing the build's output
#                                (shown only when the build fails)
#   TW_DEMO_MOUNT=1 scripts/demo.sh   also mounts a small file system inside
#                                $home/Documents/Nordaxis, which the removal
#                                never enters: that item stays
#   TW_BUILD_DIR=dir scripts/demo.sh   another build folder
set -euo pipefail

if [ "$(id -u)" -ne 0 ]; then
  echo "scripts/demo.sh needs root to make a private mount namespace and a new root: run it with sudo -E (or as root under xvfb-run -a)." >&2
  exit 1
fi

home=/Users/demo
result_file=/tmp/tw-demo-result

# Items the wizard may remove (the first two always, the rest by the boxes).
removable=(
  "/Applications/Tallowmere 5.4.1"
  "/Library/Application Support/Nordaxis/Tallowmere/Templates/rCRS.QMX"
  "$home/Library/Preferences/com.nordaxis.Tallowmere.plist"
  "$home/Library/Preferences/com.nordaxis.shared.plist"
  "$home/Library/Preferences/Tallowmere Prefs.plist"
  "$home/Library/Preferences/Tallowmere Prefs"
  "$home/Library/Preferences/ReportPreview.plist"
  "$home/Library/Application Support/Nordaxis"
  "/Library/Application Support/Nordaxis/Tallowmere/Templates"
  "$home/Documents/Nordaxis"
)
# Things beside them that belong to others and must stay whatever is chosen.
beside=(
  "/Applications/Other Editor.app"
  "/Applications/Tallowmere 5.4.1 Release Notes.pdf"
  "/Library/Application Support/Nordaxis/Tallowmere/License.key"
  "/Library/Application Support/Nordaxis/Other Product"
  "/Library/Preferences/com.nordaxis.Tallowmere.plist"
  "$home/Library/Preferences/com.example.editor.plist"
  "$home/Library/Preferences/com.Nordaxis.upper-case.plist"
  "$home/Library/Application Support/Other Vendor"
  "$home/Documents/Letter.txt"
)

# ---- Inside the namespace: $1 is the empty folder to build the root on.
inside() {
  local root=$1 mode=$2 bundle=$3 explain=$4
  mount -t tmpfs -o mode=0755 tw-demo "$root"
  mountpoint -q "$root" || { echo "demo: no memory file system on $root" >&2; exit 1; }
  mount_system "$root"
  mkdir -p "$root/Demo/TallowmereUninstallWizard.app"
  mount --bind -o ro "$bundle" "$root/Demo/TallowmereUninstallWizard.app"
  touch "$root/Demo/removal-explain"
  mount --bind -o ro "$explain" "$root/Demo/removal-explain"
  (cd "$root" && make_installation)
  if [ "${TW_DEMO_MOUNT:-}" = 1 ]; then
    mkdir "$root$home/Documents/Nordaxis/Projects/mounted"
    mount -t tmpfs -o size=1m tw-demo-mounted "$root$home/Documents/Nordaxis/Projects/mounted"
    echo "mounted" > "$root$home/Documents/Nordaxis/Projects/mounted/on-another-file-system.txt"
  fi

  local -a before=()
  local item
  for item in "${removable[@]}" "${beside[@]}"; do
    before+=("$(count_item "$root" "$item")")
  done
  echo "Made-up installation: $(count_files "$root/Applications" "$root/Library" "$root/Users") files in /Applications, /Library and $home."

  if [ "$mode" = window ]; then
    start_wizard "$root"
    # The wizard's result file, in its runtime folder: none when the window
    # was closed before the removal ran.
    verdict=$(cat "$root"/tmp/runtime-root/*.log 2>/dev/null || true)
  else
    echo "Running the removal as the wizard does with both boxes checked (mask 6)."
    chroot "$root" /usr/bin/env -i PATH=/usr/bin:/bin \
      /Demo/removal-explain 6 "$home" "$result_file" > "$root/Demo/reasons"
    echo "Verdict in the result file: $(cat "$root$result_file")"
  fi
  report "$root" "$mode" "${before[@]}"
}

mount_system() {
  local root=$1 name
  for name in bin sbin lib lib32 lib64 libx32; do
    if [ -L "/$name" ]; then
      ln -s "$(readlink "/$name")" "$root/$name"
    elif [ -d "/$name" ]; then
      mkdir "$root/$name"
      mount --bind -o ro "/$name" "$root/$name"
    fi
  done
  for name in usr etc var/cache/fontconfig; do
    [ -d "/$name" ] || continue
    mkdir -p "$root/$name"
    mount --bind -o ro "/$name" "$root/$name"
  done
  mkdir "$root/dev" "$root/proc"
  mount --rbind /dev "$root/dev"
  mount --rbind /proc "$root/proc"
  mkdir -m 1777 "$root/tmp"
  if [ -d /tmp/.X11-unix ]; then
    mkdir "$root/tmp/.X11-unix"
    mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"
  fi
}

# n files named 0..n-1 with a line each, in folder $1.
data_files() {
  local folder=$1 n=$2 i
  mkdir -p "$folder"
  for ((i = 0; i < n; i++)); do echo "data $i" > "$folder/$i.dat"; done
}

# Lays out the made-up installation under the current folder.
make_installation() {
  local app="Applications/Tallowmere 5.4.1" h=".$home" shelf
  mkdir -p "$app/Tallowmere.app/Contents/MacOS" "$app/Tallowmere.app/Contents/Resources"
  echo "com.nordaxis.Tallowmere" > "$app/Tallowmere.app/Contents/Info.plist"
  echo "not a real program" > "$app/Tallowmere.app/Contents/MacOS/Tallowmere"
  for shelf in 0 1 2 3 4 5 6 7 8 9; do data_files "$app/Data/Shelf $shelf" 300; done
  mkdir -p "Applications/Other Editor.app/Contents"
  echo "com.example.editor" > "Applications/Other Editor.app/Contents/Info.plist"
  echo "notes" > "Applications/Tallowmere 5.4.1 Release Notes.pdf"

  local support="Library/Application Support/Nordaxis"
  data_files "$support/Tallowmere/Templates" 40
  echo "template" > "$support/Tallowmere/Templates/rCRS.QMX"
  echo "licence" > "$support/Tallowmere/License.key"
  data_files "$support/Other Product" 5
  mkdir -p Library/Preferences
  echo "machine-wide settings" > Library/Preferences/com.nordaxis.Tallowmere.plist

  mkdir -p "$h/Library/Preferences"
  for name in com.nordaxis.Tallowmere.plist com.nordaxis.shared.plist "Tallowmere Prefs.plist" "Tallowmere Prefs" \
    ReportPreview.plist com.example.editor.plist com.Nordaxis.upper-case.plist; do
    echo "settings" > "$h/Library/Preferences/$name"
  done
  data_files "$h/Library/Application Support/Nordaxis/Tallowmere/Cache" 200
  data_files "$h/Library/Application Support/Other Vendor" 3
  data_files "$h/Documents/Nordaxis/Projects" 1000
  echo "Dear reader" > "$h/Documents/Letter.txt"
}

files() {
  if [ "$1" = 1 ]; then echo "1 file"; else echo "$1 files"; fi
}

count_files() {
  { find "$@" -type f 2>/dev/null || true; } | wc -l
}

# Files of one listed item under the root $1, leaving out those of the other
# listed items inside it (the templates folder holds rCRS.QMX, an item of its
# own), so that no file is counted twice.
count_item() {
  local root=$1 item=$2 other
  local -a prune=()
  for other in "${removable[@]}" "${beside[@]}"; do
    [[ "$other" == "$item"/* ]] && prune+=(-path "$root$other" -prune -o)
  done
  { find "$root$item" "${prune[@]}" -type f -print 2>/dev/null || true; } | wc -l
}

start_wizard() {
  local root=$1
  local -a env=(PATH=/usr/bin:/bin HOME="$home" USER=root LANG=C.UTF-8
    XDG_RUNTIME_DIR=/tmp/runtime-root XDG_CACHE_HOME=/tmp/cache)
  mkdir -m 0700 "$root/tmp/runtime-root"
  [ -n "${DISPLAY:-}" ] && env+=(DISPLAY="$DISPLAY")
  [ -n "${QT_QPA_PLATFORM:-}" ] && env+=(QT_QPA_PLATFORM="$QT_QPA_PLATFORM")
  local xauthority=${XAUTHORITY:-${HOME:-/root}/.Xauthority}
  if [ -f "$xauthority" ]; then
    cp "$xauthority" "$root/tmp/xauthority"
    env+=(XAUTHORITY=/tmp/xauthority)
  fi
  echo "Starting the wizard; Remove acts on the made-up installation only."
  chroot "$root" /usr/bin/env -i "${env[@]}" \
    /Demo/TallowmereUninstallWizard.app/Contents/MacOS/TallowmereUninstallWizard || true
}

# Why an item stayed, as removal-explain gave it (only without the window).
reason() {
  local root=$1 item=$2
  [ -f "$root/Demo/reasons" ] || return 0
  awk -F '\t' -v item="$item" '$1 == item { print "    why: " $2 }' "$root/Demo/reasons"
}

report() {
  local root=$1 mode=$2; shift 2
  local -a before=("$@")
  local i=0 item lost=0 kept=
  echo "Removed:"
  for item in "${removable[@]}"; do
    [ -e "$root$item" ] || echo "  $item ($(files "${before[$i]}"))"
    i=$((i + 1))
  done
  echo "Still there:"
  i=0
  for item in "${removable[@]}"; do
    if [ -e "$root$item" ]; then
      echo "  $item ($(count_item "$root" "$item") of $(files "${before[$i]}"))"
      kept=1
      if [ "$mode" != window ]; then
        reason "$root" "$item"
      elif [ -z "${verdict:-}" ]; then
        echo "    kept: the removal did not run"
      elif [ "$verdict" = success ]; then
        # The tool reports success only when all it was asked to remove went.
        echo "    kept by choice: its box was unchecked"
      else
        echo "    kept: its box was unchecked, or its removal failed"
      fi
    fi
    i=$((i + 1))
  done
  [ -n "${kept:-}" ] || echo "  none of them"
  echo "Beside them:"
  for item in "${beside[@]}"; do
    if [ -e "$root$item" ] && [ "$(count_item "$root" "$item")" = "${before[$i]}" ]; then
      echo "  stayed: $item"
    else
      echo "  DAMAGED: $item ($(files "${before[$i]}") before, $(count_item "$root" "$item") now)"
      lost=1
    fi
    i=$((i + 1))
  done
  return $lost
}

if [ "${1:-}" = --inside ]; then
  shift
  inside "$@"
  exit
fi

# ---- Outside: build, check the display, make the namespace, clean up.
mode=window build=yes quiet=no
for argument in "$@"; do
  case $argument in
    --no-window) mode=no-window ;;
    --no-build) build=no ;;
    --quiet) quiet=yes ;;
    *) echo "usage: scripts/demo.sh [--no-window] [--no-build] [--quiet]" >&2; exit 64 ;;
  esac
done
cd "$(dirname "$0")/.."
builddir=${TW_BUILD_DIR:-build}
if [ $build = yes ]; then
  scripts/install-deps.sh
  cmake -S . -B "$builddir" -DCMAKE_BUILD_TYPE=RelWithDebInfo > "$builddir.configure.log" || {
    cat "$builddir.configure.log"; exit 1; }
  [ $quiet = yes ] || echo "Building the wizard, the tool and removal-explain in $builddir ..."
  # One build of the three targets; make names the targets they share once
  # for each, so each line is shown once.
  if ! cmake --build "$builddir" -j2 --target TallowmereUninstallWizard main removal-explain > "$builddir.build.log" 2>&1; then
    cat "$builddir.build.log"
    exit 1
  fi
  [ $quiet = yes ] || awk '!seen[$0]++' "$builddir.build.log"
fi
bundle="$(cd "$builddir" && pwd)/TallowmereUninstallWizard.app"
explain="$(cd "$builddir" && pwd)/remover/removal-explain"
[ -x "$bundle/Contents/MacOS/main" ] || { echo "No removal tool in $bundle; build first." >&2; exit 1; }
[ -x "$explain" ] || { echo "No removal-explain in $builddir/remover; build first." >&2; exit 1; }
if [ $mode = window ] && [ -z "${DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display to show the wizard on; run it under a virtual display instead: xvfb-run -a scripts/demo.sh" >&2
  exit 1
fi

mountpoint=$(mktemp -d "${TMPDIR:-/tmp}/tw-demo.XXXXXX")
status=0
unshare --mount --propagation private -- "$(pwd)/scripts/demo.sh" --inside "$mountpoint" "$mode" "$bundle" "$explain" \
  || status=$?
# The namespace is gone, and with it every mount; the folder is empty again.
rmdir "$mountpoint"
if [ $status -eq 0 ]; then
  echo "The demo's folders went with its namespace; nothing outside it was touched."
fi
exit $status
