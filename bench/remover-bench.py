#!/usr/bin/env python3
"""Times the removal tool against `rm -rf` on identical trees, as an uninstall meets them.

    bench/remover-bench.py [--tool PATH | --engine PATH --workers 1,2,4]
                           [--pairs N] [--shapes NAME,...]
                           [--filesystems tmpfs,ext4,xfs,btrfs] [--caches synced,cold]
                           [--disk FOLDER] [--tmpfs FOLDER] [--image-gib N]

Data met by an uninstall has been on disk for a long time, so every tree is
written and then synced before its timed run (a tree that was never synced is
mostly removed in memory: its blocks were never even allocated). The cold
variant also drops the page, folder and inode caches before each timed run
(`sync; echo 3 > /proc/sys/vm/drop_caches`), as after a restart; it is not run
on tmpfs, which has no disk to read from.

"ext4", "xfs" and "btrfs" are file systems without `discard` (a freed block
there is no device request, as on most desktop disks): by default an image
file in /var/tmp that the benchmark makes, loop-mounts with direct I/O (no
second page cache), and removes at the end; --disk names a folder on a file
system of your own instead (one at a time). "tmpfs" is /dev/shm unless --tmpfs
says otherwise. The tools that make xfs and btrfs (Debian packages xfsprogs,
btrfs-progs) are installed through scripts/install-deps.sh when missing: the
benchmark needs them, the build and the tests do not.

Each shape runs --pairs pairs (default 5); within a pair the tool and rm take
turns to go first, so that a drift of the machine hits both alike. For every
shape, file system and cache state one row shows the median times, the median
of the pairwise ratios tool/rm with their spread (lowest-highest), the tool's
peak memory as /usr/bin/time -v reports it, its share of a processor (above
100 % means more than one worker was busy), the processor seconds (user and
system, medians) of the tool and of rm, which show the work done better than
the wall times when the machine is busy, the threads the tool ran (counted in
one extra untimed run under strace) and the load average at the row's end.

--engine runs the benchmark build of the removal engine
(`cmake --build build-release --target remover_engine_bench`) instead of the
tool, once per worker count of --workers: `PATH --workers N FOLDER`; N workers
run from the start, and 0 lets the engine choose as the tool does.

Needs root (the image, the cold variant and the tool itself), /usr/bin/time
(Debian package time) and, for the thread count, strace. The tool removes only
its fixed list, so each tree is laid where the user's external data folder
lives in a temporary home and the tool runs with mask 4.
"""
import argparse
import contextlib
import os
import re
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
BUNDLE_TOOL = os.path.join("TallowmereUninstallWizard.app", "Contents", "MacOS", "main")
MACHINE_WIDE = ["/Applications/Tallowmere 5.4.1", "/Library/Application Support/Nordaxis"]
FOLDER_FLAGS = os.O_RDONLY | os.O_DIRECTORY | os.O_NOFOLLOW
FILE_BYTES = b"x" * 64


def default_tool():
    """The release build when there is one: that is what ships."""
    for build in ("build-release", "build"):
        path = os.path.join(ROOT, build, BUNDLE_TOOL)
        if os.access(path, os.X_OK):
            return path
    return os.path.join(ROOT, "build-release", BUNDLE_TOOL)


def write_files(folder_fd, count):
    for f in range(count):
        fd = os.open("file%07d.dat" % f, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644, dir_fd=folder_fd)
        os.write(fd, FILE_BYTES)
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


def make_flat(target, files):
    os.makedirs(target)
    fd = os.open(target, FOLDER_FLAGS)
    write_files(fd, files)
    os.close(fd)


def make_chain_with_sides(target, depth, files_every, sides_every, files):
    """A chain with `files` files every `files_every` levels and, every
    `sides_every` levels, a side folder of `files` files."""
    os.makedirs(target)
    fd = os.open(target, FOLDER_FLAGS)
    for level in range(depth):
        if level % files_every == 0:
            write_files(fd, files)
        if level % sides_every == 0:
            side = descend(fd, "side")
            write_files(side, files)
            os.close(side)
        inner = descend(fd, "d")
        os.close(fd)
        fd = inner
    write_files(fd, 1)
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


