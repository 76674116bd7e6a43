#!/usr/bin/python3
"""tvpack end to end: the real binary on real folders, one row per command.

Usage: tvpack_cases.py [--wine] [--native TVPACK] --tvpack COMMAND... --craft COMMAND...

COMMAND runs tvpack (or the archive crafting helper; under Wine: the Wine
runner, then the executable). Commands run in a scratch folder holding the
example mod and its archive, with paths relative to it. With --native (and
--wine) the Windows build's archives must equal, byte for byte, those of the
native tvpack.
"""

import fcntl, hashlib, json, os, pty, resource, select, shutil, signal, subprocess, sys, tempfile, termios, threading, time  # noqa: E401

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "support"))
from harness import EXAMPLES, absolute, expect, header, plant, put32, read, read_olefile, run, run_table, tree, u32, write  # noqa: E402
from pack_cases import mixed  # noqa: E402

TVPACK, CRAFT, NATIVE, WINE = [], [], None, False
DONE = 'Creating mod archive "castle.tvp".\nAdding file 7/7\nSuccessfully created mod archive "castle.tvp".\n\n'
QUESTION = 'Mod archive "castle.tvp" already exists! Do you wish to overwrite it?'
SKIPPED = 'Mod archive "castle.tvp" already exists. Skipping.\n\n'
CANCELLED = "Current operation cancelled by user.\n\n"
VERIFIED = '"castle.tvp": OK, 7 files, the same as the mod beside it.\n'


class Row:
    """A tvpack command in the scratch folder and what must come of it. out
    and err: exact text, or a list of texts each must contain. prepare(root)
    sets the scratch up beyond the packed example mod; after(root) checks
    what is on disk. A refused extract must leave the folder as it was. A
    command still running after `timeout` seconds fails the row; preexec
    (limits) runs in its process first."""

    def __init__(self, name, args, code, out=None, err=None, stdin=b"", prepare=None, after=None, pack=True, timeout=120, preexec=None):
        self.name, self.args, self.code, self.out, self.err, self.stdin = name, args, code, out, err, stdin
        self.prepare, self.after, self.pack, self.timeout, self.preexec = prepare, after, pack, timeout, preexec


def check_text(actual, want, what):
    if isinstance(want, str):
        expect(actual, want, what)
    for part in want if isinstance(want, list) else []:
        if part not in actual:
            raise AssertionError("%s lacks %r:\n%s" % (what, part, actual))


def scratch(root, pack=True):
    """The example mod in root, and its archive when pack."""
    shutil.copy(os.path.join(EXAMPLES, "castle.tvx"), root)
    shutil.copytree(os.path.join(EXAMPLES, "castle"), os.path.join(root, "castle"))
    if pack:
        # --overwrite: a run made again (see run()) finds the first one's archive.
        code, out, err = run(TVPACK + ["pack", "--overwrite", "castle.tvx"], root)
        expect((code, out, err), (0, DONE, ""), "packing the example mod: exit status, stdout, stderr")


def check(row):
    with tempfile.TemporaryDirectory(prefix="tvpack-case-") as root:
        scratch(root, row.pack)
        if row.prepare:
            row.prepare(root)
        extract = row.args[:1] == ["extract"]
        before = tree(root) if extract else None
        code, out, err = run(TVPACK + row.args, root, row.stdin, timeout=row.timeout, preexec=row.preexec)
        expect(code, row.code, "exit status (stderr: %s)" % err.strip()[-400:])
        check_text(out.replace("\r\n", "\n"), row.out, "stdout")
        check_text(err.replace("\r\n", "\n"), row.err, "stderr")
        if extract and code != 0:
            expect(tree(root), before, "the folder after a refused extract")
        if row.after:
            row.after(root)


def at(root, path):
    """A path given with backslashes, below root."""
    return os.path.join(root, *path.split("\\"))


def craft(streams, name="c.tvp"):
    """Prepares an archive holding exactly `streams`: (name, whole content)."""
    def prepare(root):
        files = [os.path.join("streams", str(n)) for n in range(len(streams))]
        [write(os.path.join(root, file), content) for file, (_, content) in zip(files, streams)]
        code, out, err = run(CRAFT + [name] + [a for file, (stream, _) in zip(files, streams) for a in (stream, file)], root)
        expect(code, 0, "craft_archive: " + out + err)
        shutil.rmtree(os.path.join(root, "streams"), ignore_errors=True)
    return prepare


def same_tree(folder):
    """Checks that folder holds the mod as it is beside the archive."""
    return lambda root: expect([tree(os.path.join(root, folder, "castle")), read(os.path.join(root, folder, "castle.tvx"))],
                               [tree(os.path.join(root, "castle")), read(os.path.join(root, "castle.tvx"))], folder)


def both(*steps):
    return lambda root: [step(root) for step in steps]


repack = lambda root: run(TVPACK + ["pack", "--overwrite", "castle.tvx"], root)  # noqa: E731
existing_archive = lambda root: write(at(root, "castle.tvp"), b"old")  # noqa: E731
kept = lambda root: expect(read(at(root, "castle.tvp")), b"old", "the old archive")  # noqa: E731
second_mod = both(lambda root: write(at(root, "gate.tvx"), b"gate"), lambda root: write(at(root, "gate\\a.bin"), b"a"), existing_archive)
kept_gate_absent = both(kept, lambda root: expect(os.path.exists(at(root, "gate.tvp")), False, "gate.tvp"))
nothing_outside = lambda root: expect(os.listdir(os.path.join(root, "outside")), [], "files written outside")  # noqa: E731
mine_at_gate = lambda root: write(at(root, "out\\castle\\sounds\\gate.wav"), b"mine")  # noqa: E731


def change(path, data=None):
    """Prepares the mod on disk to differ from its archive."""
    def prepare(root):
        full = at(root, path)
        write(full, data) if data is not None else shutil.rmtree(full) if os.path.isdir(full) else os.remove(full)
    return prepare


