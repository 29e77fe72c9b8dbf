#!/usr/bin/env bash
# Settles on a Mac, in about a minute, what cannot be seen without one:
#  1. whether a launchd job of the system domain (root, no Full Disk Access,
#     as the removal tool runs) can open, list and look up entries inside
#     ~/Documents, compared with the user and with root from this terminal;
#  2. what the device numbers, F_GETPATH, statfs's mount point and the mount
#     status say for /Applications, /Library and the home folder, which lie
#     on the Data volume since 10.15;
#  3. whether such a job, signed ad hoc as a locally built tool is, may change
#     the contents of another team's application bundle (App Management,
#     macOS 13 and later): the bundle named as the second argument (default
#     /Applications/Tallowmere.app when it is there), and the same from this
#     terminal.
# Needs the command line tools (cc) and an administrator password (sudo).
# Leaves nothing behind: the job is removed and the scratch folder deleted.
#
#   scripts/macos-probes/run-probes.sh [entry name under ~/Documents] [app bundle]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
entry=${1:-Nordaxis}
label=tallowmere-uninstall-privacy-probe
app=${2:-/Applications/Tallowmere.app}

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
cc -Wall -Wextra -o "$build/app-management-probe" "$here/app-management-probe.c"
sudo install -o root -g wheel -m 0755 "$build/privacy-probe" "$build/volume-probe" \
  "$build/app-management-probe" "$scratch/"
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

# Runs the probe as a launchd job of the system domain and prints its output.
run_as_job() {
  local name=$1; shift
  local job=$label-$name plist=$scratch/$label-$name.plist argument
  {
    echo '<?xml version="1.0" encoding="UTF-8"?>'
    echo '<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">'
    echo "<plist version=\"1.0\"><dict><key>Label</key><string>$job</string>"
    echo "<key>RunAtLoad</key><true/><key>ProgramArguments</key><array>"
    for argument in "$@"; do echo "<string>$argument</string>"; done
    echo "</array><key>StandardOutPath</key><string>$scratch/$name.out</string>"
    echo "<key>StandardErrorPath</key><string>$scratch/$name.err</string></dict></plist>"
  } | sudo tee "$plist" > /dev/null
  sudo chmod 0644 "$plist"
  sudo launchctl bootstrap system "$plist"
  for _ in $(seq 1 20); do
    sudo test -s "$scratch/$name.out" && break
    sleep 0.5
  done
  sudo cat "$scratch/$name.out" "$scratch/$name.err" 2>/dev/null || echo "(the job wrote nothing)"
  sudo launchctl bootout "system/$job" 2>/dev/null || true
}

if [ -d "$app" ]; then
  echo "== App Management: $app ($(codesign -dv "$app" 2>&1 | grep -E '^TeamIdentifier' || echo 'no team'))"
  echo "-- as root from this terminal (the terminal's own App Management or Full Disk Access applies)"
  sudo "$scratch/app-management-probe" "$app"
  echo "-- as a launchd job of the system domain, signed ad hoc"
  run_as_job app-management "$scratch/app-management-probe" "$app"
else
  echo "== App Management: $app not found (name an app bundle of another team as the second argument)"
fi

echo "== volumes"
sudo "$scratch/volume-probe" / /Applications /Library "/Library/Application Support" "$HOME" "$HOME/Documents" \
  "$HOME/Library" /System/Volumes/Data /System/Volumes/Data/Applications

echo "== done: please attach all of the above to the report"
