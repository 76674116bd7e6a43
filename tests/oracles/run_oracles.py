#!/usr/bin/python3
"""Packs trees of telling shapes and has every independent reader check them.

Usage: run_oracles.py PACK_COMMAND... [--windows]

PACK_COMMAND packs the mod files given after it (for the Windows build: the
Wine runner and the executable). With --windows, paths are handed over as
Wine sees them (Z:\\...).
"""

import os
import random
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
EXAMPLES = os.path.join(HERE, "..", "..", "examples")


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def make_boundaries(root):
    """Stream sizes around the mini stream cut-off (header included) and the
    sector size, in nested folders."""
    rng = random.Random(1)
    write(os.path.join(root, "edges.tvx"), b"edge mod")
    sizes = [0, 1, 63, 64, 511, 512, 3071, 3072, 3073, 4095, 4096, 4097, 65536, 100000]
    for index, size in enumerate(sizes):
        folder = "deep" if index % 3 == 0 else "flat"
        write(os.path.join(root, "edges", folder, "f%02d.bin" % index), rng.randbytes(size))
    write(os.path.join(root, "edges", "deep", "er", "est", "leaf.txt"), b"leaf")


def make_many(root):
    """Hundreds of small files: many directory sectors, a long mini stream."""
    rng = random.Random(2)
    write(os.path.join(root, "many.tvx"), b"many")
    for index in range(700):
        write(os.path.join(root, "many", "d%d" % (index % 7), "file%03d.txt" % index),
              rng.randbytes(rng.randrange(0, 6000)))


def make_large(root):
    """Past the 109 FAT sectors the header can list: needs DIFAT sectors."""
    rng = random.Random(3)
    write(os.path.join(root, "large.tvx"), b"large")
    write(os.path.join(root, "large", "big.bin"), rng.randbytes(7_500_000))
    write(os.path.join(root, "large", "small.bin"), rng.randbytes(100))


def as_windows(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def main():
    args = sys.argv[1:]
    windows = "--windows" in args
    pack = [a for a in args if a != "--windows"]
    if not pack:
        print(__doc__)
        return 2
    failures = 0
    with tempfile.TemporaryDirectory(prefix="tvp-oracles-") as root:
        shutil.copy(os.path.join(EXAMPLES, "castle.tvx"), root)
        shutil.copytree(os.path.join(EXAMPLES, "castle"), os.path.join(root, "castle"))
        make_boundaries(root)
        make_many(root)
        make_large(root)
        for mod in ("castle", "edges", "many", "large"):
            mod_file = os.path.join(root, mod + ".tvx")
            argument = as_windows(mod_file) if windows else mod_file
            packed = subprocess.run(pack + [argument], capture_output=True, text=True)
            if packed.returncode != 0:
                print("%s: packing failed (%d):\n%s%s" % (mod, packed.returncode, packed.stdout,
                                                         packed.stderr))
                failures += 1
                continue
            checked = subprocess.run([sys.executable, os.path.join(HERE, "check_archive.py"),
                                      os.path.join(root, mod + ".tvp"), mod_file],
                                     capture_output=True, text=True)
            print("%s:\n%s" % (mod, checked.stdout.rstrip()))
            failures += checked.returncode != 0
    print("%d passed, %d failed" % (4 - failures, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
