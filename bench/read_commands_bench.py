#!/usr/bin/python3
"""The reading commands on a 20,000-stream archive, next to `list`.

Packs the small tree of run_bench.py (20,000 files of 0.2-6 KB) into
small.tvp, and a copy of it with one file changed into changed.tvp (both
kept in the work folder), then times, with the files in the page cache:

  cat of one file                 against  list of the archive
  extract --include of one file   against  list of the archive
  diff of the two archives        against  list --hash of each, one after the other

Each command runs --repeat times, the two of a pair in turn, and each row
prints the medians and their ratio next to its target (cat and extract at
most 1.2x list; diff at most 1.2x the two list --hash).

Usage: /usr/bin/python3 bench/read_commands_bench.py [--work DIR] [--repeat N] [--tvpack PATH]
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from run_bench import REPO, build_tree  # noqa: E402

TARGET = 1.2
ONE_FILE = "small/d050/f10000.dat"


def seconds(commands, cwd):
    """The time the commands take one after another; each must end as expected
    (diff: 1, the archives differ), or the figures would time a failure."""
    start = time.perf_counter()
    for command in commands:
        code = subprocess.run(command, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode
        if code != (1 if command[1] == "diff" else 0):
            sys.exit("%s: exit status %d" % (" ".join(command), code))
    return time.perf_counter() - start


def prepare(work, tvpack):
    build_tree(work, "small")
    for name in ("changed.tvp", "small.tvp"):
        if os.path.exists(os.path.join(work, name)):
            continue
        changed = name == "changed.tvp"
        path = os.path.join(work, ONE_FILE)
        original = open(path, "rb").read()
        if changed:
            with open(path, "wb") as f:
                f.write(original[:-1] + bytes([original[-1] ^ 1]))
        try:
            subprocess.run([tvpack, "pack", "--overwrite", "small.tvx"], cwd=work, check=True, stdout=subprocess.DEVNULL)
        finally:
            with open(path, "wb") as f:
                f.write(original)
        os.replace(os.path.join(work, "small.tvp"), os.path.join(work, name))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--work", default=os.path.join(os.environ.get("TMPDIR", "/tmp"), "tolvane-bench"))
    parser.add_argument("--repeat", type=int, default=9)
    parser.add_argument("--tvpack", default=os.path.join(REPO, "build", "native", "cli", "tvpack"))
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    prepare(args.work, args.tvpack)
    out = os.path.join(args.work, "extracted")  # run_bench.py writes its cat to "out"
    t = args.tvpack
    rows = [
        ("cat of one file", [[t, "cat", "small.tvp", ONE_FILE]], [[t, "list", "small.tvp"]]),
        ("extract --include of one file", [[t, "extract", "--force", "--include", ONE_FILE, "small.tvp", out]],
         [[t, "list", "small.tvp"]]),
        ("diff of two archives, one file apart", [[t, "diff", "small.tvp", "changed.tvp"]],
         [[t, "list", "--hash", "small.tvp"], [t, "list", "--hash", "changed.tvp"]]),
    ]
    failed = False
    for label, commands, yardstick in rows:
        times, against = [], []
        for _ in range(args.repeat):
            times.append(seconds(commands, args.work))
            against.append(seconds(yardstick, args.work))
        ratio = statistics.median(times) / statistics.median(against)
        failed |= ratio > TARGET
        print("%-40s %7.3f s  against %7.3f s: %.2fx (<= %.1fx) %s" % (
            label, statistics.median(times), statistics.median(against), ratio, TARGET,
            "ok" if ratio <= TARGET else "MISSED"))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
