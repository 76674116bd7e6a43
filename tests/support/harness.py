"""What the Python tests share: running the programs under test (natively or
under Wine), scratch trees, the archive a mod should give, the independent
readers that decide an archive is right, and a table runner."""

import os
import struct
import subprocess
import tempfile
import traceback

import olefile

HERE = os.path.dirname(os.path.abspath(__file__))
EXAMPLES = os.path.normpath(os.path.join(HERE, "..", "..", "examples"))
HEADER_BYTES = 1024


def run(command, cwd, stdin=b"", timeout=120, preexec=None):
    """Exit status, stdout and stderr (text; stdout's line ends kept).
    preexec runs in the child before the command (to set limits).
    Under a busy Wine a program now and then ends with status 1 and no word
    on either channel, which none of ours does, or the Wine loader fails an
    assertion of the system's dynamic linker as the process exits, which
    loses the program's status: such a run is made once more, and the log
    says so."""
    for attempt in (1, 2):
        done = subprocess.run(command, cwd=cwd, input=stdin, capture_output=True, timeout=timeout, preexec_fn=preexec)
        silent = (done.returncode, done.stdout, done.stderr) == (1, b"", b"")
        loader = done.returncode == 127 and b"Inconsistency detected by ld.so" in done.stderr
        if attempt == 2 or not (silent or loader) or not command[0].endswith("wine-run"):
            break
        print("note: under Wine %s ended with status %d (%r); run again" % (command[1:], done.returncode, done.stderr[-200:]),
              flush=True)
    return done.returncode, done.stdout.decode("utf-8", "surrogateescape"), done.stderr.decode("utf-8", "replace")


def absolute(command):
    """A command given with paths relative to the caller, usable from any folder."""
    return [os.path.abspath(a) if os.path.exists(a) else a for a in command]


