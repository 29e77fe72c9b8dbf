#!/usr/bin/env python3
"""Times the removal tool against `rm -rf` on identical trees, shape by shape.

    bench/remover-bench.py [--tool PATH] [--pairs N] [--disk FOLDER]
                           [--tmpfs FOLDER] [--shapes NAME,...]
                           [--filesystems tmpfs,disk]

Runs are interleaved (tool, rm, tool, rm ...) on freshly made trees. For every
shape and file system it prints the median times, the median of the pairwise
ratios tool/rm, the tool's peak memory as /usr/bin/time -v reports it, its
share of a processor (above 100 % means more than one worker was busy) and
the threads it ran, counted in one extra untimed run under strace. The tool
removes only its fixed list, so each tree is laid where the user's external
data folder lives in a temporary home and the tool runs with mask 4.

The tmpfs run needs a tmpfs: by default /dev/shm; the disk run by default
/var/tmp. Check with `df -T` that the two really differ.
"""
import argparse
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_TOOL = os.path.join(HERE, "..", "build", "TallowmereUninstallWizard.app", "Contents", "MacOS", "main")
MACHINE_WIDE = ["/Applications/Tallowmere 5.4.1", "/Library/Application Support/Nordaxis"]
FOLDER_FLAGS = os.O_RDONLY | os.O_DIRECTORY | os.O_NOFOLLOW


def write_files(folder_fd, count):
    for f in range(count):
        fd = os.open("file%05d.dat" % f, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644, dir_fd=folder_fd)
        os.write(fd, b"x" * 64)
        os.close(fd)


def descend(folder_fd, name):
    """Makes the folder `name` inside folder_fd and returns it open."""
    os.mkdir(name, dir_fd=folder_fd)
    return os.open(name, FOLDER_FLAGS, dir_fd=folder_fd)


def make_under_chain(target, links, folders, files):
    """`folders` folders of `files` files each, under a chain of `links` single folders."""
    os.makedirs(target)
    fd = os.open(target, FOLDER_FLAGS)
    for level in range(links):
        inner = descend(fd, "level%d" % level)
        os.close(fd)
        fd = inner
    for d in range(folders):
        sub = descend(fd, "f%04d" % d)
        write_files(sub, files)
        os.close(sub)
    os.close(fd)


def make_flat(target):
    os.makedirs(target)
    fd = os.open(target, FOLDER_FLAGS)
    write_files(fd, 100000)
    os.close(fd)


def make_chain(target, depth):
    """Made with folder descriptors: 10,000 levels are far beyond PATH_MAX."""
    os.makedirs(target)
    fd = os.open(target, FOLDER_FLAGS)
    for _ in range(depth):
        inner = descend(fd, "d")
        os.close(fd)
        fd = inner
    write_files(fd, 1)
    os.close(fd)


SHAPES = [
    ("wide", "1,000 folders x 100 files at the top", lambda t: make_under_chain(t, 0, 1000, 100)),
    ("narrow1", "the same under one subfolder", lambda t: make_under_chain(t, 1, 1000, 100)),
    ("narrow3", "the same under a chain of three", lambda t: make_under_chain(t, 3, 1000, 100)),
    ("flat", "100,000 files in one folder", make_flat),
    ("deep200", "a chain of 200 folders", lambda t: make_chain(t, 200)),
    ("deep10000", "a chain of 10,000 folders", lambda t: make_chain(t, 10000)),
]


