#!/usr/bin/env bash
# Times the removal tool against `rm -rf` on identical trees, interleaved
# (tool, rm, tool, rm ...), and reports medians, the median of the pairwise
# ratios tool/rm and the tool's peak memory.
#
#   bench/remover-bench.sh [path/to/main] [pairs]
#
# The tool removes only its fixed list, so each tree is laid where the user's
# external data folder lives in a temporary home and the tool runs with mask 4.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tool=${1:-$here/../build/TallowmereUninstallWizard.app/Contents/MacOS/main}
pairs=${2:-7}
[ -x "$tool" ] || { echo "no tool at $tool; build first" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (Debian package: time)" >&2; exit 1; }
for p in "/Applications/Tallowmere 5.4.1" "/Library/Application Support/Nordaxis"; do
  [ -e "$p" ] && { echo "$p exists here; the tool would remove it" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/remover-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

make_tree() {  # kind target
  python3 - "$1" "$2" <<'PY'
import os, sys
kind, target = sys.argv[1], sys.argv[2]
if kind == "wide":
    for d in range(1000):
        folder = os.path.join(target, "f%04d" % d)
        os.makedirs(folder)
        for f in range(100):
            with open(os.path.join(folder, "file%03d.dat" % f), "wb") as out:
                out.write(b"x" * 64)
else:
    path = target
    for d in range(200):
        path = os.path.join(path, "level%03d" % d)
    os.makedirs(path)
    with open(os.path.join(path, "leaf.dat"), "wb") as out:
        out.write(b"x")
PY
  sync
}

seconds_of() {  # command... ; prints wall seconds, peak KiB
  local log=$work/time.log
  /usr/bin/time -f "%e %M" -o "$log" "$@" >/dev/null 2>&1
  cat "$log"
}

run_kind() {
  local kind=$1 tool_times=() rm_times=() tool_mem=()
  echo "== $kind tree, $pairs pairs"
  for ((i = 0; i < pairs; i++)); do
    home=$work/home
    rm -rf "$home"; mkdir -p "$home/Documents"
    make_tree "$kind" "$home/Documents/Nordaxis"
    read -r t m < <(seconds_of "$tool" 4 "$home" "$work/result.log")
    [ "$(cat "$work/result.log")" = success ] || { echo "tool did not report success" >&2; exit 1; }
    [ ! -e "$home/Documents/Nordaxis" ] || { echo "tool left the tree" >&2; exit 1; }
    tool_times+=("$t"); tool_mem+=("$m")

    make_tree "$kind" "$work/rm-tree"
    read -r r _ < <(seconds_of rm -rf "$work/rm-tree")
    rm_times+=("$r")
    echo "  pair $((i + 1)): tool ${t}s (${m} KiB)  rm ${r}s"
  done
  python3 - "${tool_times[*]}" "${rm_times[*]}" "${tool_mem[*]}" <<'PY'
import statistics, sys
tool = [float(x) for x in sys.argv[1].split()]
rm = [float(x) for x in sys.argv[2].split()]
mem = [int(x) for x in sys.argv[3].split()]
ratios = [t / r if r > 0 else float("nan") for t, r in zip(tool, rm)]
print("  median tool %.3fs  median rm %.3fs  median ratio tool/rm %.2f  peak memory %.2f MiB (max)"
      % (statistics.median(tool), statistics.median(rm), statistics.median(ratios), max(mem) / 1024))
PY
}

run_kind wide
run_kind chain
