#!/usr/bin/python3
"""Packing cases: a tree, the mods picked, the answers, and what must come of
it: the pane's text and each archive, which every independent reader must
read as exactly the mod's files. The same rows run through every front end:

  pack_cases.py test_pack [--wine] COMMAND...   the packer in process (tests/tools/test_pack)
  pack_cases.py tvpack [--wine] COMMAND...      tvpack pack
  pack_cases.py window COMMAND... APP           the window program, picked in its dialog

COMMAND runs the program (under Wine: the Wine runner and the executable).
"""

import os, re, shutil, sys, tempfile  # noqa: E401

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "support"))
from harness import (EXAMPLES, absolute, archive_problems, expect, expected_streams, plant, read, run,  # noqa: E402
                     run_table, tree, windows_path)

ALL = ("test_pack", "tvpack", "window")


class Row:
    """files: relative path -> bytes (None: an empty folder), or a function of
    the front end's absolute prefix giving them. out: the pane's final text
    ("{abs}": the scratch folder's absolute prefix as the program shows it), a
    function of that prefix giving it, or a pattern it must match. archives:
    each archive's fate where not the default (complete after its success
    line, else untouched if it was there, else absent): "complete", "none" or
    "same". watch: the window's driver watches the pane during the first mod."""

    def __init__(self, name, files, out, mods=("m.tvx",), answers=(), **options):
        self.name, self.files, self.out, self.mods, self.answers = name, files, out, mods, answers
        self.__dict__.update(dict(archives={}, fronts=ALL, where=("native", "wine"), hook=None, lock=None, setup=None, fatal=False,
                                  watch=False), **options)


CREATING, SUCCESS = 'Creating mod archive "m.tvp".\n', 'Successfully created mod archive "m.tvp".\n\n'
FAILED, NO_NUMBER = 'Error creating mod archive "m.tvp"!\n\n', 'Error getting file number in mod directory "m"!\n'
DIR_ERROR = 'Error adding mod directory to mod archive "m.tvp"!\n'
TOO_LARGE = 'Error! File "m\\big.bin" is too large for a mod archive!\n' + DIR_ERROR
TOO_LONG = re.compile(r'(?s).*is too long!.*' + re.escape(NO_NUMBER))
CORE, NATIVE, LOCKS, MN = ("test_pack", "tvpack"), ("native",), ("test_pack", "window"), ("m.tvx", "n.tvx")
HOOKED = {"fronts": ("test_pack",), "where": NATIVE}  # the tree changed between the walks: in process only
OLD, N = {"m.tvp": b"an older archive"}, {"n.tvx": b"n", "n/c": b"c"}
# Not mods: an extension in another case or longer or shorter, no folder, a folder in another case, a file.
NOT_MODS = ("m.TVX", "m.tvxx", "m.tv", "lonely.tvx", "case.tvx", "plain.tvx")
DEEP, D120 = "%s/%s/m.tvx" % ("p" * 150, "q" * 120), "d" * 120


def done(archive, files):
    return (CREATING + "Adding file %d/%d\n" % (files, files) + SUCCESS).replace("m.tvp", archive)


def castle():
    return {"castle.tvx": read(os.path.join(EXAMPLES, "castle.tvx")),
            **{os.path.join("castle", path): data for path, data in tree(os.path.join(EXAMPLES, "castle")).items()}}


def mixed():
    """Names whose order depends on upper-casing, hidden files and folders,
    non-ASCII and non-BMP names, digits ("9" before "10" only by length in
    the archive's directory), sizes around the mini stream cut-off (stream =
    1024-byte header + content) and sector size, nested and empty folders."""
    names = ["b.txt", "A.txt", "a10.bin", "a9.bin", ".hidden", "_under", "Zeta", "~tilde", "\u00e9t\u00e9.txt",
             "\u00c9cole.txt", "x.y.z", "[b]", "Gro\u00df.dat", "\U0001F600.txt", "Sub/.dot/x", "Sub/deeper/y"]
    sizes = [0, 1, 511, 512, 3071, 3072, 3073, 5000, 70000]
    files = {"m.tvx": b"mixed mod", "m/empty": None}
    for i, name in enumerate(names):
        files["m/" + name] = bytes((i * 7 + j) % 251 for j in range(sizes[i % len(sizes)]))
    return files