# name, description, maker, file systems it runs on unless named in --shapes
SHAPES = [
    ("wide", "1,000 folders x 100 files at the top", lambda t: make_under_chain(t, 0, 1000, 100), None),
    ("narrow1", "the same under one subfolder", lambda t: make_under_chain(t, 1, 1000, 100), None),
    ("narrow3", "the same under a chain of three", lambda t: make_under_chain(t, 3, 1000, 100), None),
    ("tens", "10 folders x 10,000 files", lambda t: make_under_chain(t, 0, 10, 10000), None),
    ("flat", "100,000 files in one folder", lambda t: make_flat(t, 100000), None),
    ("flat1m", "1,000,000 files in one folder", lambda t: make_flat(t, 1000000), {"tmpfs"}),
    ("deep200", "a chain of 200 folders", lambda t: make_chain(t, 200), None),
    ("deep10000", "a chain of 10,000 folders", lambda t: make_chain(t, 10000), None),
    ("chain12k", "a chain of 12,000 folders, 3 files every 50 levels, a side folder of 3 files every 100",
     lambda t: make_chain_with_sides(t, 12000, 50, 100, 3), None),
]
DEFAULT_SHAPES = ["wide", "narrow1", "narrow3", "tens", "flat", "flat1m", "deep200", "deep10000", "chain12k"]
# How each file system on an image is made and mounted, without discard.
IMAGE_FILE_SYSTEMS = {
    "ext4": (["mkfs.ext4", "-q", "-F", "-E", "nodiscard,lazy_itable_init=0,lazy_journal_init=0", "-i", "8192"],
             "nodiscard", "e2fsprogs"),
    "xfs": (["mkfs.xfs", "-q", "-f", "-K"], "nodiscard", "xfsprogs"),
    "btrfs": (["mkfs.btrfs", "-q", "-f", "-K"], "nodiscard", "btrfs-progs"),
}


def settle(cache):
    """Writes everything out; for a cold run also forgets what was read."""
    os.sync()
    if cache == "cold":
        with open("/proc/sys/vm/drop_caches", "w") as drop:
            drop.write("3\n")