def timed(argv, work):
    """Wall seconds, peak resident KiB and share of a processor (%) of one run."""
    log = os.path.join(work, "time.log")
    start = time.perf_counter()
    subprocess.run(["/usr/bin/time", "-v", "-o", log] + argv, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    seconds = time.perf_counter() - start
    peak = cpu = 0
    with open(log) as text:
        for line in text:
            if "Maximum resident set size" in line:
                peak = int(line.split(":")[1])
            elif "Percent of CPU this job got" in line:
                cpu = int(line.split(":")[1].strip().rstrip("%") or 0)
    return seconds, peak, cpu


def remove_quietly(path):
    # shutil.rmtree recurses in Python and gives up on the 10,000-level chain.
    subprocess.run(["rm", "-rf", path], check=False)


def run_tool(tool, home, work):
    result = os.path.join(work, "result.log")
    t, peak, cpu = timed([tool, "4", home, result], work)
    with open(result) as verdict:
        if verdict.read() != "success" or os.path.exists(os.path.join(home, "Documents", "Nordaxis")):
            sys.exit("the tool did not remove the tree")
    return t, peak, cpu


def threads_used(tool, make, work):
    """Threads the tool ran, counted from its clone calls in an untimed run."""
    home = os.path.join(work, "home")
    make(os.path.join(home, "Documents", "Nordaxis"))
    trace = os.path.join(work, "strace.log")
    subprocess.run(["strace", "-f", "-qq", "-e", "trace=clone,clone3", "-o", trace,
                    tool, "4", home, os.path.join(work, "result.log")], check=True)
    remove_quietly(home)
    with open(trace) as text:
        return 1 + sum(1 for line in text if re.search(r"\bclone3?\(", line) and "= -1" not in line)


def run_shape(shape, tool, pairs, work):
    name, _, make = shape
    tool_times, rm_times, peaks, cpus = [], [], [], []
    for _ in range(pairs):
        home = os.path.join(work, "home")
        make(os.path.join(home, "Documents", "Nordaxis"))
        os.sync()
        t, peak, cpu = run_tool(tool, home, work)
        remove_quietly(home)

        tree = os.path.join(work, "rm-tree")
        make(tree)
        os.sync()
        r, _, _ = timed(["rm", "-rf", tree], work)
        tool_times.append(t)
        rm_times.append(r)
        peaks.append(peak)
        cpus.append(cpu)
    threads = threads_used(tool, make, work) if os.access("/usr/bin/strace", os.X_OK) else None
    ratios = [t / r for t, r in zip(tool_times, rm_times)]
    return (statistics.median(tool_times), statistics.median(rm_times), statistics.median(ratios),
            max(peaks) / 1024, statistics.median(cpus), threads)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--tool", default=DEFAULT_TOOL)
    parser.add_argument("--pairs", type=int, default=5)
    parser.add_argument("--disk", default="/var/tmp", help="folder on a disk for the trees")
    parser.add_argument("--tmpfs", default="/dev/shm", help="folder on a tmpfs for the trees")
    parser.add_argument("--shapes", default=",".join(s[0] for s in SHAPES))
    parser.add_argument("--filesystems", default="tmpfs,disk")
    args = parser.parse_args()
    if not os.access(args.tool, os.X_OK):
        sys.exit("no tool at %s; build first" % args.tool)
    if not os.access("/usr/bin/time", os.X_OK):
        sys.exit("needs /usr/bin/time (Debian package: time)")
    for path in MACHINE_WIDE:
        if os.path.exists(path):
            sys.exit("%s exists here; the tool would remove it" % path)
    wanted = args.shapes.split(",")
    print("%-10s %-6s %9s %9s %6s %9s %5s %7s" % ("shape", "fs", "tool s", "rm s", "ratio", "peak MiB", "cpu%",
                                                  "threads"))
    for fs_name, where in (("tmpfs", args.tmpfs), ("disk", args.disk)):
        if fs_name not in args.filesystems.split(","):
            continue
        work = tempfile.mkdtemp(prefix="remover-bench.", dir=where)
        try:
            for shape in SHAPES:
                if shape[0] not in wanted:
                    continue
                tool_s, rm_s, ratio, peak, cpu, threads = run_shape(shape, args.tool, args.pairs, work)
                print("%-10s %-6s %9.4f %9.4f %6.2f %9.2f %5d %7s" % (shape[0], fs_name, tool_s, rm_s, ratio, peak,
                                                                      cpu, threads if threads else "?"),
                      flush=True)
        finally:
            remove_quietly(work)


if __name__ == "__main__":
    main()
