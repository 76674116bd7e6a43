#!/usr/bin/python3
"""Packing throughput and peak memory, next to `cat` and `gsf createole`.

Builds three mod trees (once; they are kept in the work folder):
  large  a handful of files, about 300 MB in all
  medium about 400 files of 0.1-1.5 MB, about 310 MB
  small  20,000 files of 0.2-6 KB
then, for each, times `cat` of the mod's files into one file, `gsf createole`
of the same files, and packing them, and prints the times, the ratios to
`cat` and `gsf`, and the peak resident memory of each (from /usr/bin/time -v).

A fourth column, `copy`, is `bench_pack --copy`: the packer's way of reading
and writing (each file whole into a new buffer, then a 1024-byte header and
the content) into a plain file. Note that GNU cat copies inside the kernel
(copy_file_range), so it never touches the data in user memory; `copy` is
the floor for any program that must, and pack/copy is the cost of the
compound-file format itself.
The machine is noisy: each command runs --repeat times and the fastest run
counts; all of them run with the files in the page cache.

Packing uses `tvpack pack --overwrite` (build/native/cli/tvpack, or --tvpack
PATH); without tvpack, or with --driver, it uses bench_pack, built from
bench/CMakeLists.txt into the work folder.

Then, when the Windows tree is built (build/windows, or --windows DIR, with
its window_pack target), a second table times the small tree three ways,
the runs taken in turn so that the machine's load falls on all of them
alike: native tvpack; tvpack.exe under Wine; and the window program under
Wine, picking the mod in its file dialog (window_pack, which needs an X
display: `make bench` runs this script under xvfb-run). A fourth row,
read_floor, times only the walks and the opens and whole reads of the files
under Wine, with the packer's own calls and nothing written: the floor that
no packer under Wine can go below. With --one-core the whole table runs
on one processor: where waking a process on another processor is slow (a
virtual machine), each round trip to the Wine server pays for it, and this
shows how much of Wine's cost that is. Each row shows the
minimum, median and maximum of --repeat runs and its median's ratio to
native tvpack's; the window's also to tvpack.exe's. One more window run,
not timed, counts how often a second the pane changes on the screen.

Usage: /usr/bin/python3 bench/run_bench.py [--work DIR] [--repeat N]
           [--tvpack PATH | --driver] [--trees large,medium,small]
           [--windows DIR | --no-wine] [--one-core]
"""

import argparse
import os
import random
import re
import shutil
import statistics
import subprocess
import sys
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(REPO, "tests", "support"))
from harness import windows_path  # noqa: E402

MB = 1000 * 1000
WINE_RUN = os.path.join(REPO, "tests", "tools", "wine-run")

# Targets: packing time relative to cat; peak memory over the largest file.
TARGET_RATIO = {"large": 1.3, "medium": 1.3, "small": 1.5}
MEMORY_ALLOWANCE = 32 * 1024 * 1024
# Under Wine: tvpack.exe relative to native tvpack, the window to tvpack.exe.
TARGET_WINE = 5.0
TARGET_WINDOW = 2.0


