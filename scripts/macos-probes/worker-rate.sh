#!/usr/bin/env bash
# Prints, in about a minute, how fast the removal engine removes a test tree
# on this Mac with 1, 2 and 4 workers, with the count it chooses itself
# ("adaptive"), and how fast rm -rf does: entries (files and folders) per
# second, the median of two rounds, each tree written and synced before its
# run. Two shapes of 10,000 files: 50 folders of 200 files, and one folder.
# Works in a temporary folder of the user's (on the startup disk) and leaves
# nothing behind; needs the command line tools (c++, python3), not sudo.
#
#   scripts/macos-probes/worker-rate.sh
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
scratch=$(mktemp -d "${TMPDIR:-/tmp}/tw-worker-rate.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

sources=()
for name in ChoiceMask PathWalk RemovalLists ResultFile RemovalTool RemovalResult EntryRemoval FolderTreeRemoval FolderCalls \
  FolderNode FolderListing WorkerPool WorkerController FolderWalk InodeOrder UntrustedMounts \
  PathWalk_mac EntryIdentity_mac UntrustedMounts_mac; do
  sources+=("$root/remover/$name.cpp")
done
c++ -std=c++17 -O2 -DNDEBUG -I"$root/remover" -o "$scratch/engine" "$root/bench/remover-engine.cpp" "${sources[@]}"

echo "== macOS $(sw_vers -productVersion) ($(uname -m)), $(sysctl -n hw.ncpu) processors"
device=$(df "$scratch" | awk 'NR == 2 { print $1 }')
echo "== $scratch on: $(mount | grep "^$device on" || echo '?')"
python3 - "$scratch" <<'PY'
import os, statistics, subprocess, sys, time

scratch = sys.argv[1]
engine = os.path.join(scratch, "engine")


def make(tree, folders, files):
    os.mkdir(tree)
    for d in range(folders):
        folder = os.path.join(tree, "f%03d" % d) if folders > 1 else tree
        if folders > 1:
            os.mkdir(folder)
        for f in range(files):
            with open(os.path.join(folder, "file%05d" % f), "wb") as out:
                out.write(b"x" * 64)
    os.sync()
    return folders + folders * files if folders > 1 else files


runs = [("1 worker", [engine, "--workers", "1"]), ("2 workers", [engine, "--workers", "2"]),
        ("4 workers", [engine, "--workers", "4"]), ("adaptive", [engine, "--workers", "0"]), ("rm -rf", ["rm", "-rf"])]
for shape, folders, files in (("50 folders x 200 files", 50, 200), ("one folder of 10,000 files", 1, 10000)):
    rates = {label: [] for label, _ in runs}
    for round_ in range(2):
        for label, argv in (runs if round_ % 2 == 0 else list(reversed(runs))):
            tree = os.path.join(scratch, "tree")
            entries = make(tree, folders, files)
            start = time.perf_counter()
            subprocess.run(argv + [tree], check=True)
            seconds = time.perf_counter() - start
            if os.path.exists(tree):
                sys.exit("%s left the tree behind" % label)
            rates[label].append(entries / seconds)
    print("-- %s" % shape)
    for label, _ in runs:
        print("   %-10s %8.0f entries/s" % (label, statistics.median(rates[label])))
PY
echo "== done: please attach all of the above to the report"
