#!/usr/bin/python3
"""Packs mods under faults and checks that every one ends truthfully.

Usage: run_faults.py TEST_PACK

TEST_PACK is the tests' command-line packer (tests/tools/test_pack.cpp). Each
case builds a tree, packs it, perhaps changes the tree in the pause of the
overwrite question (between the count walk and the adding walk), and checks
the exact transcript and what is left on disk: a complete archive that every
reader accepts, or no archive at all. Cases that need root (a small tmpfs) or
an unprivileged user (permission failures) say so and are skipped without
them.
"""

import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
CHECK = os.path.join(HERE, "..", "oracles", "check_archive.py")
TIMEOUT = 120
IS_ROOT = os.geteuid() == 0


def write(path, data=b""):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def sparse(path, size):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.truncate(size)


class Mount:
    """A tmpfs of a given size: a disk that fills up."""

    def __init__(self, path, size):
        self.path, self.size = path, size

    def __enter__(self):
        os.makedirs(self.path, exist_ok=True)
        subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%d" % self.size, "tmpfs", self.path],
                       check=True)
        return self.path

    def __exit__(self, *exc):
        subprocess.run(["umount", "-l", self.path], check=False)


def pack(test_pack, mod_file, hook=None, unprivileged=False):
    """Runs the packer from the mod file's folder; returns its exit status and
    the transcript with plain line breaks."""
    command = [test_pack]
    if hook:
        command += ["--on-question", hook]
    command.append(mod_file)
    if unprivileged:
        command = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"] + command
    result = subprocess.run(command, capture_output=True, timeout=TIMEOUT,
                            cwd=os.path.dirname(mod_file))
    return result.returncode, result.stdout.decode("utf-8", "replace").replace("\r\n", "\n")


def archive_state(archive, mod_file):
    """'none', 'valid' (every reader agrees with the tree) or the readers' complaint."""
    if not os.path.exists(archive):
        return "none"
    checked = subprocess.run([sys.executable, CHECK, archive, mod_file], capture_output=True,
                             text=True)
    return "valid" if checked.returncode == 0 else "invalid: " + checked.stdout.strip()


def give_to_nobody(root):
    for folder, dirs, files in os.walk(root):
        for name in dirs + files + [""]:
            os.lchown(os.path.join(folder, name), 65534, 65534)


# Each case is a function of the packer and a scratch folder that raises on
# any finding; `needs` names the privilege it requires.
CASES = []


def case(name, needs=None):
    def register(function):
        CASES.append((name, needs, function))
        return function
    return register


@case("disk full while writing a stream", needs="root")
def disk_full(test_pack, root):
    # Room for the mod, not for its archive as well.
    with Mount(os.path.join(root, "disk"), 320 * 1024) as disk:
        write(os.path.join(disk, "m.tvx"), b"m")
        write(os.path.join(disk, "m", "big.bin"), os.urandom(200 * 1024))
        code, out = pack(test_pack, os.path.join(disk, "m.tvx"))
        expect(out, "Creating mod archive \"m.tvp\".\nAdding file 2/2\n"
                    "Error writing stream! Storage device is full!\n"
                    "Error adding mod directory to mod archive \"m.tvp\"!\n")
        expect(archive_state(os.path.join(disk, "m.tvp"), os.path.join(disk, "m.tvx")), "none")


@case("disk fills up at any point: a valid archive or none", needs="root")
def disk_fills(test_pack, root):
    problems = []
    # The archive needs about as much room as the mod (tmpfs counts whole
    # pages per file): on a disk of 480 KiB the archive of this mod stops
    # fitting at about 150 KB of content. Step across that edge in steps
    # smaller than the tables written last, so that some run fills the disk
    # while they are written.
    outcomes = set()
    for size in range(136000, 160000, 500):
        with Mount(os.path.join(root, "disk"), 480 * 1024) as disk:
            write(os.path.join(disk, "m.tvx"), b"m")
            for index in range(40):  # directory and mini stream grow too
                write(os.path.join(disk, "m", "s%02d.txt" % index), os.urandom(700))
            write(os.path.join(disk, "m", "big.bin"), os.urandom(size - 40 * 700))
            code, out = pack(test_pack, os.path.join(disk, "m.tvx"))
            state = archive_state(os.path.join(disk, "m.tvp"), os.path.join(disk, "m.tvx"))
            succeeded = "Successfully created" in out
            outcomes.add(succeeded)
            if succeeded != (state == "valid") or (not succeeded and state != "none"):
                problems.append("size %d: %s / archive %s" % (size, out.strip()[-90:], state))
    if outcomes != {True, False}:
        problems.append("the sizes did not cross the edge of the disk: %s" % outcomes)
    if problems:
        raise AssertionError("\n".join(problems))