def write(path, data=b""):
    os.makedirs(os.path.dirname(path) or ".", exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def plant(root, files):
    """Writes files (relative path -> bytes; None: an empty folder) below root."""
    for path, data in files.items():
        os.makedirs(os.path.join(root, path), exist_ok=True) if data is None else write(os.path.join(root, path), data)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def tree(root):
    """Every file below root: relative path -> bytes; folders -> None; links
    -> where they point; anything else (a FIFO) -> "special"."""
    found = {}
    for folder, dirs, files in os.walk(root):
        for name in dirs + files:
            path = os.path.join(folder, name)
            found[os.path.relpath(path, root)] = ("-> " + os.readlink(path) if os.path.islink(path)
                                                  else None if name in dirs
                                                  else read(path) if os.path.isfile(path) else "special")
    return found


def windows_path(path):
    """An absolute path as a program under Wine sees it."""
    return "Z:" + path.replace("/", "\\")


def header(path, junk=b""):
    """A stream's 1024-byte name header: the path in UTF-16LE, zero filled."""
    encoded = path.encode("utf-16-le", "surrogatepass")[:HEADER_BYTES]
    return encoded + b"\0" * (HEADER_BYTES - len(encoded) - len(junk)) + junk


def ntfs_key(name):
    """NTFS upper-cases unit by unit: no "SS" for "\u00df"."""
    units = "".join(c.upper() if len(c.upper()) == 1 else c for c in name).encode("utf-16-le", "surrogatepass")
    return [int.from_bytes(units[i:i + 2], "little") for i in range(0, len(units), 2)]


def expected_streams(mod_file):
    """The streams the mod's archive must hold: the mod file as "1", then every
    file below the mod directory, depth first, each folder's entries in NTFS
    order (upper-cased UTF-16 units compared as numbers), hidden files too."""
    folder, name = os.path.split(mod_file)
    base = name[:-len(".tvx")]
    files = [(name, mod_file)]

    def walk(directory, relative):
        for entry in sorted(os.listdir(directory), key=ntfs_key):
            path = os.path.join(directory, entry)
            if os.path.isdir(path):
                walk(path, relative + "\\" + entry)
            else:
                files.append((relative + "\\" + entry, path))
    walk(os.path.join(folder, base), base)
    return {str(n): header(h) + read(p) for n, (h, p) in enumerate(files, 1)}


def read_olefile(archive):
    with olefile.OleFileIO(archive, raise_defects=olefile.DEFECT_INCORRECT) as ole:
        entries = ole.listdir(streams=True, storages=True)
        assert all(len(e) == 1 for e in entries), "entries outside the root: %r" % entries
        return {e[0]: ole.openstream(e).read() for e in entries}


def read_7zip(archive):
    subprocess.run(["7zz", "t", archive], check=True, stdout=subprocess.DEVNULL)
    with tempfile.TemporaryDirectory() as out:
        subprocess.run(["7zz", "x", "-y", "-o" + out, archive], check=True, stdout=subprocess.DEVNULL)
        return {name: read(os.path.join(out, name)) for name in os.listdir(out)}


def read_gsf(archive):
    """One `gsf cat` of every stream, cut apart by the sizes `gsf list` gives."""
    listing = subprocess.run(["gsf", "list", archive], check=True, capture_output=True, text=True).stdout.splitlines()[1:]
    files = [(f[-1], int(f[1])) for f in map(str.split, listing) if f and f[0] == "f"]
    whole = subprocess.run(["gsf", "cat", archive] + [n for n, _ in files], check=True, capture_output=True).stdout if files else b""
    streams, at = {}, 0
    for name, size in files:
        streams[name], at = whole[at:at + size], at + size
    assert at == len(whole), "gsf delivered %d bytes for streams of %d" % (len(whole), at)
    return streams


READERS = (("7zz", read_7zip), ("olefile", read_olefile), ("gsf", read_gsf))


def archive_problems(archive, expected):
    """What each independent reader sees wrong with the archive; [] when all
    of them read exactly the expected streams."""
    problems = []
    for name, reader in READERS:
        try:
            seen = reader(archive)
        except Exception as error:  # any reader failure is a finding
            problems.append("%s can't read it: %s" % (name, error))
            continue
        if seen != expected:
            differ = sorted(set(seen) ^ set(expected)) or [k for k in expected if seen[k] != expected[k]]
            problems.append("%s sees other streams (first differences: %s)" % (name, differ[:5]))
    return problems


def u32(data, offset):
    return struct.unpack_from("<I", data, offset)[0]


def put32(data, offset, value):
    struct.pack_into("<I", data, offset, value)


def expect(actual, expected, what="value"):
    if actual != expected:
        raise AssertionError("%s:\n  expected %r\n  actual   %r" % (what, expected, actual))


def run_table(rows, check, wine=None):
    """Runs check(row) for every row whose name holds a word of TVP_ROWS (all
    without it). Prints one line per row and the closing count; returns the
    exit status. wine: the command, as a list, that runs a Windows program;
    one Wine process then stays up for the whole run, so that the Wine server
    is not started afresh for every command (commands start once it is up)."""
    only, counts = [w for w in os.environ.get("TVP_ROWS", "").split(",") if w], {"passed": 0, "failed": 0}
    keeper = wine and subprocess.Popen(wine + ["cmd", "/c", "echo up& pause"], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                       stderr=subprocess.DEVNULL)
    try:
        keeper and keeper.stdout.readline()
        for row in (r for r in rows if not only or any(word in r.name for word in only)):
            try:
                check(row)
                print("PASS %s" % row.name, flush=True)
                counts["passed"] += 1
            except Exception as error:  # one failed row must not hide the others
                detail = str(error) if isinstance(error, AssertionError) else traceback.format_exc(limit=-1)
                print("FAIL %s\n  %s" % (row.name, detail.strip().replace("\n", "\n  ")), flush=True)
                counts["failed"] += 1
    finally:
        if keeper:
            keeper.stdin.close()
            try:
                keeper.wait(timeout=30)
            except subprocess.TimeoutExpired:
                keeper.kill()
                keeper.wait()
    print("%(passed)d passed, %(failed)d failed" % counts)
    return 1 if counts["failed"] or not counts["passed"] else 0