def many(count, size_limit, seed):
    """Many files in a few folders: a long mini stream, many directory sectors,
    stream numbers of several digits; or a few large ones past the 109 FAT
    sectors the header lists (DIFAT sectors)."""
    import random
    rng = random.Random(seed)
    return {"m.tvx": b"many", **{"m/d%d/f%03d.bin" % (i % 7, i): rng.randbytes(rng.randrange(0, size_limit))
                                 for i in range(count)}}


def simple(extra=None):
    return {"m.tvx": b"m", "m/a.txt": b"a", "m/sub/b.txt": b"b", **(extra or {})}


def path_limit(units):
    """A file whose full path is `units` long (the limit is 259)."""
    return lambda prefix: {"m.tvx": b"m", "m/" + "f" * (units - len(prefix) - len("m\\")): b"edge"}


def cut_at_limit(prefix):
    child = prefix + "m\\" + D120
    path = (child + "\\" + D120)[:259]
    return 'Error! Path "%s" is too long!\nError getting file count from directory "%s"!\n%s' % (path, child, NO_NUMBER)


def large(count, size):
    """A mod of a few large files, made only when its row runs."""
    return lambda prefix: {"m.tvx": b"large", **{"m/f%02d.bin" % i: bytes([i]) * size for i in range(count)}}


def too_large(size):
    def make(root):
        with open(os.path.join(root, "m", "big.bin"), "wb") as f:
            f.truncate(size)
    return make


def links(*pairs):
    """Symbolic links: name, target, name, target..."""
    return lambda root: [os.symlink(target, os.path.join(root, name)) for name, target in zip(pairs[::2], pairs[1::2])]


