#!/usr/bin/python3
"""Hands tvpack archives damaged where the format is most fragile.

Usage: hostile_archives.py TVPACK

A good archive is packed, then copies of it are damaged: a FAT chain that
loops, sectors beyond the end of the file, a stream size far beyond it, a
directory entry whose name length is impossible, a directory whose entries
point at each other, a cut file. For each, `tvpack list`, `extract` and
`verify` must end with a non-zero status and a message, within the time
limit, and `extract` must write nothing at all.
"""

import os
import shutil
import struct
import subprocess
import sys
import tempfile

TIMEOUT = 60
SECTOR = 512


def u32(data, offset):
    return struct.unpack_from("<I", data, offset)[0]


def put32(data, offset, value):
    struct.pack_into("<I", data, offset, value)


class Archive:
    """Just enough of the layout to aim the damage."""

    def __init__(self, data):
        self.data = bytearray(data)
        self.first_directory = u32(self.data, 0x30)
        self.first_fat = u32(self.data, 0x4C)

    def sector_offset(self, sector):
        return SECTOR * (sector + 1)

    def fat_entry_offset(self, sector):
        # Test archives are small: the first FAT sector covers them.
        assert sector < SECTOR // 4
        return self.sector_offset(self.first_fat) + 4 * sector

    def entry_offset(self, index):
        # Entries 0..3 lie in the first directory sector.
        assert index < 4
        return self.sector_offset(self.first_directory) + 128 * index

    def entry_named(self, name):
        for index in range(4):
            offset = self.entry_offset(index)
            length = struct.unpack_from("<H", self.data, offset + 0x40)[0]
            if self.data[offset:offset + length - 2].decode("utf-16-le", "replace") == name:
                return offset
        raise KeyError(name)


def damage_cases(good):
    def edit(change):
        archive = Archive(good)
        change(archive)
        return bytes(archive.data)

    def looping_chain(a):
        start = u32(a.data, a.entry_named("2") + 0x74)  # stream 2 is over 4 KiB
        put32(a.data, a.fat_entry_offset(start + 1), start)

    def sector_out_of_range(a):
        put32(a.data, a.entry_named("2") + 0x74, 0x00FFFFF0)

    def size_beyond_file(a):
        put32(a.data, a.entry_named("1") + 0x78, 0x7FFFFFF0)

    def impossible_name_length(a):
        struct.pack_into("<H", a.data, a.entry_named("1") + 0x40, 200)

    def sibling_loop(a):
        # Stream 1 names itself as its own left sibling.
        entry = a.entry_named("1")
        index = (entry - a.sector_offset(a.first_directory)) // 128
        put32(a.data, entry + 0x44, index)

    def root_chain_out_of_range(a):
        put32(a.data, a.entry_offset(0) + 0x74, 0x00FFFFF0)

    return [
        ("a FAT chain that loops", edit(looping_chain)),
        ("a sector beyond the file", edit(sector_out_of_range)),
        ("a stream size far beyond the file", edit(size_beyond_file)),
        ("an impossible name length", edit(impossible_name_length)),
        ("a directory entry that is its own sibling", edit(sibling_loop)),
        ("a mini stream beyond the file", edit(root_chain_out_of_range)),
        ("a cut file", good[:len(good) // 2]),
        ("a file of zeros", bytes(len(good))),
    ]


def run(command, cwd):
    try:
        result = subprocess.run(command, cwd=cwd, capture_output=True, timeout=TIMEOUT)
    except subprocess.TimeoutExpired:
        return "did not end within %d s" % TIMEOUT
    if result.returncode <= 0:
        return "exit status %d" % result.returncode
    if not result.stderr.strip() and not result.stdout.strip():
        return "no message"
    return None


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    tvpack = os.path.abspath(sys.argv[1])
    passed = failed = 0
    with tempfile.TemporaryDirectory(prefix="tvp-hostile-") as root:
        with open(os.path.join(root, "m.tvx"), "wb") as f:
            f.write(b"mod file")
        os.makedirs(os.path.join(root, "m"))
        with open(os.path.join(root, "m", "big.bin"), "wb") as f:
            f.write(os.urandom(6000))
        with open(os.path.join(root, "m", "small.txt"), "wb") as f:
            f.write(b"small")
        packed = subprocess.run([tvpack, "pack", os.path.join(root, "m.tvx")],
                                capture_output=True, timeout=TIMEOUT)
        if packed.returncode != 0:
            print("packing the good archive failed:", packed.stdout, packed.stderr)
            return 1
        with open(os.path.join(root, "m.tvp"), "rb") as f:
            good = f.read()
        for name, data in damage_cases(good):
            case_dir = os.path.join(root, "case")
            os.makedirs(os.path.join(case_dir, "out"))
            archive = os.path.join(case_dir, "damaged.tvp")
            with open(archive, "wb") as f:
                f.write(data)
            problems = []
            for command in (["list", archive], ["list", "--json", archive], ["verify", archive],
                            ["extract", archive, os.path.join(case_dir, "out")]):
                problem = run([tvpack] + command, case_dir)
                if problem:
                    problems.append("tvpack %s: %s" % (command[0], problem))
            left = sorted(set(os.listdir(case_dir)) - {"damaged.tvp", "out"})
            if os.listdir(os.path.join(case_dir, "out")) or left:
                problems.append("extract wrote files: %s %s" %
                                (os.listdir(os.path.join(case_dir, "out")), left))
            if problems:
                print("FAIL %s\n  %s" % (name, "\n  ".join(problems)))
                failed += 1
            else:
                print("PASS %s" % name)
                passed += 1
            shutil.rmtree(case_dir)
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
