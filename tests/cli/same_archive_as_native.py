#!/usr/bin/python3
"""The Windows build of tvpack writes the very archive the native build writes.

Usage: same_archive_as_native.py --native TVPACK --windows COMMAND...

Packs the same trees with both builds, one after the other, and compares the
archives byte for byte, and the transcripts. COMMAND runs the Windows build
(the Wine runner, then tvpack.exe). Exits 77 (skipped) when TVPACK, the native
build, does not exist.
"""

import os
import random
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
EXAMPLES = os.path.join(HERE, "..", "..", "examples")
SKIPPED = 77


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def make_mixed(root):
    """Names whose order depends on upper-casing (NTFS order), nested folders,
    sizes around the mini stream cut-off, non-ASCII names, an empty folder."""
    rng = random.Random(7)
    write(os.path.join(root, "mixed.tvx"), b"mixed mod")
    names = ["b.txt", "A.txt", "a10.bin", "a9.bin", "_under", "Zeta", "zz", "~tilde", "\u00e9t\u00e9.txt",
             "\u00c9cole.txt", "x.y.z", "[bracket]", "caf\u00e9", "Gro\u00df.dat"]
    for index, name in enumerate(names):
        folder = ["", "Sub", "sub2", "Sub/deeper"][index % 4]
        size = [0, 1, 3071, 3072, 3073, 5000, 70000][index % 7]
        write(os.path.join(root, "mixed", folder, name), rng.randbytes(size))
    os.makedirs(os.path.join(root, "mixed", "empty"))


def pack(command, folder, mod):
    done = subprocess.run(command + ["pack", "--overwrite", mod + ".tvx"], cwd=folder,
                          capture_output=True, timeout=300)
    return done.returncode, done.stdout.decode("utf-8"), done.stderr.decode("utf-8")


def main():
    args = sys.argv[1:]
    if "--native" not in args or "--windows" not in args:
        print(__doc__)
        return 2
    native = [args[args.index("--native") + 1]]
    windows = args[args.index("--windows") + 1:]
    if not os.access(native[0], os.X_OK):
        print("SKIPPED: no native tvpack at %s; build the native tree first "
              "(make test does), or set TVP_NATIVE_TVPACK" % native[0])
        return SKIPPED

    failures = 0
    with tempfile.TemporaryDirectory(prefix="tvpack-builds-") as root:
        shutil.copy(os.path.join(EXAMPLES, "castle.tvx"), root)
        shutil.copytree(os.path.join(EXAMPLES, "castle"), os.path.join(root, "castle"))
        make_mixed(root)
        for mod in ("castle", "mixed"):
            archive = os.path.join(root, mod + ".tvp")
            results = {}
            for build, command in (("native", native), ("windows", windows)):
                code, out, err = pack(command, root, mod)
                if code != 0 or not os.path.exists(archive):
                    print("%s: the %s build failed (%d):\n%s%s" % (mod, build, code, out, err))
                    failures += 1
                    break
                with open(archive, "rb") as f:
                    results[build] = (out, f.read())
                os.remove(archive)
            if len(results) != 2:
                continue
            if results["native"][0] != results["windows"][0]:
                print("%s: transcripts differ:\n--- native\n%s--- windows\n%s"
                      % (mod, results["native"][0], results["windows"][0]))
                failures += 1
            native_bytes, windows_bytes = results["native"][1], results["windows"][1]
            if native_bytes != windows_bytes:
                first = next((i for i in range(min(len(native_bytes), len(windows_bytes)))
                              if native_bytes[i] != windows_bytes[i]),
                             min(len(native_bytes), len(windows_bytes)))
                print("%s: archives differ (%d and %d bytes; first difference at byte %d)"
                      % (mod, len(native_bytes), len(windows_bytes), first))
                failures += 1
            else:
                print("%s: identical archives of %d bytes" % (mod, len(native_bytes)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