def in_the_way(path, kind, target=None):
    def prepare(root):
        full = at(root, "out\\" + path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        if kind == "link":
            os.makedirs(os.path.join(root, "outside"), exist_ok=True)
            os.symlink(os.path.join(root, "outside", target), full)
        else:
            os.makedirs(full) if kind == "folder" else write(full, b"mine")
    return prepare


MOD = ("1", header("castle.tvx") + b"mod")
GOOD = ("2", header("castle\\a.txt") + b"A")
ODD = 'castle\\"q\\\u00e9\U0001F600\x07\udc80 \\x.bin'
REFUSED = [
    ("parent", [MOD, ("2", header("..\\evil") + b"x")], 'stream "2": path "..\\evil" has a ".." component'),
    ("climb", [MOD, ("2", header("castle\\..\\..\\evil"))], 'path "castle\\..\\..\\evil" has a ".."'),
    ("dot", [MOD, ("2", header("castle\\.\\evil"))], 'has a "." component'),
    ("root", [MOD, ("2", header("\\evil"))], 'stream "2": path "\\evil" is absolute'),
    ("slash root", [MOD, ("2", header("/abs"))], 'path "/abs" is absolute'),
    ("drive", [MOD, ("2", header("C:\\x"))], 'path "C:\\x" starts with a drive letter'),
    ("drive relative", [MOD, ("2", header("c:x"))], "drive letter"),
    ("empty component", [MOD, ("2", header("castle\\\\x"))], 'path "castle\\\\x" has an empty component'),
    ("trailing separator", [MOD, ("2", header("castle\\"))], "has an empty component"),
    ("slash", [MOD, ("2", header("castle\\a/../../evil"))], "has a slash in a name"),
    ("empty path", [MOD, ("2", header(""))], 'stream "2": path "" is empty'),
    ("stream zero", [MOD, ("0", header("castle\\a.txt"))], 'stream "0": streams must be named 1 to 2'),
    ("stream x", [MOD, ("x", header("castle\\a.txt"))], 'stream "x": streams must be named 1 to 2'),
    ("leading zero", [MOD, ("02", header("castle\\a.txt"))], 'stream "02"'),
    ("gap", [MOD, ("3", header("castle\\a.txt"))], 'stream "3": streams must be named 1 to 2'),
    ("no mod file", [("2", header("castle\\a.txt")), ("3", header("castle\\b.txt"))], 'stream "3"'),
    ("nothing", [], "holds no stream"),
    ("short", [MOD, ("2", b"tiny")], 'stream "2": 4 bytes, shorter than its 1024-byte name header'),
    ("mod file in a folder", [("1", header("castle\\castle.tvx")), GOOD], 'stream "1": the mod file\'s path'),
    ("mod file not .tvx", [("1", header("castle.txt")), GOOD], 'the mod file\'s name "castle.txt" does not end in ".tvx"'),
    ("outside the mod directory", [MOD, ("2", header("other\\a.txt"))], 'path "other\\a.txt" is not under the mod directory "castle"'),
    ("the mod directory itself", [MOD, ("2", header("castle"))], 'stream "2": path "castle" is not under'),
    ("case of the mod directory", [MOD, ("2", header("Castle\\a.txt"))], "is not under the mod directory"),
    ("same path twice", [MOD, GOOD, ("3", header("castle\\a.txt"))], 'stream "3": same path as stream "2"'),
    ("file under a file", [MOD, GOOD, ("3", header("castle\\a.txt\\b"))], 'path "castle\\a.txt\\b" runs through the file of stream "2"'),
    ("terminal controls", [MOD, ("2", header("..\\e\x1bv\x9b\udc80\uf05cil"))], '"..\\e%1Bv%9B%uDC80%uF05Cil"'),
    ("text after the path's NUL", [MOD, ("2", header("castle\\a.txt", b"..\\..\\evil".decode().encode("utf-16-le") + bytes(2)))],
     'stream "2": the name header holds bytes other than zero after the path "castle\\a.txt"'),
]
WINDOWS_REFUSED = [("stream in a name", [MOD, ("2", header("castle\\a:b"))], "can't hold"),
                   ("device", [MOD, ("2", header("castle\\con.txt"))], "names a device"),
                   ("trailing dot", [MOD, ("2", header("castle\\x."))], "ends in a dot"),
                   ("trailing space", [MOD, ("2", header("castle\\x "))], "ends in a dot or a space")]


def hostile_refused():
    """A name too long for any file system, and names that differ as stored but
    land on one file on disk (as this system's file systems compare names)."""
    pairs = [("case", "a.txt", "A.TXT")] if WINE else [
        ("an escaped UTF-8 character", "\u00e9", "\udcc3\udca9"), ("an escaped character beyond the BMP", "\U0001F600", "\udcf0\udc9f\udc98\udc80"),
        ("a lone surrogate and its escaped bytes", "\udc00", "\udced\udcb0\udc80")]
    return [("a name of 256 units", [MOD, ("2", header("castle\\" + "x" * 256) + b"x")], 'stream "2": path "castle\\xxx')] + [
        ("one file on disk: " + label, [MOD, ("2", header("castle\\" + a) + b"2"), ("3", header("castle\\" + b) + b"3")],
         ['stream "3": path "castle\\', 'is the same file on disk as the path "castle\\', '" of stream "2"']) for label, a, b in pairs]


def damage(change):
    """Prepares castle.tvp damaged where the format is most fragile."""
    def prepare(root):
        path = os.path.join(root, "castle.tvp")
        data = bytearray(read(path))
        directory = 512 * (u32(data, 0x30) + 1)
        entry = lambda name: next(directory + 128 * i for i in range(4)  # noqa: E731
                                  if data[directory + 128 * i:directory + 128 * i + 2 * len(name)] == name.encode("utf-16-le")
                                  and u32(data, directory + 128 * i + 0x40) & 0xFFFF == 2 * len(name) + 2)
        change(data, entry, 512 * (u32(data, 0x4C) + 1))
        write(path, bytes(data))
    return prepare


DAMAGED = [
    ("a stream chain that loops", lambda d, e, f: put32(d, f + 4 * (u32(d, e("2") + 0x74) + 1), u32(d, e("2") + 0x74))),
    ("a stream chain into the directory", lambda d, e, f: put32(d, f + 4 * u32(d, e("2") + 0x74), u32(d, 0x30))),
    ("a sector beyond the file", lambda d, e, f: put32(d, e("2") + 0x74, 0x00FFFFF0)),
    ("a stream size beyond the file", lambda d, e, f: put32(d, e("1") + 0x78, 0x7FFFFFF0)),
    ("an impossible name length", lambda d, e, f: d.__setitem__(slice(e("1") + 0x40, e("1") + 0x42), b"\xc8\0")),
    ("an entry that is its own sibling", lambda d, e, f: put32(d, e("1") + 0x44, (e("1") - 512 * (u32(d, 0x30) + 1)) // 128)),
    ("a mini stream beyond the file", lambda d, e, f: put32(d, 512 * (u32(d, 0x30) + 1) + 0x74, 0x00FFFFF0)),
    ("a cut file", lambda d, e, f: d.__delitem__(slice(len(d) // 2, None))),
    ("a file of zeros", lambda d, e, f: d.__setitem__(slice(0, None), bytes(len(d)))),
    ("what is no archive", lambda d, e, f: d.__setitem__(slice(0, None), b"plain text" * 99)),
    ("a mini stream shorter than its streams", lambda d, e, f: put32(d, 512 * (u32(d, 0x30) + 1) + 0x78, u32(d, 512 * (u32(d, 0x30) + 1) + 0x78) - 44)),
    ("a stream with a child link", lambda d, e, f: put32(d, e("1") + 0x4C, 2)),
    ("the root with a sibling link", lambda d, e, f: put32(d, 512 * (u32(d, 0x30) + 1) + 0x48, 1)),
    ("a used header DIFAT slot", lambda d, e, f: put32(d, 0x4C + 4 * u32(d, 0x2C), u32(d, 0x30))),
    ("a version 3 size with its high word set", lambda d, e, f: put32(d, e("1") + 0x7C, 1)),
    ("a stream no tree reaches", lambda d, e, f: put32(d, 512 * (u32(d, 0x30) + 1) + 0x4C, 0xFFFFFFFF)),
    ("a DIFAT slot after the last FAT sector", lambda d, e, f: put32(d, 512 * (u32(d, 0x44) + 1) + 4 * (u32(d, 0x2C) - 109), 0xFFFFFFFE), 7 << 20),
]


def big_second_stream(size=6144):
    return both(lambda root: write(at(root, "castle\\README.txt"), bytes(range(256)) * (size // 256)), repack)


LISTING = ("1    29  castle.tvx\n2    35  castle\\README.txt\n3    32  castle\\scripts\\gate.lua\n"
           "4     0  castle\\scripts\\unused.cfg\n5  3004  castle\\sounds\\gate.wav\n"
           "6    23  castle\\textures\\stone.txt\n7  6000  castle\\textures\\walls\\brick.dds\n")
STORED = {"version4": os.path.join(os.path.dirname(os.path.abspath(__file__)), "support", "version4-castle.tvp"),
          "system": os.path.join(os.path.dirname(os.path.abspath(__file__)), "fuzz", "corpus", "archive", "system-library-castle.tvp")}


def rewritten(writer):
    """Prepares castle.tvp as another writer writes it: "gsf" (gsf createole,
    stream by stream), or one it once wrote, kept with the tests: "version4"
    (the same streams in 4096-byte sectors), "system" (the system's library
    under Wine, in direct mode)."""
    def prepare(root):
        path, folder = os.path.join(root, "castle.tvp"), os.path.join(root, "streams")
        if writer in STORED:
            return write(path, read(STORED[writer]))
        streams = read_olefile(path)
        [write(os.path.join(folder, name), content) for name, content in streams.items()]
        os.remove(path)
        expect(run(["gsf", "createole", path] + sorted(streams, key=int), folder)[0], 0, "gsf createole")
        shutil.rmtree(folder)
    return prepare


def json_list(streams):
    """list --json's text for streams: (number, size, path)."""
    return "[\n%s\n]\n" % ",\n".join('  {"number": %d, "size": %d, "path": %s}' % (n, s, json.dumps(p)) for n, s, p in streams)


def other_writer_rows():
    """The example mod's archive as other writers write it: the same mod to
    every command; the writer's own choices show only with --strict."""
    table = []
    for writer, label in (("gsf", "gsf createole"), ("version4", "version 4"), ("system", "the system's library")):
        table += [Row("list: " + label, ["list", "castle.tvp"], 0, LISTING, "", prepare=rewritten(writer)),
                  Row("extract: " + label, ["extract", "castle.tvp", "out"], 0, 'Extracted 7 files into "out".\n', "",
                      prepare=rewritten(writer), after=same_tree("out")),
                  Row("verify: " + label, ["verify", "castle.tvp"], 0, VERIFIED, "", prepare=rewritten(writer))]
    return table + [
        Row("verify --strict: gsf createole", ["verify", "--strict", "castle.tvp"], 0, ["compound file, writer's choice: the tree "
            "of directory entry 0: black heights differ below entry", VERIFIED], "", prepare=rewritten("gsf")),
        Row("verify --strict: our own archive", ["verify", "castle.tvp", "--strict"], 0, VERIFIED, "")]


def rows():
    pack, verify, force = ["pack", "castle.tvx"], ["verify", "castle.tvp"], ["extract", "--force", "castle.tvp", "out"]
    table = [
        Row("pack: an unknown answer is asked again; Yes replaces the archive", pack, 0, DONE, [QUESTION], b"maybe\n\nYES\n", existing_archive),
        Row("pack: No keeps the archive", pack, 1, SKIPPED, [QUESTION], b"n\n", existing_archive, kept),
        Row("pack: Cancel stops the rest", pack + ["gate.tvx"], 1, CANCELLED, ["cancelled; 2 mod files not packed"], b"c\n", second_mod, kept_gate_absent),
        Row("pack: no answer stops the batch", pack + ["gate.tvx"], 1, "",
            ["no answer to the overwrite question; use --overwrite or --skip"], b"", second_mod, kept_gate_absent),
        Row("pack: five unknown answers are no answer", pack, 1, "", ["no answer"], b"maybe\n" * 5 + b"y\n", existing_archive, kept),
        Row("pack: --overwrite asks nothing", ["pack", "--overwrite", "castle.tvx"], 0, DONE, "", b"n\n", existing_archive),
        Row("pack: --skip asks nothing", pack + ["--skip"], 1, SKIPPED, [], b"y\n", existing_archive, kept),
        Row("pack: mods not packed are named, the others packed", ["pack", "lonely.tvx", "ghost.tvx", "castle.TVX", "hollow.tvx",
            "castle.tvx", "--overwrite"], 1, ["is not a valid Tolvane mod file!\nCreating mod archive \"hollow.tvp\".\n"
                                              "Error adding tvx file to mod archive \"hollow.tvp\"!\n" + DONE],
            ['"lonely.tvx": not packed: no mod directory "lonely" beside it', '"ghost.tvx": not packed: no such file',
             '"castle.TVX": not packed: see the messages above', '"hollow.tvx": not packed: see the messages above'] +
            ([] if WINE else ["tvpack: hollow.tvx: Is a directory\n"]),
            prepare=lambda root: [write(at(root, n), b"x") for n in ("lonely.tvx", "castle.TVX")] + [os.makedirs(at(root, n)) for n in ("hollow.tvx", "hollow")]),
        Row("pack: -- ends the options", ["pack", "--", "--odd.tvx"], 0, ['"--odd.tvp".'], "",
            prepare=lambda root: [write(at(root, "--odd.tvx"), b"m"), write(at(root, "--odd\\a"), b"a")]),
        Row("pack escapes controls in the pane's text and in its notes", ["pack", "e\x1b\x9b.txt"], 1, ['e%1B%9B.txt" is not a valid'],
            ['"e%1B%9B.txt": not packed'], pack=False),
        Row("pack: non-ASCII names print as UTF-8", ["pack", "ch\u00e2teau \u00e9t\u00e9.tvx"], 0, 'Creating mod archive "ch\u00e2teau \u00e9t\u00e9.tvp".\n'
            'Adding file 2/2\nSuccessfully created mod archive "ch\u00e2teau \u00e9t\u00e9.tvp".\n\n', "", prepare=lambda root: [
                write(at(root, "ch\u00e2teau \u00e9t\u00e9.tvx"), b"m"), write(at(root, "ch\u00e2teau \u00e9t\u00e9\\\u00dcber\\\u00e4.txt"), b"a")]),
        Row("list names what it can't describe", ["list", "c.tvp"], 1, "1  1  castle.tvx\n", ['stream "x": streams must be named 1 to 3',
            'stream "2": 5 bytes, shorter than its 1024-byte name header'],
            prepare=craft([("1", header("castle.tvx") + b"m"), ("x", header("castle\\x")), ("2", b"short")])),
        Row("extract recreates the mod, its folders too", ["extract", "castle.tvp", "deeper/new"], 0, 'Extracted 7 files into "deeper/new".\n', "",
            after=same_tree(os.path.join("deeper", "new"))),
        Row("extract keeps existing files", ["extract", "castle.tvp", "out"], 1, "",
            ['stream "5": "castle\\sounds\\gate.wav" exists; use --force'], prepare=mine_at_gate),
        Row("extract --force replaces them", force, 0, None, "", prepare=mine_at_gate, after=same_tree("out")),
        Row("extract: a folder where a file goes", force, 1, "", ['stream "3": "castle\\scripts\\gate.lua" is a folder'],
            prepare=in_the_way("castle\\scripts\\gate.lua", "folder")),
        Row("extract: a file where a folder goes", force, 1, "", ['stream "6": "castle\\textures\\stone.txt" needs a folder where'],
            prepare=in_the_way("castle\\textures", "file")),
        Row("verify: without the mod only the archive", ["verify", os.path.join("alone", "castle.tvp")], 0,
            '"%s": OK, 7 files; the mod is not beside the archive, so only the archive was checked.\n' % os.path.join("alone", "castle.tvp"),
            "", prepare=lambda root: os.renames(at(root, "castle.tvp"), at(root, "alone\\castle.tvp"))),
        Row("verify: bytes after the header path", ["verify", "c.tvp"], 1, ['stream "1": the name header holds bytes other than zero after the path'],
            prepare=craft([("1", header("castle.tvx", junk=b"\1") + b"mod")])),
        Row("verify names a reader that refuses the archive, and passes it", verify, 0, ["compound file, refused by 7-Zip: header: minor "
            "version is 0x003B, not 0x003E\n", ": OK, 7 files"], "", prepare=damage(lambda d, e, f: d.__setitem__(0x18, 0x3B))),
        Row("--version", ["--version"], 0, "tvpack (Tolvane Packer) 1.0\n", ""),
        Row("list --json", ["list", "--json", "castle.tvp"], 0, json_list((int(n), int(s), p) for n, s, p in map(str.split, LISTING.splitlines())), ""),
        # On Windows the '"' in that name is a layout fault: listed all the same, with status 1.
        Row("list --json escapes what is not ASCII", ["list", "--json", "c.tvp"], int(WINE), json_list([(1, 1, "castle.tvx"), (2, 5, ODD)]),
            ["can't hold"] if WINE else "", prepare=craft([("1", header("castle.tvx") + b"m"), ("2", header(ODD) + b"12345")])),
    ]
    for label, path, data, lines in [
            ("a changed byte", "castle\\scripts\\gate.lua", b"-- GATE\n" * 3, ['stream "3": "castle\\scripts\\gate.lua" differs from the file on disk']),
            ("a changed size", "castle.tvx", b"longer than before, by far!!!!",
             ['stream "1": "castle.tvx" differs from the file on disk (29 bytes in the archive, 30 on disk)']),
            ("a missing file", "castle\\textures\\walls\\brick.dds", None, ['stream "7": "castle\\textures\\walls\\brick.dds" is not on disk']),
            ("a missing mod file", "castle.tvx", None, ['stream "1": "castle.tvx" is not on disk']),
            ("an extra file", "castle\\sounds\\new.wav", b"", ['"castle\\sounds\\new.wav" is on disk but not in the archive']),
            ("an extra folder", "castle\\new\\deep.txt", b"x", ['"castle\\new\\deep.txt" is on disk but not in the archive']),
            ("a missing mod directory", "castle", None, ['the mod directory "castle" is missing beside the archive',
                                                         'stream "2": "castle\\README.txt" is not on disk'])]:
        table.append(Row("verify finds " + label, verify, 1, lines + ["problem"], "", prepare=change(path, data)))
    for label, streams, message in REFUSED + hostile_refused() + (WINDOWS_REFUSED if WINE else []):
        message = message if isinstance(message, list) else [message]
        table += [Row("extract refuses " + label, ["extract", "--force", "c.tvp", "out"], 1, "", message + ["refused"], prepare=craft(streams)),
                  Row("verify finds " + label, ["verify", "c.tvp"], 1, message, None, prepare=craft(streams)),
                  Row("list finds " + label, ["list", "c.tvp"], 1, None, message, prepare=craft(streams))]
    for label, changer, *size in DAMAGED:
        for command in (["list"], ["list", "--json"], ["verify"], ["extract", "--force"]):
            table.append(Row("%s: %s" % (" ".join(command), label), command + ["castle.tvp"], 1, None, None,
                             prepare=both(big_second_stream(*size), damage(changer))))
    for args in map(str.split, ("|bogus|--bogus|pack|list|list a.tvp b.tvp|extract|extract a.tvp dir more|verify|verify a.tvp b.tvp|pack --json a.tvx|"
                                "list --force a.tvp|extract --skip a.tvp|verify --overwrite a.tvp|pack --overwrite --skip a.tvx|verify -x a.tvp|"
                                "list --strict a.tvp").split("|")):
        table.append(Row("usage error: %r" % args, args, 2, "", ["tvpack: ", "tvpack --help"], pack=False))
    for args in (["--help"], ["-h"], ["pack", "--help"]):
        table.append(Row("help: %r" % args, args, 0, ["Usage: tvpack COMMAND", "pack", "list", "extract", "verify",
                                                      "--overwrite", "--skip", "--json", "--force"], "", pack=False))
    table += hostile_rows() + other_writer_rows()
    if not WINE:
        table += native_rows() + windows_name_rows()
    return table + listing_rows() + modder_rows()


def native_rows():
    added, not_packed = ('Creating mod archive "castle.tvp".\nAdding file %d/8Error adding mod directory to mod archive "castle.tvp"!\n',
                         '"castle.tvx": not packed: see the messages above')
    odd = (b"bad\xff.bin", b"back\\slash.txt")
    links = [Row("extract --force? %s: never through a link at %s" % (force, link), ["extract"] + force + ["castle.tvp", "out"], 1, "",
                 ["symbolic link"], prepare=in_the_way(link, "link", target), after=nothing_outside)
             for link, target in [("castle", ""), ("castle\\textures", ""), ("castle.tvx", "victim"), ("castle\\sounds\\gate.wav", "victim")]
             for force in ([], ["--force"])]
    return links + [
        Row("POSIX byte names survive the round trip", ["extract", "castle.tvp", "out"], 0, None, "",
            prepare=both(lambda root: [write(os.path.join(root.encode(), b"castle", name), name) for name in odd], repack),
            after=lambda root: [expect(read(os.path.join(root.encode(), b"out", b"castle", name)), name, name) for name in odd]),
        Row("names only Windows refuses are files elsewhere", ["extract", "c.tvp", "out"], 0, None, "", prepare=craft([MOD, ("2", header("castle\\a:b") + b"1"),
            ("3", header("castle\\con.txt") + b"2")]), after=lambda root: expect(tree(at(root, "out\\castle")), {"a:b": b"1", "con.txt": b"2"}, "files")),
        # Packing steps that fail: after the pane's texts, the file on disk and the system's reason.
        Row("pack names a dangling link", ["pack", "castle.tvx"], 1, added % 5, ["tvpack: castle/textures/dangling.dds: No such file or directory\n",
            not_packed], pack=False, prepare=lambda root: os.symlink("nowhere", at(root, "castle\\textures\\dangling.dds"))),
        # A FIFO among the mod's files: its open must not wait for a writer.
        Row("pack: a FIFO in the mod is refused at once", ["pack", "castle.tvx"], 1, added % 1, ["castle/pipe: it is a FIFO (a named pipe), not a "
            "regular file", not_packed], pack=False, timeout=10, prepare=lambda root: os.mkfifo(at(root, "castle\\pipe")),
            after=lambda root: expect(os.path.exists(at(root, "castle.tvp")), False, "castle.tvp")),
        Row("pack: an archive that can't be replaced is not removed", ["pack", "--overwrite", "castle.tvx"], 1,
            'Error creating mod archive "castle.tvp"!\n\n', [not_packed], prepare=existing_archive, after=kept, preexec=limited(0)),
    ]


def limited(size):
    """A file size limit for the command (past it a write fails; no signal)."""
    return lambda: (resource.setrlimit(resource.RLIMIT_FSIZE, (size, size)), signal.signal(signal.SIGXFSZ, signal.SIG_IGN))


def hostile_rows():
    """Archives and disks that try to turn list, verify and extract against their user."""
    hard_link = both(lambda root: write(at(root, "outside\\victim"), b"mine"), lambda root: os.makedirs(at(root, "out\\castle\\sounds")),
                     lambda root: os.link(at(root, "outside\\victim"), at(root, "out\\castle\\sounds\\gate.wav")))
    table = [Row("extract --force replaces a hard link to a file outside, never writes through it", ["extract", "--force", "castle.tvp", "out"],
                 0, None, "", prepare=hard_link, after=both(same_tree("out"), lambda root: expect(read(at(root, "outside\\victim")), b"mine", "outside")))]
    # Two names that stand for one file on disk (a short name, a hard link) never get two streams.
    alias = ("castle\\LONG~LMQ.TXT", "castle\\longfilename.txt") if WINE else ("castle\\b.txt", "castle\\a.txt")
    table.append(Row("extract --force refuses two streams for one file on disk", ["extract", "--force", "c.tvp", "out"], 1, "",
                     ['stream "3": "%s" is the same file on disk as stream "2": "%s"' % alias], prepare=both(craft(
                         [MOD, ("2", header(alias[1]) + b"2"), ("3", header(alias[0]) + b"3")]), in_the_way(alias[1], "file"),
                         lambda root: WINE or os.link(at(root, "out\\castle\\a.txt"), at(root, "out\\castle\\b.txt")))))
    if WINE:
        return table + [Row("extract refuses a folder Windows can't hold", ["extract", "castle.tvp", "out "], 1, "",
                            ['"out ": refused: "out " ends in a dot or a space']),
                        Row("list gives the system's words", ["list", "none.tvp"], 1, "", ['cannot open the file: File not found'])]
    table += [Row("%s refuses a FIFO at once" % command, [command, "pipe.tvp"], 1, ["is not a regular file"] if command == "verify" else "",
                  None if command == "verify" else ["is not a regular file"], timeout=10, prepare=lambda root: os.mkfifo(at(root, "pipe.tvp")))
              for command in ("list", "verify", "extract")]
    # A failed write (here: past the file size limit) leaves the file being
    # replaced as it was and nothing else: the folder is compared as a whole.
    table.append(Row("extract: a failed write leaves no part of the file", ["extract", "--force", "c.tvp"], 1, "",
                     ['stream "1": "castle.tvx" can\'t be written: File too large'],
                     prepare=craft([("1", header("castle.tvx") + bytes(8192))]), preexec=limited(4096)))
    table.append(Row("list: standard output that can't be written", ["list", "castle.tvp"], 1, "", ["standard output could not be written"],
                     preexec=lambda: os.dup2(os.open("/dev/full", os.O_WRONLY), 1)))
    # AddressSanitizer reserves terabytes of address space: no limit there.
    if b"__asan_init" not in read(TVPACK[0]):
        table.append(Row("list: a sparse terabyte costs what its tables cost", ["list", "castle.tvp"], 1, ["castle\\textures\\walls\\brick.dds\n"],
                         ["the FAT does not cover every sector of the file"], prepare=lambda root: os.truncate(at(root, "castle.tvp"), 1 << 40),
                         timeout=10, preexec=lambda: resource.setrlimit(resource.RLIMIT_AS, (512 << 20, 512 << 20))))
    return table


WINDOWS_NAMES = [("a device", "CON", "names a device"), ("a device with an extension", "nul.txt", "names a device"),
                 ("a device as a folder", "lpt1/x.txt", 'the name "lpt1" names a device'),
                 ("a trailing dot", "x.", "ends in a dot or a space"), ("a trailing space", "x ", "ends in a dot"),
                 ("a tab", "a\tb", 'the name "a%09b" holds a control character'),
                 ("bytes that are not UTF-8", b"bad\xff", "was not valid UTF-8 on disk"), ("port 0", "COM0", "names a device"),
                 ("a superscript port", "lpt\u00b3.x", "names a device"), ("a console", "CONIN$", "names a device"),
                 ("U+F05C", b"a\xef\x81\x9cb", "holds U+F05C")] + \
                [("'%s'" % c, "a%sb" % c, "holds '%s', which Windows file names can't hold" % c) for c in '<>:"|?*']


def windows_name_rows():
    """A mod with a name Windows can't create: packed with a warning, verified with a note."""
    def put(name):
        return lambda root: write(os.path.join(root.encode(), b"castle", name if isinstance(name, bytes) else name.encode()), b"w")

    def stored(name):
        text = name.decode("utf-8", "surrogateescape") if isinstance(name, bytes) else name
        text = text.replace("/", "\\").replace("\t", "%09").replace("\uf05c", "\udcef\udc81\udc9c")  # kept as its bytes
        return "castle\\" + "".join("%%u%04X" % ord(c) if 0xDC80 <= ord(c) <= 0xDCFF else c for c in text)
    return [row for label, name, why in WINDOWS_NAMES for row in (
        Row("pack warns about a Windows name: " + label, ["pack", "--overwrite", "castle.tvx"], 0, None,
            ['tvpack: "castle.tvx": warning: "%s" can\'t be created on Windows: ' % stored(name), why], prepare=put(name)),
        Row("verify notes a Windows name: " + label, ["verify", "castle.tvp"], 0,
            ['note: stream "', '": "%s" can\'t be created on Windows: ' % stored(name), why, ": OK, 8 files"], "", prepare=both(put(name), repack)))]


def listing_rows():
    """Pairs of paths that plain list once printed alike, and now tells apart."""
    pairs = [("a tab and the text \\x09", "castle\\a\t", "castle\\a\\x09", "castle\\a%09", "castle\\a\\x09", (0, 1)),
             ("a backslash in a name and a separator", "castle\\a\uf05cb", "castle\\a\\b", "castle\\a%uF05Cb", "castle\\a\\b", (0, 0)),
             ("bytes that are not UTF-8 and their character", "castle\\\udcc3\udca9", "castle\\\u00e9", "castle\\%uDCC3%uDCA9", "castle\\\u00e9", (1, 0)),
             ("a percent sign and an escape", "castle\\%09", "castle\\\x01", "castle\\%2509", "castle\\%01", (0, 1)),
             ("a slash and a separator", "castle\\a/b", "castle\\a\\b", "castle\\a%2Fb", "castle\\a\\b", (1, 1))]
    # A pair that is a layout fault on this system (one file on disk, a name it
    # can't create) is listed all the same, with status 1.
    return [Row("list tells apart " + label, ["list", "c.tvp"], codes[WINE], "1  3  castle.tvx\n2  1  %s\n3  1  %s\n" % (shown_a, shown_b),
                None if codes[WINE] else "", prepare=craft([MOD, ("2", header(a) + b"a"), ("3", header(b) + b"b")]))
            for label, a, b, shown_a, shown_b, codes in pairs]


def modder_rows():
    """Choosing files, cat, list --hash, diff, and names that clash on Windows."""
    sha = lambda path: hashlib.sha256(read(at(EXAMPLES, path))).hexdigest()  # noqa: E731
    gate, unused = "castle\\scripts\\gate.lua", "castle\\scripts\\unused.cfg"
    edited = both(change("castle\\README.txt", b"x" * 35), change(unused), change("castle\\new.txt", b"n"),
                  lambda root: os.rename(at(root, "castle\\sounds"), at(root, "castle\\SOUNDS")))
    clash = lambda root: write(at(root, "castle\\Textures\\stone.txt"), b"s")  # noqa: E731
    clash_text = '"castle\\textures\\stone.txt" is the same file on Windows as "castle\\Textures\\stone.txt" of stream "6"'
    cat_bytes = lambda root: expect(run(TVPACK + ["cat", "c.tvp", "CASTLE/A.BIN", "castle\\a.bin"], root)[1], "\n\r\n\0\udcff" * 2, "cat")  # noqa: E731
    brick = "castle\\textures\\walls\\brick.dds"
    only_brick = lambda root: expect(tree(at(root, "out")), {at("", p): None for p in ("castle", "castle\\textures", "castle\\textures\\walls")}  # noqa: E731
                                     | {at("", brick): read(at(root, brick))}, "what extract wrote")
    table = [
        Row("list --include", ["list", "--include", "castle/**/*.DDS", "--include=castle\\SOUNDS", "castle.tvp"], 0,
            "5  3004  castle\\sounds\\gate.wav\n7  6000  castle\\textures\\walls\\brick.dds\n", ""),
        Row("list --exclude", ["list", "--exclude", "castle/*", "castle.tvp"], 0, "1  29  castle.tvx\n", ""),
        Row("list: a pattern that chooses nothing", ["list", "--include", "*.tvx", "--exclude", "*.dds", "castle.tvp"], 1, "",
            'tvpack: "castle.tvp": --exclude "*.dds" chooses no file\n'),
        Row("list --hash", ["list", "--hash", "--include", "castle/scripts/*", "castle.tvp"], 0,
            "3  32  %s  %s\n4   0  %s  %s\n" % (sha(gate), gate, sha(unused), unused), ""),
        Row("list --hash --json", ["list", "--json", "--hash", "--include", "castle/scripts/g*", "castle.tvp"], 0,
            '[\n  {"number": 3, "size": 32, "sha256": "%s", "path": "castle\\\\scripts\\\\gate.lua"}\n]\n' % sha(gate), ""),
        Row("extract --include writes the file and its folders only", ["extract", "--include", "castle/textures/w*/*", "castle.tvp", "out"], 0,
            'Extracted 1 file into "out".\n', "", after=only_brick),
        Row("extract --include: the rules hold for what it writes", ["extract", "--include", "castle/sounds", "castle.tvp", "out"], 1, "",
            ['stream "5": "castle\\sounds\\gate.wav" exists'], prepare=mine_at_gate),
        Row("extract --exclude: the whole archive is checked", ["extract", "--exclude", "castle/b*", "c.tvp", "out"], 1, "",
            ['stream "3": path "castle\\b\\..\\x" has a ".." component'], prepare=craft([MOD, GOOD, ("3", header("castle\\b\\..\\x"))])),
        Row("verify: \"..\" is no name ending in a dot", ["verify", "c.tvp"], 1, ['the name ".." stands for a folder itself or the one above it'],
            None, prepare=craft([MOD, ("2", header("castle\\..\\x"))])),
        Row("cat writes the stored bytes, case and separator as Windows reads them", ["cat", "castle.tvp", "nothing", "CASTLE/scripts/GATE.LUA"],
            1, read(at(EXAMPLES, gate)).decode(), 'tvpack: "castle.tvp": "nothing": not in the archive\n'),
        Row("cat is binary-safe", ["cat", "c.tvp", "castle/a.bin"], 0, None, "",
            prepare=craft([MOD, ("2", header("castle\\a.bin") + b"\n\r\n\0\xff")]), after=cat_bytes),
        Row("diff: an archive and its mod", ["diff", "castle.tvp", "castle.tvx"], 0, "", ""),
        Row("diff: added, removed and changed", ["diff", "castle.tvp", "castle.tvx"], 1,
            'added: "castle\\new.txt"\nremoved: "%s"\nchanged: "castle\\README.txt"\n' % unused, "", prepare=edited),
        Row("diff --json", ["diff", "--json", "castle.tvx", "castle.tvp"], 1, '{"added": ["%s"], "removed": ["castle\\\\new.txt"], '
            '"changed": ["castle\\\\README.txt"]}\n' % unused.replace("\\", "\\\\"), "", prepare=edited),
        Row("diff: an unreadable side is no difference", ["diff", "castle.tvp", "gone.tvp"], 3, "", ['"gone.tvp": ']),
    ]
    return table if WINE else table + [
        Row("pack warns about paths Windows takes for one", ["pack", "--overwrite", "castle.tvx"], 0, None,
            ['tvpack: "castle.tvx": warning: ' + clash_text], prepare=clash),
        Row("verify notes paths Windows takes for one", ["verify", "castle.tvp"], 0, ['note: stream "7": ' + clash_text], "",
            prepare=both(clash, repack))]


def stalled_packer(root, args):
    """tvpack with a full pipe as standard output: it stops at its first line,
    "Creating mod archive", holding the new archive, until the pipe is read.
    The process and the pipe's reading end."""
    reader, writer = os.pipe()
    os.write(writer, b"." * fcntl.fcntl(writer, fcntl.F_GETPIPE_SZ))  # the whole pipe: the next write waits
    process = subprocess.Popen(TVPACK + args, cwd=root, stdout=writer, stderr=subprocess.DEVNULL)
    os.close(writer)
    deadline = time.monotonic() + 30
    while not unnamed_files(process.pid, root) and time.monotonic() < deadline:
        time.sleep(0.01)
    return process, reader


def unnamed_files(pid, folder):
    """The files process pid writes below folder that have no name yet (under Wine: the names of its files
    marked for deletion, whose bytes are written before they are complete)."""
    try:
        held = [os.readlink("/proc/%d/fd/%s" % (pid, fd)) for fd in os.listdir("/proc/%d/fd" % pid)]
    except OSError:
        return []
    return [path for path in held if path.startswith(folder + "/") and (path.endswith(" (deleted)") or WINE and
                                                                         os.path.basename(path).startswith((".tvpack-", "castle.tvp")))]


def gone(root, names):
    """Waits (Wine's server removes a process's files after it ends) until no file of `names` is left."""
    for _ in range(500):
        left = [n for _, _, files in os.walk(root) for n in files if n.startswith(names)]
        if not left:
            break
        time.sleep(0.01)
    expect(left, [], "files left behind")


def read_to_end(fd):
    """Everything until the writer is gone (a terminal's end reads as an error), then closes fd."""
    shown = b""
    try:
        while chunk := os.read(fd, 1 << 16):
            shown += chunk
    except OSError:
        pass
    os.close(fd)
    return shown


def in_terminal(root, args):
    """tvpack started in root on a new terminal: the child's pid and the terminal."""
    pid, fd = pty.fork()
    if pid == 0:
        os.chdir(root)
        os.execv(TVPACK[0], TVPACK + args)
    return pid, fd


def with_big_file(root, size):
    with open(at(root, "castle\\big.bin"), "wb") as big:
        big.truncate(size)
    repack(root)


def check_special(name):
    """Rows whose outcome is compared with data computed from the tree."""
    with tempfile.TemporaryDirectory(prefix="tvpack-case-") as root:
        scratch(root)
        if name == "interrupted":
            os.remove(at(root, "castle.tvp"))
            # Under Wine SIGINT is Ctrl+C, which ends tvpack.exe with 0xC000013A (0x3A to Linux), and SIGKILL is End task.
            for number, args in ([(signal.SIGINT, []), (signal.SIGKILL, []), (signal.SIGKILL, ["--overwrite"])] if WINE else
                                 [(signal.SIGINT, []), (signal.SIGTERM, []), (signal.SIGHUP, [])]):
                if args:
                    write(at(root, "castle.tvp"), b"old")
                process, reader = stalled_packer(root, ["pack"] + args + ["castle.tvx"])
                process.send_signal(number)
                expect(process.wait(timeout=60), 0x3A if WINE and number == signal.SIGINT else -number, "ended by " + number.name)
                os.close(reader)
                gone(root, (".tvpack-",) if args else (".tvpack-", "castle.tvp"))
                if args:
                    expect(read(at(root, "castle.tvp")), b"old", "the archive a pack ended early was to replace")
        elif name == "two packers at once":
            # Neither archive has a name until complete: the second packer names
            # its own, and the first then finds the name taken.
            os.remove(at(root, "castle.tvp"))
            first, reader = stalled_packer(root, ["pack", "--overwrite", "castle.tvx"])
            expect(repack(root)[:2], (0, DONE), "the second packer")
            shown = read_to_end(reader)
            expect((first.wait(timeout=60), shown.lstrip(b".").decode()), (1, DONE), "the first packer")
            expect(run(TVPACK + ["verify", "castle.tvp"], root)[0], 0, "verify of the first packer's archive")
        elif name == "terminal":
            pid, fd = in_terminal(root, ["pack", "--overwrite", "castle.tvx"])
            shown = read_to_end(fd)
            expect(os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1]), 0, "exit status")
            progress = "".join("\r\x1b[KAdding file %d/7" % n for n in range(1, 8))
            expect(shown.decode().replace("\r\n", "\n"), 'Creating mod archive "castle.tvp".\n' + progress +
                   '\nSuccessfully created mod archive "castle.tvp".\n\n', "terminal")
        elif name == "extract interrupted":
            # Ended while writing a file of 256 MiB, by a signal it handles and
            # by one it can't: nothing of that file is left, and the process
            # ends by the signal.
            with_big_file(root, 256 << 20)
            out = at(root, "out")
            for number in (signal.SIGINT, signal.SIGKILL) if WINE else (signal.SIGQUIT, signal.SIGKILL):
                shutil.rmtree(out, ignore_errors=True)
                process = subprocess.Popen(TVPACK + ["extract", "castle.tvp", "out"], cwd=root, stdout=subprocess.DEVNULL)
                while process.poll() is None and not unnamed_files(process.pid, out):
                    pass
                process.send_signal(number)
                expect(process.wait(timeout=60), 0x3A if number == signal.SIGINT else -number, "ended by " + number.name)
                gone(out, (".tvpack-", "big.bin"))
        elif name == "race":
            # While extract runs again and again, a folder on the way keeps
            # being swapped for a link to a folder outside: nothing may land
            # there, whichever moment the swap hits.
            craft([MOD] + [(str(n), header("castle\\sub\\evil%d.txt" % n) + b"evil") for n in range(2, 9)])(root)
            outside, sub = at(root, "outside"), at(root, "out\\castle\\sub")
            [os.makedirs(path) for path in (outside, sub)]
            running = [True]

            def swap():
                while running[0]:
                    try:
                        os.rename(sub, sub + ".away")
                        os.symlink(outside, sub)
                        os.unlink(sub)
                        os.rename(sub + ".away", sub)
                    except OSError:
                        shutil.rmtree(sub + ".away", ignore_errors=True)
            swapper = threading.Thread(target=swap)
            swapper.start()
            try:
                for _ in range(40):
                    run(TVPACK + ["extract", "--force", "c.tvp", "out"], root)
            finally:
                running[0] = False
                swapper.join()
            nothing_outside(root)
        elif name == "file race":
            # While extract writes a large file, a file appears at its name
            # after the check that nothing is there: without --force it must
            # stay as it is, whichever moment it appears.
            with_big_file(root, 32 << 20)
            target, won = at(root, "out\\castle\\big.bin"), 0
            for _ in range(10):
                shutil.rmtree(at(root, "out"), ignore_errors=True)
                os.makedirs(at(root, "out"))
                process = subprocess.Popen(TVPACK + ["extract", "castle.tvp", "out"], cwd=root, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                mine = False
                while process.poll() is None and not mine:
                    try:
                        os.close(os.open(target, os.O_WRONLY | os.O_CREAT | os.O_EXCL))
                        mine = True
                    except OSError:
                        pass
                code = process.wait(timeout=60)
                if mine:
                    won += 1
                    expect((code, os.path.getsize(target)), (1, 0), "exit status, size of the file that appeared")
            expect(won > 0, True, "a file appeared while extract ran")
        elif name == "started from Explorer":
            # Wine gives a program started from a terminal a console of its
            # own, as Explorer does: no arguments show the usage, mod files
            # are packed (the question asked in the console), then Enter is
            # awaited. With input from a pipe (every other row) it never waits.
            for args, answers, shown in (([], [], "Usage: tvpack"), (["castle.tvx"], ["y"], "Successfully created")):
                pid, fd = in_terminal(root, args)
                # Enter reaches the console as a carriage return, whatever mode it has set yet.
                mode = termios.tcgetattr(fd)
                mode[0] &= ~termios.ICRNL
                termios.tcsetattr(fd, termios.TCSANOW, mode)
                seen = b""
                for prompt in [b"[c]ancel:"] * len(answers) + [b"Press Enter to close this window."]:
                    while prompt not in seen:
                        if not select.select([fd], [], [], 60)[0]:
                            raise AssertionError("%s: no %r after %r" % (args, prompt, seen[-300:]))
                        seen += os.read(fd, 1 << 16)
                    os.write(fd, (answers.pop(0) if answers else "").encode() + b"\r")
                    seen = seen.replace(prompt, b"", 1)
                read_to_end(fd)
                expect((os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1]), shown in seen.decode()), (0, True), str(args))
        elif name == "same as native":
            for mod in ("castle", "m"):
                plant(root, mixed() if mod == "m" else {})
                archives = []
                for command in (NATIVE, TVPACK):
                    expect(run(command + ["pack", "--overwrite", mod + ".tvx"], root)[0], 0, "packing " + mod)
                    archives.append(read(os.path.join(root, mod + ".tvp")))
                expect(archives[1] == archives[0], True, "%s.tvp the same from both builds" % mod)


def main(args):
    global TVPACK, CRAFT, NATIVE, WINE
    WINE, args = "--wine" in args, [a for a in args if a != "--wine"]
    if "--tvpack" not in args or "--craft" not in args:
        return print(__doc__) or 2
    if "--native" in args:
        NATIVE, args[args.index("--native"):args.index("--native") + 2] = absolute(args[args.index("--native") + 1:args.index("--native") + 2]), []
    TVPACK = absolute(args[args.index("--tvpack") + 1:args.index("--craft")])
    CRAFT = absolute(args[args.index("--craft") + 1:])
    specials = (["same as native"] if NATIVE else []) + ["extract interrupted", "interrupted"] + (
        ["started from Explorer"] if WINE else ["terminal", "race", "file race", "two packers at once"])
    return run_table(rows() + [Row(name, None, None) for name in specials], lambda row: check_special(row.name) if row.args is None else check(row),
                     TVPACK[:1] if WINE else None)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