ROWS = [
    Row("the example mod", castle(), done("castle.tvp", 7), mods=("castle.tvx",)),
    Row("walk order, hidden files, odd names and sizes", mixed(), done("m.tvp", 17)),
    Row("a batch numbers each archive from 1", simple(N), done("m.tvp", 3) + done("n.tvp", 2), mods=MN),
    Row("700 small files", many(700, 6000, 2), done("m.tvp", 701)),
    # The table's longest mod, about a second under Wine: long enough to see the window's pane count up.
    Row("a mod of 240 MB, its count seen moving", large(48, 5_000_000), done("m.tvp", 49), fronts=("window",), watch=True),
    Row("past the 109 FAT sectors", {**many(3, 3_000_000, 3), "m/z.bin": b"z" * 100}, done("m.tvp", 5), fronts=CORE),
    Row("only the mod file, empty folders", {"m.tvx": b"only me", "m/a/b": None, "m/c": None}, done("m.tvp", 1)),
    Row("inner dots in the base name", {"my.castle.v2.tvx": b"m", "my.castle.v2/x.txt": b"x", "my.castle/y": b"y"}, done("my.castle.v2.tvp", 2),
        ("my.castle.v2.tvx",)),
    Row("what is not a mod is refused without an archive", dict.fromkeys(NOT_MODS + ("m/a", "Case/a", "plain"), b"x"),
        "".join('Error! File "{abs}%s" is not a valid Tolvane mod file!\n' % m for m in NOT_MODS[:3]), NOT_MODS, fronts=CORE),
    Row("existing archive, Yes", simple(OLD), done("m.tvp", 3), answers=("yes",)),
    Row("existing archive, No", simple(OLD), 'Mod archive "m.tvp" already exists. Skipping.\n\n', answers=("no",)),
    Row("existing archive, Cancel stops the batch", simple({**OLD, **N}), "Current operation cancelled by user.\n\n", MN, ("cancel",)),
    Row("Exit pressed while the question is open", simple(OLD), "", answers=("exit",), fronts=("window",), fatal=True),
    Row("no answer to the question ends the batch", simple(OLD), "", answers=("none",), fronts=("test_pack",), fatal=True),
    Row("a folder where the archive goes, Yes", simple({"m.tvp/inside": None}), FAILED, answers=("yes",), archives={"m.tvp": "same"}),
    Row("a locked mod file", simple(), CREATING + 'Error adding tvx file to mod archive "m.tvp"!\n', lock="m.tvx", fronts=LOCKS),
    Row("a locked file in a sub-directory", simple(), CREATING + "Adding file 2/3" + DIR_ERROR, lock="m/sub/b.txt", fronts=LOCKS),
    Row("a path of exactly 259 units", path_limit(259), done("m.tvp", 2)),
    Row("a path of 260 units", path_limit(260), TOO_LONG),
    Row("a path beyond the limit two levels down", {"m.tvx": b"m", "m/%s/%s/x.txt" % (D120, D120): b"x"}, cut_at_limit, fronts=CORE),
    Row("a mod file whose own path is too long", {DEEP: b"m"}, re.compile(r'(?s)Error! Path of file ".*m\.tvx" is too long!\n'), (DEEP,), fronts=CORE),
    Row("a tree 130 levels deep", {"m.tvx": b"m", "m/" + "a/" * 130 + "x.txt": b"x"}, TOO_LONG, fronts=CORE),
    Row("a link looping up the tree", simple(), 'Error searching directory "{abs}m\\up\\*"!\nError getting file count from directory '
        '"{abs}m\\up"!\n' + NO_NUMBER, setup=links("m/up", ".."), where=NATIVE, fronts=CORE),
    Row("a file of 4 GiB and a little more", simple(), CREATING + "Adding file 2/4\n" + TOO_LARGE, setup=too_large(2 ** 32 + 5), fronts=CORE, where=NATIVE),
    Row("a file removed between the walks", simple(OLD), CREATING + "Adding file 2/3\n" + SUCCESS, hook="rm m/sub/b.txt", **HOOKED),
    Row("a file created between the walks", simple(OLD), CREATING + "Adding file 4/3\n" + SUCCESS, hook="echo c > m/c.txt", **HOOKED),
    # What else stands at the archive's name, or holds the archive, is left as it is.
    Row("links at the archives' names, Yes", {**simple(N), "victim": b"victim"}, FAILED + FAILED.replace("m.tvp", "n.tvp"), MN,
        ("yes", "yes"), setup=links("m.tvp", "victim", "n.tvp", "nowhere"), archives={"n.tvp": "none"}, where=NATIVE),
    # A file of 2 GiB, refused before it is read, with a file after it. The window's pane shows only
    # some progress lines while files go by fast: the last one must be there in full before the failure.
    Row("300 files, then one too large", {"m.tvx": b"m", "m/z": b"z", **{"m/a/f%03d" % i: b"x" * i for i in range(300)}}, CREATING
        + "Adding file 301/303\n" + TOO_LARGE, setup=too_large(2 ** 31)),
]


class Front:
    def __init__(self, kind, command, wine):
        self.kind, self.command, self.wine = kind, command, wine

    def prefix(self, root):
        return windows_path(root) + "\\" if self.wine else root + "/"

    def pack(self, root, row):
        """Exit status, the pane text and the progress calls (test_pack only)."""
        mods = [self.prefix(root) + m.replace("/", "\\" if self.wine else "/") for m in row.mods]
        args = [a for answer in row.answers for a in ("--answer", answer)] + \
               (["--lock", row.lock.replace("/", "\\") if self.wine else row.lock] if row.lock else [])
        stdin, timeout = b"", 120
        if self.kind == "test_pack":
            command = self.command + args + (["--on-question", row.hook] if row.hook else []) + mods
        elif self.kind == "tvpack":
            command, stdin = self.command + ["pack"] + mods, "".join(a[0] + "\n" for a in row.answers).encode()
        else:
            watch = ["--watch"] if row.watch else []
            command, timeout = self.command[:-1] + ["pack", windows_path(self.command[-1])] + args + watch + list(row.mods), 300
        code, out, err = run(command, root, stdin, timeout)
        return code, out.replace("\r\n", "\n"), err


