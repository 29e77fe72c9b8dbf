#!/usr/bin/env python3
"""Times the removal tool against `rm -rf` on identical trees.

    bench/remover-bench.py [--tool PATH] [--pairs N] [--where FOLDER]

Runs are interleaved (tool, rm, tool, rm ...). Prints the median times, the
median of the pairwise ratios tool/rm and the tool's peak memory as
/usr/bin/time -v reports it. The tool removes only its fixed list, so each
tree is laid where the user's external data folder lives in a temporary home
and the tool runs with mask 4.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_TOOL = os.path.join(HERE, "..", "build", "TallowmereUninstallWizard.app", "Contents", "MacOS", "main")
MACHINE_WIDE = ["/Applications/Tallowmere 5.4.1", "/Library/Application Support/Nordaxis"]


def make_wide(target):
    for d in range(1000):
        folder = os.path.join(target, "f%04d" % d)
        os.makedirs(folder)
        for f in range(100):
            with open(os.path.join(folder, "file%03d.dat" % f), "wb") as out:
                out.write(b"x" * 64)


def make_chain(target):
    path = target
    for d in range(200):
        path = os.path.join(path, "level%03d" % d)
    os.makedirs(path)
    with open(os.path.join(path, "leaf.dat"), "wb") as out:
        out.write(b"x")


def timed(argv, work):
    """Wall seconds and peak resident KiB of one run."""
    log = os.path.join(work, "time.log")
    start = time.perf_counter()
    subprocess.run(["/usr/bin/time", "-v", "-o", log] + argv, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    seconds = time.perf_counter() - start
    with open(log) as text:
        peak = next(int(line.split(":")[1]) for line in text if "Maximum resident set size" in line)
    return seconds, peak


def run_kind(name, make, tool, pairs, work):
    print("== %s tree, %d pairs" % (name, pairs))
    tool_times, rm_times, peaks = [], [], []
    for i in range(pairs):
        home = os.path.join(work, "home")
        shutil.rmtree(home, ignore_errors=True)
        make(os.path.join(home, "Documents", "Nordaxis"))
        os.sync()
        result = os.path.join(work, "result.log")
        t, peak = timed([tool, "4", home, result], work)
        with open(result) as verdict:
            if verdict.read() != "success" or os.path.exists(os.path.join(home, "Documents", "Nordaxis")):
                sys.exit("the tool did not remove the tree")

        tree = os.path.join(work, "rm-tree")
        make(tree)
        os.sync()
        r, _ = timed(["rm", "-rf", tree], work)
        tool_times.append(t)
        rm_times.append(r)
        peaks.append(peak)
        print("  pair %d: tool %.4fs (%d KiB)  rm %.4fs" % (i + 1, t, peak, r))
    ratios = [t / r for t, r in zip(tool_times, rm_times)]
    print("  median tool %.4fs  median rm %.4fs  median ratio tool/rm %.2f  peak memory %.2f MiB"
          % (statistics.median(tool_times), statistics.median(rm_times), statistics.median(ratios),
             max(peaks) / 1024))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--tool", default=DEFAULT_TOOL)
    parser.add_argument("--pairs", type=int, default=7)
    parser.add_argument("--where", default=tempfile.gettempdir(), help="folder for the trees")
    args = parser.parse_args()
    if not os.access(args.tool, os.X_OK):
        sys.exit("no tool at %s; build first" % args.tool)
    if not os.access("/usr/bin/time", os.X_OK):
        sys.exit("needs /usr/bin/time (Debian package: time)")
    for path in MACHINE_WIDE:
        if os.path.exists(path):
            sys.exit("%s exists here; the tool would remove it" % path)
    work = tempfile.mkdtemp(prefix="remover-bench.", dir=args.where)
    try:
        run_kind("100,000 files in 1,000 folders", make_wide, args.tool, args.pairs, work)
        run_kind("chain 200 folders deep", make_chain, args.tool, args.pairs, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
