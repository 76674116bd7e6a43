#!/usr/bin/python3
"""Checks a mod archive against its mod with every independent reader.

Usage: check_archive.py ARCHIVE.tvp MOD.tvx

The archive is right when olefile (at its strictest), 7-Zip (test and
extract), gsf (list and cat) all see exactly the streams 1..N, and each
stream is the 1024-byte UTF-16LE name header followed by the file's bytes:
stream 1 the mod file, then the files of the mod directory in walk order
(depth first; entries ordered as NTFS orders them: upper-cased UTF-16 code
units, compared ordinally).
"""

import os
import subprocess
import sys
import tempfile

import olefile

HEADER_BYTES = 1024


def ntfs_key(name):
    units = name.upper().encode("utf-16-le")
    return [int.from_bytes(units[i:i + 2], "little") for i in range(0, len(units), 2)]


def walk(directory, relative):
    """Files below directory in walk order, as (header path, disk path)."""
    files = []
    for name in sorted(os.listdir(directory), key=ntfs_key):
        disk = os.path.join(directory, name)
        header = relative + "\\" + name
        if os.path.isdir(disk):
            files.extend(walk(disk, header))
        else:
            files.append((header, disk))
    return files


def expected_streams(mod_file):
    folder, file_name = os.path.split(os.path.abspath(mod_file))
    base = os.path.splitext(file_name)[0]
    files = [(file_name, os.path.join(folder, file_name))] + walk(os.path.join(folder, base), base)
    streams = {}
    for number, (header, disk) in enumerate(files, start=1):
        raw = header.encode("utf-16-le")[:HEADER_BYTES]
        with open(disk, "rb") as f:
            streams[str(number)] = raw + b"\0" * (HEADER_BYTES - len(raw)) + f.read()
    return streams


def read_olefile(archive):
    ole = olefile.OleFileIO(archive, raise_defects=olefile.DEFECT_INCORRECT)
    try:
        entries = ole.listdir(streams=True, storages=True)
        if any(len(path) != 1 for path in entries):
            raise AssertionError("olefile: entries outside the root: %r" % entries)
        streams = {path[0]: ole.openstream(path).read() for path in entries}
        return streams
    finally:
        ole.close()


def read_7zip(archive):
    subprocess.run(["7zz", "t", archive], check=True, stdout=subprocess.DEVNULL)
    with tempfile.TemporaryDirectory() as out:
        subprocess.run(["7zz", "x", "-y", "-o" + out, archive], check=True,
                       stdout=subprocess.DEVNULL)
        streams = {}
        for name in os.listdir(out):
            path = os.path.join(out, name)
            if os.path.isdir(path):
                raise AssertionError("7zz: unexpected storage %r" % name)
            with open(path, "rb") as f:
                streams[name] = f.read()
        return streams


def read_gsf(archive):
    listing = subprocess.run(["gsf", "list", archive], check=True, capture_output=True,
                             text=True).stdout.splitlines()
    streams = {}
    for line in listing[1:]:
        fields = line.split()
        if not fields:
            continue
        if fields[0] == "d":
            if fields[-1] != "*root*":
                raise AssertionError("gsf: unexpected storage %r" % line)
            continue
        name = fields[-1]
        streams[name] = subprocess.run(["gsf", "cat", archive, name], check=True,
                                       capture_output=True).stdout
    return streams


def describe(streams):
    return ", ".join("%s:%d" % (name, len(data)) for name, data in
                     sorted(streams.items(), key=lambda item: int(item[0]) if item[0].isdigit() else -1))


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    archive, mod_file = sys.argv[1], sys.argv[2]
    expected = expected_streams(mod_file)
    failures = 0
    for reader_name, reader in (("7zz", read_7zip), ("olefile", read_olefile), ("gsf", read_gsf)):
        try:
            seen = reader(archive)
        except Exception as error:  # every reader failure is a finding
            print("%s: cannot read %s: %s" % (reader_name, archive, error))
            failures += 1
            continue
        if seen != expected:
            print("%s: streams differ\n  expected %s\n  seen     %s" %
                  (reader_name, describe(expected), describe(seen)))
            failures += 1
        else:
            print("%s: %d streams as expected" % (reader_name, len(seen)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