@case("a sub-directory that can't be searched in the count walk", needs="nobody")
def count_no_access(test_pack, root):
    write(os.path.join(root, "m.tvx"), b"m")
    write(os.path.join(root, "m", "a", "locked", "x.txt"), b"x")
    give_to_nobody(root)
    os.chmod(os.path.join(root, "m", "a", "locked"), 0)
    code, out = pack(test_pack, os.path.join(root, "m.tvx"), unprivileged=True)
    m = os.path.join(root, "m")
    expect(out, "Error searching directory \"%s\\a\\locked\\*\"!\n"
                "Error getting file count from directory \"%s\\a\\locked\"!\n"
                "Error getting file count from directory \"%s\\a\"!\n"
                "Error getting file number in mod directory \"m\"!\n" % (m, m, m))
    expect(archive_state(os.path.join(root, "m.tvp"), os.path.join(root, "m.tvx")), "none")


@case("a sub-directory that becomes unreadable before the adding walk", needs="nobody")
def add_no_access(test_pack, root):
    write(os.path.join(root, "m.tvx"), b"m")
    write(os.path.join(root, "m", "a.txt"), b"a")
    write(os.path.join(root, "m", "sub", "b.txt"), b"b")
    write(os.path.join(root, "m.tvp"), b"old archive")
    give_to_nobody(root)
    code, out = pack(test_pack, os.path.join(root, "m.tvx"), unprivileged=True,
                     hook="chmod 000 '%s'" % os.path.join(root, "m", "sub"))
    expect(out, "Creating mod archive \"m.tvp\".\nAdding file 2/3\n"
                "Error searching directory \"m\\sub\\*\"!\n"
                "Error adding mod directory to mod archive \"m.tvp\"!\n")
    expect(archive_state(os.path.join(root, "m.tvp"), os.path.join(root, "m.tvx")), "none")


@case("a mod file whose folder can't be listed", needs="nobody")
def folder_not_listed(test_pack, root):
    folder = os.path.join(root, "hidden")
    write(os.path.join(folder, "m.tvx"), b"m")
    write(os.path.join(folder, "m", "a.txt"), b"a")
    give_to_nobody(root)
    os.chmod(folder, 0o311)  # names can be opened, the folder can't be listed
    code, out = pack(test_pack, os.path.join(folder, "m.tvx"), unprivileged=True)
    expect((code, out), (3, ""))
    os.chmod(folder, 0o755)
    expect(archive_state(os.path.join(folder, "m.tvp"), os.path.join(folder, "m.tvx")), "none")


@case("an archive that can't be created in a read-only folder", needs="nobody")
def archive_not_created(test_pack, root):
    write(os.path.join(root, "m.tvx"), b"m")
    write(os.path.join(root, "m", "a.txt"), b"a")
    give_to_nobody(root)
    os.chmod(root, 0o555)
    code, out = pack(test_pack, os.path.join(root, "m.tvx"), unprivileged=True)
    os.chmod(root, 0o755)
    expect(out, "Error creating mod archive \"m.tvp\"!\n")
    expect(archive_state(os.path.join(root, "m.tvp"), os.path.join(root, "m.tvx")), "none")


@case("a file removed between the walks")
def file_vanishes(test_pack, root):
    write(os.path.join(root, "m.tvx"), b"m")
    write(os.path.join(root, "m", "a.txt"), b"a")
    write(os.path.join(root, "m", "b.txt"), b"b")
    write(os.path.join(root, "m.tvp"), b"old archive")
    code, out = pack(test_pack, os.path.join(root, "m.tvx"),
                     hook="rm '%s'" % os.path.join(root, "m", "b.txt"))
    expect(out, "Creating mod archive \"m.tvp\".\nAdding file 2/3\n"
                "Successfully created mod archive \"m.tvp\".\n\n")
    expect(archive_state(os.path.join(root, "m.tvp"), os.path.join(root, "m.tvx")), "valid")


