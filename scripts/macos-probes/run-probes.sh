#!/usr/bin/env bash
# Settles on a Mac, in about a minute, what cannot be seen without one:
#  1. whether a launchd job of the system domain (root, no Full Disk Access,
#     as the removal tool runs) can open, list and look up entries inside
#     ~/Documents, compared with the user and with root from this terminal;
#  2. what the device numbers, F_GETPATH, statfs's mount point and the mount
#     status say for /Applications, /Library and the home folder, which lie
#     on the Data volume since 10.15.
# Needs the command line tools (cc) and an administrator password (sudo).
# Leaves nothing behind: the job is removed and the scratch folder deleted.
#
#   scripts/macos-probes/run-probes.sh [entry name under ~/Documents]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
entry=${1:-Nordaxis}
label=tallowmere-uninstall-privacy-probe

scratch=$(sudo mktemp -d /private/var/root/tw-probes.XXXXXX)
cleanup() {
  sudo launchctl bootout "system/$label" 2>/dev/null || true
  sudo rm -rf "$scratch"
}
trap cleanup EXIT

# Built and kept in a folder of root's, as the tool's job should be.
build=$(mktemp -d)
cc -Wall -Wextra -o "$build/privacy-probe" "$here/privacy-probe.c"
cc -Wall -Wextra -o "$build/volume-probe" "$here/volume-probe.c"
sudo install -o root -g wheel -m 0755 "$build/privacy-probe" "$build/volume-probe" "$scratch/"
rm -rf "$build"

echo "== macOS $(sw_vers -productVersion) ($(uname -m))"
echo "== privacy: as $(id -un)"
"$scratch/privacy-probe" "$HOME" Documents "$entry"
echo "== privacy: as root from this terminal (the terminal's own Full Disk Access applies)"
sudo "$scratch/privacy-probe" "$HOME" Documents "$entry"

echo "== privacy: as a launchd job of the system domain"
plist=$scratch/$label.plist
sudo tee "$plist" > /dev/null <<PLIST
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>Label</key>
	<string>$label</string>
	<key>RunAtLoad</key>
	<true/>
	<key>ProgramArguments</key>
	<array>
		<string>$scratch/privacy-probe</string>
		<string>$HOME</string>
		<string>Documents</string>
		<string>$entry</string>
	</array>
	<key>StandardOutPath</key>
	<string>$scratch/job.out</string>
	<key>StandardErrorPath</key>
	<string>$scratch/job.err</string>
</dict>
</plist>
PLIST
sudo chmod 0644 "$plist"
sudo launchctl bootstrap system "$plist"
for _ in $(seq 1 20); do
  if sudo test -s "$scratch/job.out"; then
    break
  fi
  sleep 0.5
done
sudo cat "$scratch/job.out" "$scratch/job.err" 2>/dev/null || echo "(the job wrote nothing)"

echo "== volumes"
sudo "$scratch/volume-probe" / /Applications /Library "/Library/Application Support" "$HOME" "$HOME/Documents" \
  "$HOME/Library" /System/Volumes/Data /System/Volumes/Data/Applications

echo "== done: please attach all of the above to the report"