def timed(argv, work):
    """Wall seconds, peak resident KiB, share of a processor (%) and processor seconds of one run."""
    log = os.path.join(work, "time.log")
    start = time.perf_counter()
    subprocess.run(["/usr/bin/time", "-v", "-o", log] + argv, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    seconds = time.perf_counter() - start
    peak = cpu = 0
    processor = 0.0
    with open(log) as text:
        for line in text:
            if "Maximum resident set size" in line:
                peak = int(line.split(":")[1])
            elif "Percent of CPU this job got" in line:
                cpu = int(line.split(":")[1].strip().rstrip("%") or 0)
            elif "User time (seconds)" in line or "System time (seconds)" in line:
                processor += float(line.split(":")[1])
    return seconds, peak, cpu, processor


def remove_quietly(path):
    # shutil.rmtree recurses in Python and gives up on the 10,000-level chain.
    subprocess.run(["rm", "-rf", path], check=False)


class ToolRun:
    """The removal tool as the wizard starts it, on a tree in a temporary home."""

    def __init__(self, tool):
        self.tool = tool
        self.label = "tool"

    def tree(self, work):
        return os.path.join(work, "home", "Documents", "Nordaxis")

    def argv(self, work):
        return [self.tool, "4", os.path.join(work, "home"), os.path.join(work, "result.log")]

    def check(self, work):
        with open(os.path.join(work, "result.log")) as verdict:
            if verdict.read() != "success" or os.path.exists(self.tree(work)):
                sys.exit("the tool did not remove the tree")
        remove_quietly(os.path.join(work, "home"))


class EngineRun(ToolRun):
    """The benchmark build of the engine, with a chosen number of workers."""

    def __init__(self, engine, workers):
        super().__init__(engine)
        self.workers = workers
        self.label = "adaptive" if workers == 0 else "%d worker%s" % (workers, "" if workers == 1 else "s")

    def tree(self, work):
        return os.path.join(work, "engine-tree")

    def argv(self, work):
        return [self.tool, "--workers", str(self.workers), self.tree(work)]

    def check(self, work):
        if os.path.exists(self.tree(work)):
            sys.exit("the engine did not remove the tree")


def threads_used(run, make, work):
    """Threads the tool ran, counted from its clone calls in an untimed run."""
    make(run.tree(work))
    trace = os.path.join(work, "strace.log")
    subprocess.run(["strace", "-f", "-qq", "-e", "trace=clone,clone3", "-o", trace] + run.argv(work), check=True)
    run.check(work)
    with open(trace) as text:
        return 1 + sum(1 for line in text if re.search(r"\bclone3?\(", line) and "= -1" not in line)


def run_shape(make, run, pairs, cache, work):
    tool_times, rm_times, peaks, cpus, tool_processor, rm_processor = [], [], [], [], [], []
    rm_tree = os.path.join(work, "rm-tree")

    def tool_turn():
        make(run.tree(work))
        settle(cache)
        t, peak, cpu, processor = timed(run.argv(work), work)
        run.check(work)
        tool_times.append(t)
        peaks.append(peak)
        cpus.append(cpu)
        tool_processor.append(processor)

    def rm_turn():
        make(rm_tree)
        settle(cache)
        r, _, _, processor = timed(["rm", "-rf", rm_tree], work)
        rm_times.append(r)
        rm_processor.append(processor)

    for pair in range(pairs):
        for turn in ((tool_turn, rm_turn) if pair % 2 == 0 else (rm_turn, tool_turn)):
            turn()
    ratios = sorted(t / r for t, r in zip(tool_times, rm_times))
    return {
        "tool": statistics.median(tool_times),
        "rm": statistics.median(rm_times),
        "ratio": statistics.median(ratios),
        "low": ratios[0],
        "high": ratios[-1],
        "peak": max(peaks) / 1024,
        "cpu": statistics.median(cpus),
        "processor": statistics.median(tool_processor),
        "rm_processor": statistics.median(rm_processor),
    }


def unmount(mount):
    """A run that was interrupted may still hold the file system for a moment."""
    for _ in range(20):
        if subprocess.run(["umount", mount], check=False, stderr=subprocess.DEVNULL).returncode == 0:
            return
        time.sleep(0.5)
    subprocess.run(["umount", "--lazy", mount], check=False)


@contextlib.contextmanager
def image_file_system(kind, gib):
    """A file system of `kind` without discard on a loop device, removed afterwards."""
    mkfs, options, _ = IMAGE_FILE_SYSTEMS[kind]
    holder = tempfile.mkdtemp(prefix="remover-bench-image.", dir="/var/tmp")
    image = os.path.join(holder, kind + ".img")
    mount = os.path.join(holder, "mnt")
    os.mkdir(mount)
    device = None
    try:
        # Written out in full, so that the host file system allocates nothing
        # while a run writes into the image.
        subprocess.run(["dd", "if=/dev/zero", "of=" + image, "bs=4M", "count=%d" % (gib * 256), "oflag=direct",
                        "status=none"], check=True)
        subprocess.run(mkfs + [image], check=True, stdout=subprocess.DEVNULL)
        device = subprocess.run(["losetup", "--direct-io=on", "--find", "--show", image], check=True,
                                capture_output=True, text=True).stdout.strip()
        subprocess.run(["mount", "-t", kind, "-o", options, device, mount], check=True)
        try:
            yield mount
        finally:
            unmount(mount)
    finally:
        if device:
            subprocess.run(["losetup", "--detach", device], check=False, stderr=subprocess.DEVNULL)
        # Never into the mount, should it still be there.
        subprocess.run(["rm", "-rf", "--one-file-system", holder], check=False)


def mount_options(folder):
    """Type and options of the file system that holds `folder` (the last one mounted there)."""
    lines = subprocess.run(["findmnt", "-n", "-o", "FSTYPE,OPTIONS", "--target", folder], capture_output=True,
                           text=True).stdout.splitlines()
    found = lines[-1].split() if lines else []
    return found if len(found) == 2 else ["?", "?"]


def bench_filesystem(fs_name, where, args, runs, shapes):
    fstype, options = mount_options(where)
    if "discard" in options.split(","):
        print("note: %s is mounted with discard; its timings are dominated by device requests" % where)
    work = tempfile.mkdtemp(prefix="remover-bench.", dir=where)
    try:
        for cache in args.caches.split(","):
            if cache == "cold" and fstype == "tmpfs":
                continue
            for name, _, make, only_on in SHAPES:
                if name not in shapes or (only_on and fs_name not in only_on and name not in args.shapes_given):
                    continue
                for run in runs:
                    row = run_shape(make, run, args.pairs, cache, work)
                    threads = threads_used(run, make, work) if args.strace else "?"
                    print("| %s | %s | %s | %s | %.3f | %.3f | %.2f (%.2f-%.2f) | %.1f | %d | %.2f / %.2f | %s | %.1f |"
                          % (name, fs_name, cache, run.label, row["tool"], row["rm"], row["ratio"], row["low"],
                             row["high"], row["peak"], row["cpu"], row["processor"], row["rm_processor"], threads,
                             os.getloadavg()[0]), flush=True)
    finally:
        remove_quietly(work)


def stop(signum, frame):
    raise KeyboardInterrupt  # so that the image is unmounted and every tree removed


def main():
    signal.signal(signal.SIGTERM, stop)
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--tool", default=None, help="the removal tool (default: the release build's)")
    parser.add_argument("--engine", default=None, help="the engine's benchmark build, run instead of the tool")
    parser.add_argument("--workers", default="1,2,4", help="worker counts for --engine")
    parser.add_argument("--pairs", type=int, default=5)
    parser.add_argument("--disk", default=None, help="a folder on a disk of your own instead of the image")
    parser.add_argument("--image-gib", type=int, default=2, help="size of the images")
    parser.add_argument("--tmpfs", default="/dev/shm", help="folder on a tmpfs for the trees")
    parser.add_argument("--shapes", default=None, help="of: " + ",".join(s[0] for s in SHAPES))
    parser.add_argument("--filesystems", default="tmpfs,ext4,xfs")
    parser.add_argument("--caches", default="synced,cold")
    args = parser.parse_args()
    args.shapes_given = args.shapes.split(",") if args.shapes else []
    shapes = args.shapes_given or DEFAULT_SHAPES

    if os.geteuid() != 0:
        sys.exit("run as root: the tool, the image and the cold runs need it")
    if not os.access("/usr/bin/time", os.X_OK):
        sys.exit("needs /usr/bin/time (Debian package: time)")
    for path in MACHINE_WIDE:
        if os.path.exists(path):
            sys.exit("%s exists here; the tool would remove it" % path)
    if args.engine:
        if not os.access(args.engine, os.X_OK):
            sys.exit("no engine benchmark at %s; build remover_engine_bench first" % args.engine)
        runs = [EngineRun(args.engine, int(n)) for n in args.workers.split(",")]
    else:
        tool = args.tool or default_tool()
        if not os.access(tool, os.X_OK):
            sys.exit("no tool at %s; build first" % tool)
        runs = [ToolRun(tool)]
    args.strace = os.access("/usr/bin/strace", os.X_OK)

    print("%d processors, load %s, pairs %d" % (os.cpu_count(), " ".join("%.1f" % l for l in os.getloadavg()),
                                                 args.pairs))
    print("| shape | fs | cache | run | tool s | rm s | tool/rm (spread) | peak MiB | cpu% | cpu s tool / rm | threads"
          " | load |")
    print("|---|---|---|---|---|---|---|---|---|---|---|---|")
    names = args.filesystems.split(",")
    for fs_name in names:
        if fs_name not in ("tmpfs", "disk") and fs_name not in IMAGE_FILE_SYSTEMS:
            sys.exit("unknown file system %s: tmpfs, disk, %s" % (fs_name, ", ".join(IMAGE_FILE_SYSTEMS)))
    if not args.disk:
        needed = [IMAGE_FILE_SYSTEMS[n][2] for n in names if n in IMAGE_FILE_SYSTEMS
                  and not shutil.which(IMAGE_FILE_SYSTEMS[n][0][0])]
        if needed:
            subprocess.run([os.path.join(ROOT, "scripts", "install-deps.sh")] + needed, check=True)
    for fs_name in names:
        if fs_name == "tmpfs":
            bench_filesystem(fs_name, args.tmpfs, args, runs, shapes)
        elif args.disk:
            bench_filesystem(fs_name, args.disk, args, runs, shapes)
        else:
            with image_file_system(fs_name, args.image_gib) as mount:
                bench_filesystem(fs_name, mount, args, runs, shapes)


if __name__ == "__main__":
    main()