def tree_shape(name, rng):
    """(relative path, size) of each file under the mod directory."""
    if name == "large":
        sizes = [40, 45, 50, 55, 50, 60]
        return [("data/part%d.bin" % i, s * MB) for i, s in enumerate(sizes)]
    if name == "medium":
        return [("dir%02d/file%03d.bin" % (i % 20, i), rng.randint(100_000, 1_500_000)) for i in range(400)]
    if name == "small":
        return [("d%03d/f%05d.dat" % (i // 200, i), rng.randint(200, 6000)) for i in range(19_999)]
    raise ValueError(name)


def build_tree(work, name):
    """Creates mod `name` (NAME.tvx and directory NAME) unless present; returns its files."""
    mod_file = os.path.join(work, name + ".tvx")
    mod_dir = os.path.join(work, name)
    rng = random.Random(name)
    shape = tree_shape(name, rng)
    stamp = os.path.join(work, name + ".complete")
    if not os.path.exists(stamp):
        shutil.rmtree(mod_dir, ignore_errors=True)
        with open(mod_file, "wb") as f:
            f.write(b"mod " + name.encode() + b"\n" * 100)
        chunk = os.urandom(1 << 20)
        for rel, size in shape:
            path = os.path.join(mod_dir, rel)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                left = size
                while left > 0:
                    piece = min(left, len(chunk))
                    start = rng.randrange(0, len(chunk) - piece + 1)
                    f.write(chunk[start:start + piece])
                    left -= piece
        open(stamp, "w").close()
    files = [mod_file]
    for root, dirs, names in os.walk(mod_dir):
        dirs.sort()
        files.extend(os.path.join(root, n) for n in sorted(names))
    return mod_file, files


def timed(command, output=None, cwd=None):
    """Runs command under /usr/bin/time -v; returns (seconds, peak RSS bytes)."""
    err_path = os.path.join(os.environ.get("TMPDIR", "/tmp"), "bench-time.txt")
    with open(err_path, "w") as err:
        out = open(output, "wb") if output else subprocess.DEVNULL
        start = time.perf_counter()
        result = subprocess.run(["/usr/bin/time", "-v"] + command, stdout=out, stderr=err, cwd=cwd)
        seconds = time.perf_counter() - start
        if output:
            out.close()
    text = open(err_path).read()
    if result.returncode != 0:
        sys.exit("failed: %s\n%s" % (" ".join(command[:3]), text[-2000:]))
    rss = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", text).group(1)) * 1024
    return seconds, rss


def best(repeat, run):
    times, peak = [], 0
    for _ in range(repeat):
        seconds, rss = run()
        times.append(seconds)
        peak = max(peak, rss)
    return min(times), peak


def build_driver(work):
    build = os.path.join(work, "bench-build")
    subprocess.run(["cmake", "-S", os.path.join(REPO, "bench"), "-B", build, "-G", "Ninja",
                    "-DCMAKE_BUILD_TYPE=Release"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build], check=True, stdout=subprocess.DEVNULL)
    return os.path.join(build, "bench_pack")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--work", default="/tmp/tvp-bench")
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--tvpack", default=os.path.join(REPO, "build", "native", "cli", "tvpack"))
    parser.add_argument("--driver", action="store_true", help="pack with bench_pack even if tvpack exists")
    parser.add_argument("--trees", default="large,medium,small")
    parser.add_argument("--windows", default=os.path.join(REPO, "build", "windows"))
    parser.add_argument("--no-wine", action="store_true", help="leave out the table of Wine rows")
    parser.add_argument("--one-core", action="store_true",
                        help="run the Wine table on one processor, to see what waking the Wine server on "
                             "another one costs (the targets are for the machine as it is)")
    args = parser.parse_args()

    for tool in ("gsf", "/usr/bin/time"):
        if not shutil.which(tool):
            sys.exit("missing %s (install libgsf-bin and time)" % tool)
    os.makedirs(args.work, exist_ok=True)
    use_tvpack = not args.driver and os.access(args.tvpack, os.X_OK)
    driver = build_driver(args.work)
    packer = args.tvpack if use_tvpack else driver
    print("packing with %s" % packer)

    rows = []
    for name in args.trees.split(","):
        mod_file, files = build_tree(args.work, name)
        total = sum(os.path.getsize(f) for f in files)
        largest = max(os.path.getsize(f) for f in files)
        out = os.path.join(args.work, "out")
        archive = os.path.join(args.work, name + ".tvp")
        subprocess.run(["cat"] + files, stdout=subprocess.DEVNULL, check=True)  # into the page cache

        def run_cat():
            if os.path.exists(out):
                os.remove(out)
            return timed(["cat"] + files, output=out)

        def run_copy():
            if os.path.exists(out):
                os.remove(out)
            return timed([driver, "--copy", out] + files)

        def run_gsf():
            if os.path.exists(out):
                os.remove(out)
            return timed(["gsf", "createole", out] + files)

        def run_pack():
            if os.path.exists(archive):
                os.remove(archive)
            if use_tvpack:
                return timed([packer, "pack", "--overwrite", mod_file])
            return timed([packer, archive] + files)

        cat_s, cat_rss = best(args.repeat, run_cat)
        copy_s, _ = best(args.repeat, run_copy)
        gsf_s, gsf_rss = best(args.repeat, run_gsf)
        pack_s, pack_rss = best(args.repeat, run_pack)
        archive_size = os.path.getsize(archive)
        os.remove(out)
        rows.append((name, len(files), total, largest, archive_size, cat_s, copy_s, gsf_s, pack_s, cat_rss,
                     gsf_rss, pack_rss))

    print()
    print("%-7s %6s %7s %8s | %6s %6s %6s %6s | %8s %9s %8s | %8s %8s %8s | %s" % (
        "tree", "files", "MB", "largest", "cat s", "copy s", "gsf s", "pack s", "pack/cat", "pack/copy",
        "pack/gsf", "cat RSS", "gsf RSS", "pack RSS", "targets"))
    for (name, count, total, largest, archive_size, cat_s, copy_s, gsf_s, pack_s, cat_rss, gsf_rss,
         pack_rss) in rows:
        ratio = pack_s / cat_s
        limit = largest + MEMORY_ALLOWANCE
        verdict = "time %s (<= %.1fx cat), memory %s (<= largest + 32 MiB = %.1f MB)" % (
            "ok" if ratio <= TARGET_RATIO[name] else "MISSED", TARGET_RATIO[name],
            "ok" if pack_rss <= limit else "MISSED", limit / MB)
        print("%-7s %6d %7.1f %8.1f | %6.2f %6.2f %6.2f %6.2f | %8.2f %9.2f %8.2f | %7.1fM %7.1fM %7.1fM | %s" % (
            name, count, total / MB, largest / MB, cat_s, copy_s, gsf_s, pack_s, ratio, pack_s / copy_s,
            pack_s / gsf_s, cat_rss / MB, gsf_rss / MB, pack_rss / MB, verdict))
        print("%-7s archive %.1f MB (%.2f%% over the files)" % ("", archive_size / MB,
                                                                 100.0 * (archive_size - total) / total))

    if use_tvpack and not args.no_wine:
        wine_table(args)


def run_window(wine, window_pack, app, mod_file, watch=False):
    """One pick of the mod in the window program: (seconds, dialog seconds, pane changes seen)."""
    done = subprocess.run(wine + [window_pack, windows_path(app), windows_path(os.path.dirname(mod_file)),
                           os.path.basename(mod_file)] + (["--watch"] if watch else []),
                          capture_output=True, text=True, timeout=1800)
    found = re.search(r"seconds ([\d.]+) dialog ([\d.]+) changes (\d+)", done.stdout)
    if done.returncode != 0 or not found:
        sys.exit("failed: window_pack\n%s%s" % (done.stdout, done.stderr[-2000:]))
    return float(found.group(1)), float(found.group(2)), int(found.group(3))


def wine_table(args):
    tvpack_exe = os.path.join(args.windows, "cli", "tvpack.exe")
    app = os.path.join(args.windows, "app", "TolvanePacker.exe")
    window_pack = os.path.join(args.windows, "window_pack.exe")
    read_floor = os.path.join(args.windows, "read_floor.exe")
    missing = [p for p in (tvpack_exe, app, window_pack, read_floor) if not os.path.exists(p)]
    if missing:
        print("\nno Wine rows: missing %s (make bench builds them)" % ", ".join(missing))
        return
    windowed = bool(os.environ.get("DISPLAY"))
    mod_file, files = build_tree(args.work, "small")
    archive = mod_file[:-len(".tvx")] + ".tvp"
    subprocess.run(["cat"] + files, stdout=subprocess.DEVNULL, check=True)  # into the page cache

    def fresh():
        if os.path.exists(archive):
            os.remove(archive)

    # With --one-core every row runs on the first processor, the Wine server
    # too (started afresh, so that it inherits the setting).
    pin = ["taskset", "-c", "0"] if args.one_core else []
    wine = pin + [WINE_RUN]
    if args.one_core:
        subprocess.run(["wineserver", "-k"], stderr=subprocess.DEVNULL)
    # One Wine process stays up, and with it the Wine server, between the runs.
    keeper = subprocess.Popen(wine + ["cmd", "/c", "echo up& pause"], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL)
    keeper.stdout.readline()
    times = {"native": [], "floor": [], "wine": [], "window": []}
    dialogs = []
    try:
        for _ in range(args.repeat):
            fresh()
            times["native"].append(timed(pin + [args.tvpack, "pack", "--overwrite", mod_file])[0])
            times["floor"].append(timed(wine + [read_floor, windows_path(os.path.dirname(mod_file)),
                                         os.path.basename(mod_file)[:-len(".tvx")]])[0])
            fresh()
            times["wine"].append(timed(wine + [tvpack_exe, "pack", "--overwrite", windows_path(mod_file)])[0])
            if windowed:
                fresh()
                seconds, dialog, _ = run_window(wine, window_pack, app, mod_file)
                times["window"].append(seconds)
                dialogs.append(dialog)
        if windowed:  # one more, watched and not timed
            fresh()
            seconds, dialog, changes = run_window(wine, window_pack, app, mod_file, watch=True)
            rate = changes / max(seconds - dialog, 1e-3)
    finally:
        keeper.stdin.close()
        keeper.wait()

    median = {key: statistics.median(value) for key, value in times.items() if value}
    print("\nsmall tree (%d files), %d runs each: seconds min / median / max, ratios of the medians" % (
        len(files), args.repeat))
    rows = [("native tvpack", "native", "")]
    rows.append(("reads alone under Wine", "floor", "%.2fx native" % (median["floor"] / median["native"])))
    rows.append(("tvpack.exe under Wine", "wine", "%.2fx native: %s (<= %.0fx); %.2fx the reads alone" % (
        median["wine"] / median["native"], "ok" if median["wine"] / median["native"] <= TARGET_WINE else "MISSED",
        TARGET_WINE, median["wine"] / median["floor"])))
    if windowed:
        ratio = median["window"] / median["wine"]
        rows.append(("window under Wine", "window", "%.2fx native, %.2fx tvpack.exe: %s (<= %.0fx tvpack.exe)" % (
            median["window"] / median["native"], ratio, "ok" if ratio <= TARGET_WINDOW else "MISSED",
            TARGET_WINDOW)))
    for label, key, verdict in rows:
        print("%-22s %7.2f %7.2f %7.2f   %s" % (label, min(times[key]), median[key], max(times[key]), verdict))
    if windowed:
        print("%-22s the file dialog took %.2f s of it to close (Wine waits up to 2 s for a window" % (
            "", statistics.median(dialogs)))
        print("%-22s manager to take a closed window away, and a bare X server has none); in one more" % "")
        print("%-22s run, watched, the pane changed %.1f times a second while the mod was packed" % ("", rate))
    else:
        print("no window row: no X display (make bench gives it one)")


if __name__ == "__main__":
    main()