def check(front, row):
    with tempfile.TemporaryDirectory(prefix="tvp-case-") as root:
        prefix = front.prefix(root)
        plant(root, row.files(prefix) if callable(row.files) else row.files)
        if row.setup:
            row.setup(root)
        before = {name: read(os.path.join(root, name)) if os.path.isfile(os.path.join(root, name)) else None
                  for name in os.listdir(root) if name.endswith(".tvp")}
        code, out, err = front.pack(root, row)
        want = row.out(prefix) if callable(row.out) else row.out
        if isinstance(want, re.Pattern):
            expect(bool(want.fullmatch(out)), True, "pane text matching %r:\n%s" % (want.pattern, out))
        else:
            expect(out, want.replace("{abs}", prefix), "pane text")
        expect(code == 3, row.fatal, "ended as fatal (exit status %d; %s)" % (code, err.strip()[-300:]))
        if front.kind == "test_pack":
            check_progress_calls(out, err)
        if front.kind == "window":
            check_questions(row, out, err)
        if row.watch:
            check_watched(out, err)
        for mod in row.mods:
            archive = os.path.join(root, mod[:-4] + ".tvp")
            name = os.path.basename(archive)
            state = row.archives.get(name) or ("complete" if 'Successfully created mod archive "%s"' % name in out
                                               else "same" if name in before else "none")
            if state == "complete":
                expect(archive_problems(archive, expected_streams(os.path.join(root, mod))), [], name + ": what the readers see wrong")
            elif state == "same":
                kept = read(archive) if os.path.isfile(archive) else os.path.isdir(archive) or "gone"
                expect(kept, before[name] or True, name + " kept as it was")
            else:
                expect(os.path.exists(archive), False, name + " left behind")


def check_progress_calls(out, err):
    """Every file added is one call that replaces the progress line, counting
    up from 1 for each archive: the pane text shows only the last of them."""
    shown = re.findall(r"Adding file (\d+)/(\d+)", out)
    want = ["Adding file %d/%s" % (k, total) for last, total in shown for k in range(1, int(last) + 1)]
    expect([line[len("progress: "):] for line in err.splitlines() if line.startswith("progress: ")], want, "progress calls")


def check_watched(out, err):
    """While the mod is packed, the pane is seen counting up without a step
    back to its final count, at least 3 counts and 8 a second from the first
    seen to the last (the pane promises 10 to 40)."""
    line = next((line for line in err.splitlines() if line.startswith("pane counted:")), "no watch")
    seen = [(int(count), int(ms)) for count, ms in re.findall(r" (\d+)@(\d+)", line)]
    counts = [count for count, _ in seen]
    last = re.findall(r"Adding file (\d+)/", out)[-1:]
    if counts != sorted(set(counts)) or [str(c) for c in counts[-1:]] != last:
        raise AssertionError("the counts seen do not go up to the last one (%s): %s" % (last, line))
    span = seen[-1][1] if seen else 0
    if len(counts) < 3 or (len(counts) - 1) * 1000 < 8 * span:
        raise AssertionError("%d counts seen in %d ms: %s" % (len(counts), span, line))


QUESTION = re.compile(r'box "Tolvane Packer" icon exclamation buttons 6\* 7 2 text: Mod archive "[^"]+" already '
                      r'exists! Do you wish to overwrite it\? pane: (.*)$')


def check_questions(row, out, err):
    """Each question is an ownerless Yes/No/Cancel box with the exclamation
    mark, Yes the default; when it appears the pane shows exactly the lines
    written before it."""
    boxes = [line for line in err.splitlines() if line.startswith("box ")]
    expect(len(boxes), len(row.answers), "message boxes (%s)" % boxes)
    for box in boxes:
        shown = QUESTION.match(box)
        pane = shown.group(1).replace("\\n", "\n") if shown else None
        if not shown or not (out.startswith(pane) and pane.endswith("\n\n") or pane == ""):
            raise AssertionError("not the overwrite question, or not the pane's lines before it: " + box)