@case("a file created between the walks")
def file_appears(test_pack, root):
    write(os.path.join(root, "m.tvx"), b"m")
    write(os.path.join(root, "m", "a.txt"), b"a")
    write(os.path.join(root, "m", "b.txt"), b"b")
    write(os.path.join(root, "m.tvp"), b"old archive")
    code, out = pack(test_pack, os.path.join(root, "m.tvx"),
                     hook="echo c > '%s'" % os.path.join(root, "m", "c.txt"))
    expect(out, "Creating mod archive \"m.tvp\".\nAdding file 4/3\n"
                "Successfully created mod archive \"m.tvp\".\n\n")
    expect(archive_state(os.path.join(root, "m.tvp"), os.path.join(root, "m.tvx")), "valid")


def expect_path_limit_refusal(out, archive, mod_file):
    if "is too long!" not in out or not out.endswith(
            "Error getting file number in mod directory \"m\"!\n"):
        raise AssertionError("unexpected transcript:\n" + out)
    expect(archive_state(archive, mod_file), "none")


@case("a tree 130 levels deep")
def deep_tree(test_pack, root):
    write(os.path.join(root, "m.tvx"), b"m")
    write(os.path.join(root, "m", *(["a"] * 130), "x.txt"), b"x")
    code, out = pack(test_pack, os.path.join(root, "m.tvx"))
    expect_path_limit_refusal(out, os.path.join(root, "m.tvp"), os.path.join(root, "m.tvx"))


@case("a link that loops back up the tree")
def link_loop(test_pack, root):
    write(os.path.join(root, "m.tvx"), b"m")
    write(os.path.join(root, "m", "a.txt"), b"a")
    os.symlink("..", os.path.join(root, "m", "up"))
    code, out = pack(test_pack, os.path.join(root, "m.tvx"))
    m = os.path.join(root, "m")
    expect(out, "Error searching directory \"%s\\up\\*\"!\n"
                "Error getting file count from directory \"%s\\up\"!\n"
                "Error getting file number in mod directory \"m\"!\n" % (m, m))
    expect(archive_state(os.path.join(root, "m.tvp"), os.path.join(root, "m.tvx")), "none")


def too_large(size):
    def run(test_pack, root):
        write(os.path.join(root, "m.tvx"), b"m")
        sparse(os.path.join(root, "m", "big.bin"), size)
        code, out = pack(test_pack, os.path.join(root, "m.tvx"))
        expect(out, "Creating mod archive \"m.tvp\".\nAdding file 1/2"
                    "Error! File \"m\\big.bin\" is too large for a mod archive!\n"
                    "Error adding mod directory to mod archive \"m.tvp\"!\n")
        expect(archive_state(os.path.join(root, "m.tvp"), os.path.join(root, "m.tvx")), "none")
    return run


case("a file of 2 GiB (sparse)")(too_large(2 ** 31))
case("a file of 4 GiB and a little more (sparse)")(too_large(2 ** 32 + 5))


def expect(actual, expected):
    if actual != expected:
        raise AssertionError("expected:\n%r\nactual:\n%r" % (expected, actual))


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    test_pack = os.path.abspath(sys.argv[1])
    passed = failed = skipped = 0
    for name, needs, run in CASES:
        if needs in ("root", "nobody") and not IS_ROOT:
            print("SKIP %s (needs root%s)" % (name, " to become nobody" if needs == "nobody" else ""))
            skipped += 1
            continue
        root = tempfile.mkdtemp(prefix="tvp-fault-")
        os.chmod(root, 0o755)
        try:
            run(test_pack, root)
            print("PASS %s" % name)
            passed += 1
        except Exception as error:  # a failed case is reported, the rest still run
            print("FAIL %s\n  %s" % (name, str(error).replace("\n", "\n  ")))
            failed += 1
        finally:
            subprocess.run(["chmod", "-R", "u+rwx", root], check=False)
            shutil.rmtree(root, ignore_errors=True)
    print("%d passed, %d failed, %d skipped" % (passed, failed, skipped))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