WINDOW = """window at {x},{y} of {w}x{h} size 640x400 style 90000000 ex 00000000 class style 00000003 menu 0
button "Help" id 501 style 50000000 ex 00020000 at 50,70,150,100
button "About" id 502 style 50000000 ex 00020000 at 50,120,150,150
button "Exit" id 503 style 50000000 ex 00020000 at 50,170,150,200
button "Select Tolvane mod" id 500 style 50000000 ex 00020000 at 530,350,630,380
button "Output" id 0 style 50000007 ex 00000000 at 190,64,630,340
edit "" id 0 style 50200844 ex 00000200 at 194,81,626,336
hit the window at 170,250: 2
hit "Help" at 100,85: 1
hit "About" at 100,135: 1
hit "Exit" at 100,185: 1
hit "Select Tolvane mod" at 580,365: 1
hit "Output" at 410,202: -1
hit "" at 410,208: 1
drag the background at 170,250 by 40,30: the window moved 40,30
drag the pane at 400,300 by 40,30: the window moved 0,0
"""
BOXES = ['box "Help" icon question buttons 1* text: Select Tolvane mod file(s) to create mod archive(s). pane: ',
         'box "About" icon information buttons 1* text: Tolvane Packer v 1.0\\n(c) Tolvane Packer developers pane: ']


def window_and_boxes(front):
    """The main window centred, borderless, its six controls in creation
    order; unknown commands ignored; Help and About as ownerless OK boxes
    with the question mark and the information sign; the background answers
    the mouse as a caption (the group box lets it through) and drags the
    window, a control does not; Exit ends the program with 0."""
    with tempfile.TemporaryDirectory(prefix="tvp-window-") as root:
        code, out, err = run(front.command[:-1] + ["window", windows_path(front.command[-1])], root, timeout=120)
    w, h = (int(n) for n in re.search(r" of (\d+)x(\d+) ", out).groups())
    # Class names are compared without case (the system may report "Button" or "BUTTON"); texts exactly.
    shown = "".join(line.split(" ", 1)[0].lower() + " " + line.split(" ", 1)[1] for line in out.splitlines(True))
    expect(shown, WINDOW.format(x=(w - 640) // 2, y=(h - 400) // 2, w=w, h=h), "window")
    expect([line for line in err.splitlines() if line.startswith("box ")], BOXES, "boxes")
    expect(code, 0, "exit status")


def startup_failure(front):
    """Without the file dialog's library the program fails at start-up: an
    ownerless OK box "Fatal Error" without icon, exit status -1. A copy runs,
    so that the library is switched off for that file name alone."""
    with tempfile.TemporaryDirectory(prefix="tvp-start-") as root:
        app = os.path.join(root, "TolvanePacker-startup.exe")
        shutil.copy(front.command[-1], app)
        code, out, err = run(front.command[:-1] + ["start", windows_path(app), "comdlg32"], root, timeout=120)
    expect([line for line in err.splitlines() if line.startswith("box ")],
           ['box "Fatal Error" icon none buttons 1* text: Could not create file dialog instance!\\nExiting '
            'application! pane: '], "boxes")
    expect(code, 3, "exit status")


def main(args):
    wine = "--wine" in args
    args = [a for a in args if a != "--wine"]
    if not args or args[0] not in ALL:
        print(__doc__)
        return 2
    front = Front(args[0], absolute(args[1:]), wine or args[0] == "window")
    rows = [r for r in ROWS if front.kind in r.fronts and ("wine" if front.wine else "native") in r.where]
    if front.kind == "window":
        rows += [Row("the main window, its buttons and boxes", window_and_boxes, None), Row("a start-up failure's box", startup_failure, None)]
    return run_table(rows, lambda row: row.files(front) if row.out is None else check(front, row), front.command[:1] if front.wine else None)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
