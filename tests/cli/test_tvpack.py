#!/usr/bin/python3
"""tvpack end to end: the real binary on real folders.

Usage: test_tvpack.py [--windows] --tvpack COMMAND... --craft COMMAND... [--tests NAME...]

COMMAND runs tvpack (or the archive crafting helper); for the Windows build it
is the Wine runner followed by the executable. Every command runs in a
scratch folder with paths relative to it, so the same cases serve both builds.
With --windows, absolute paths are expected as Wine shows them (Z:\\...), and
cases that need a pseudo-terminal or POSIX symbolic links are left out.
"""

import json
import os
import pty
import shutil
import subprocess
import sys
import tempfile
import unittest

import olefile

HERE = os.path.dirname(os.path.abspath(__file__))
EXAMPLES = os.path.join(HERE, "..", "..", "examples")

TVPACK = []
CRAFT = []
WINDOWS = False

# The example mod's files in the order the packer numbers them.
CASTLE_FILES = [
    "castle.tvx",
    "castle\\README.txt",
    "castle\\scripts\\gate.lua",
    "castle\\scripts\\unused.cfg",
    "castle\\sounds\\gate.wav",
    "castle\\textures\\stone.txt",
    "castle\\textures\\walls\\brick.dds",
]

CASTLE_TRANSCRIPT = ('Creating mod archive "castle.tvp".\n'
                     "Adding file 7/7\n"
                     'Successfully created mod archive "castle.tvp".\n\n')


def run(args, cwd, stdin=b"", command=None):
    done = subprocess.run((command or TVPACK) + args, cwd=cwd, input=stdin,
                          capture_output=True, timeout=120)
    return done.returncode, done.stdout.decode("utf-8"), done.stderr.decode("utf-8")


def shown_path(path):
    """An absolute path as the build under test prints it."""
    return "Z:" + path.replace("/", "\\") if WINDOWS else path


def native(header_path):
    return header_path.replace("\\", os.sep)


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def write_bytes(path, data):
    os.makedirs(os.path.dirname(path) or ".", exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def tree(root):
    """Every file below root: relative path -> bytes; folders as None."""
    found = {}
    for folder, dirs, files in os.walk(root):
        for name in dirs:
            found[os.path.relpath(os.path.join(folder, name), root)] = None
        for name in files:
            path = os.path.join(folder, name)
            found[os.path.relpath(path, root)] = read_bytes(path)
    return found


def archive_streams(path):
    """The archive's streams by name, read by olefile at its strictest."""
    ole = olefile.OleFileIO(path, raise_defects=olefile.DEFECT_INCORRECT)
    try:
        return {entry[0]: ole.openstream(entry).read() for entry in ole.listdir()}
    finally:
        ole.close()


def header(path, junk=b""):
    encoded = path.encode("utf-16-le", "surrogatepass")
    return encoded + b"\0" * (1024 - len(encoded) - len(junk)) + junk


def craft(folder, archive, streams):
    """Writes an archive holding exactly `streams`: (name, whole content)."""
    listing = os.path.join(folder, archive + ".streams")
    with open(listing, "w") as f:
        for name, content in streams:
            f.write("%s %s\n" % (name.encode("utf-16-le").hex(), content.hex()))
    code, out, err = run([archive, os.path.basename(listing)], folder, command=CRAFT)
    if code != 0:
        raise RuntimeError("craft_archive failed: " + out + err)
    os.remove(listing)


class Scratch(unittest.TestCase):
    def setUp(self):
        self.temp = tempfile.TemporaryDirectory(prefix="tvpack-test-")
        self.root = os.path.realpath(self.temp.name)

    def tearDown(self):
        self.temp.cleanup()

    def at(self, *parts):
        return os.path.join(self.root, *parts)

    def add_castle(self, folder=""):
        write_bytes(self.at(folder, "castle.tvx"), read_bytes(os.path.join(EXAMPLES, "castle.tvx")))
        shutil.copytree(os.path.join(EXAMPLES, "castle"), self.at(folder, "castle"))

    def tvpack(self, *args, stdin=b"", cwd=None):
        return run(list(args), cwd or self.root, stdin)

    def pack_castle(self):
        self.add_castle()
        code, out, err = self.tvpack("pack", "castle.tvx")
        self.assertEqual((code, err), (0, ""), out)

    def expect_castle_archive(self, path):
        streams = archive_streams(path)
        self.assertEqual(sorted(streams, key=int), [str(n) for n in range(1, 8)])
        for number, file in enumerate(CASTLE_FILES, 1):
            content = read_bytes(self.at(os.path.dirname(path), native(file)))
            self.assertEqual(streams[str(number)], header(file) + content, file)


class Pack(Scratch):
    def test_prints_the_final_pane_text_and_writes_the_archive(self):
        self.add_castle()
        code, out, err = self.tvpack("pack", "castle.tvx")
        self.assertEqual((code, out, err), (0, CASTLE_TRANSCRIPT, ""))
        self.expect_castle_archive(self.at("castle.tvp"))

    def test_packs_every_mod_in_order_and_numbers_each_from_one(self):
        self.add_castle()
        write_bytes(self.at("keep", "gate.tvx"), b"gate")
        write_bytes(self.at("keep", "gate", "a.bin"), b"a")
        write_bytes(self.at("keep", "gate", "b", "c.bin"), b"c")
        code, out, err = self.tvpack("pack", os.path.join("keep", "gate.tvx"), "castle.tvx")
        self.assertEqual((code, err), (0, ""))
        self.assertEqual(out, 'Creating mod archive "gate.tvp".\nAdding file 3/3\n'
                              'Successfully created mod archive "gate.tvp".\n\n' + CASTLE_TRANSCRIPT)
        self.assertEqual(archive_streams(self.at("keep", "gate.tvp")),
                         {"1": header("gate.tvx") + b"gate", "2": header("gate\\a.bin") + b"a",
                          "3": header("gate\\b\\c.bin") + b"c"})
        self.expect_castle_archive(self.at("castle.tvp"))

    def test_existing_archive_follows_the_answer(self):
        old = b"not really an archive"
        cases = [
            # (arguments, stdin, exit code, stdout, archive replaced, asked)
            (["pack", "castle.tvx"], b"y\n", 0, CASTLE_TRANSCRIPT, True, True),
            (["pack", "castle.tvx"], b"YES\n", 0, CASTLE_TRANSCRIPT, True, True),
            (["pack", "castle.tvx"], b"maybe\n\ny\n", 0, CASTLE_TRANSCRIPT, True, True),
            (["pack", "castle.tvx"], b"n\n", 1,
             'Mod archive "castle.tvp" already exists. Skipping.\n\n', False, True),
            (["pack", "castle.tvx"], b"c\n", 1, "Current operation cancelled by user.\n\n", False, True),
            (["pack", "castle.tvx"], b"", 1, "", False, True),
            (["pack", "castle.tvx"], b"maybe\n", 1, "", False, True),
            (["pack", "castle.tvx"], b"maybe\n" * 5 + b"y\n", 1, "", False, True),
            (["pack", "castle.tvx"], b"maybe\n" * 4 + b"y\n", 0, CASTLE_TRANSCRIPT, True, True),
            (["pack", "--overwrite", "castle.tvx"], b"n\n", 0, CASTLE_TRANSCRIPT, True, False),
            (["pack", "castle.tvx", "--skip"], b"y\n", 1,
             'Mod archive "castle.tvp" already exists. Skipping.\n\n', False, False),
        ]
        self.add_castle()
        for args, stdin, want_code, want_out, replaced, asked in cases:
            with self.subTest(args=args, stdin=stdin):
                write_bytes(self.at("castle.tvp"), old)
                code, out, err = self.tvpack(*args, stdin=stdin)
                self.assertEqual((code, out), (want_code, want_out), err)
                question = 'Mod archive "castle.tvp" already exists! Do you wish to overwrite it?'
                self.assertEqual(question in err, asked, err)
                if replaced:
                    self.expect_castle_archive(self.at("castle.tvp"))
                else:
                    self.assertEqual(read_bytes(self.at("castle.tvp")), old)
                if want_code == 1 and not want_out:
                    self.assertIn("no answer to the overwrite question", err)

    def test_cancel_stops_the_remaining_mods(self):
        self.add_castle()
        write_bytes(self.at("castle.tvp"), b"old")
        write_bytes(self.at("gate.tvx"), b"gate")
        write_bytes(self.at("gate", "a.bin"), b"a")
        code, out, err = self.tvpack("pack", "castle.tvx", "gate.tvx", stdin=b"c\n")
        self.assertEqual((code, out), (1, "Current operation cancelled by user.\n\n"))
        self.assertIn("cancelled; 2 mod files not packed", err)
        self.assertFalse(os.path.exists(self.at("gate.tvp")))

    def test_no_answer_stops_the_batch(self):
        self.add_castle()
        write_bytes(self.at("castle.tvp"), b"old")
        write_bytes(self.at("gate.tvx"), b"gate")
        write_bytes(self.at("gate", "a.bin"), b"a")
        code, out, err = self.tvpack("pack", "castle.tvx", "gate.tvx")
        self.assertEqual((code, out), (1, ""))
        self.assertIn("use --overwrite or --skip", err)
        self.assertFalse(os.path.exists(self.at("gate.tvp")))

    def test_a_mod_not_packed_fails_the_run_but_not_the_others(self):
        self.add_castle()
        write_bytes(self.at("castle.TVX"), b"wrong case")
        write_bytes(self.at("lonely.tvx"), b"no directory")
        os.makedirs(self.at("hollow.tvx"))  # the mod "file" is a folder: adding it fails
        os.makedirs(self.at("hollow"))
        cases = [
            ("castle.TVX", 'Error! File "%s" is not a valid Tolvane mod file!\n'
             % shown_path(self.at("castle.TVX")), "see the messages above"),
            ("lonely.tvx", "", 'no mod directory "lonely" beside it'),
            ("ghost.tvx", "", "no such file"),
            ("hollow.tvx", 'Creating mod archive "hollow.tvp".\n'
             'Error adding tvx file to mod archive "hollow.tvp"!\n', "see the messages above"),
        ]
        for mod, want_out, reason in cases:
            with self.subTest(mod=mod):
                code, out, err = self.tvpack("pack", mod, "castle.tvx", "--overwrite")
                self.assertEqual(code, 1)
                self.assertEqual(out, want_out + CASTLE_TRANSCRIPT)
                self.assertIn('"%s": not packed: %s' % (mod, reason), err)
                self.expect_castle_archive(self.at("castle.tvp"))
        self.assertFalse(os.path.exists(self.at("hollow.tvp")))

    def test_non_ascii_names_print_as_utf8(self):
        write_bytes(self.at("ch\u00e2teau \u00e9t\u00e9.tvx"), b"mod")
        write_bytes(self.at("ch\u00e2teau \u00e9t\u00e9", "\u00dcber", "\u00e4.txt"), b"a")
        code, out, err = self.tvpack("pack", "ch\u00e2teau \u00e9t\u00e9.tvx")
        self.assertEqual((code, err), (0, ""))
        self.assertEqual(out, 'Creating mod archive "ch\u00e2teau \u00e9t\u00e9.tvp".\nAdding file 2/2\n'
                              'Successfully created mod archive "ch\u00e2teau \u00e9t\u00e9.tvp".\n\n')
        self.assertEqual(archive_streams(self.at("ch\u00e2teau \u00e9t\u00e9.tvp"))["2"],
                         header("ch\u00e2teau \u00e9t\u00e9\\\u00dcber\\\u00e4.txt") + b"a")

    def test_progress_is_rewritten_in_place_on_a_terminal(self):
        if WINDOWS:
            self.skipTest("the Windows build's console is not a POSIX terminal")
        self.add_castle()
        pid, fd = pty.fork()
        if pid == 0:
            os.chdir(self.root)
            os.execv(TVPACK[0], TVPACK + ["pack", "castle.tvx"])
        shown = b""
        while True:
            try:
                chunk = os.read(fd, 4096)
            except OSError:
                break
            if not chunk:
                break
            shown += chunk
        _, status = os.waitpid(pid, 0)
        self.assertEqual(os.waitstatus_to_exitcode(status), 0)
        progress = "".join("\r\x1b[KAdding file %d/7" % n for n in range(1, 8))
        self.assertEqual(shown.decode("utf-8").replace("\r\n", "\n"),
                         'Creating mod archive "castle.tvp".\n' + progress +
                         '\nSuccessfully created mod archive "castle.tvp".\n\n')


class List(Scratch):
    def test_lists_number_size_and_path(self):
        self.pack_castle()
        sizes = [len(read_bytes(self.at(native(f)))) for f in CASTLE_FILES]
        width = len(str(max(sizes)))
        want = "".join("%d  %*d  %s\n" % (n, width, s, f)
                       for n, (s, f) in enumerate(zip(sizes, CASTLE_FILES), 1))
        self.assertEqual(self.tvpack("list", "castle.tvp"), (0, want, ""))
        code, out, err = self.tvpack("list", "--json", "castle.tvp")
        self.assertEqual((code, err), (0, ""))
        self.assertEqual(json.loads(out), [{"number": n, "size": s, "path": f}
                                           for n, (s, f) in enumerate(zip(sizes, CASTLE_FILES), 1)])

    def test_json_keeps_any_path_exactly(self):
        odd = 'castle\\"q\\\u00e9\U0001F600\x07\udc80 \\x.bin'
        craft(self.root, "odd.tvp", [("1", header("castle.tvx") + b"m"), ("2", header(odd) + b"12345")])
        code, out, err = self.tvpack("list", "--json", "odd.tvp")
        self.assertEqual((code, err), (0, ""))
        self.assertTrue(out.isascii(), out)
        self.assertEqual(json.loads(out), [{"number": 1, "size": 1, "path": "castle.tvx"},
                                           {"number": 2, "size": 5, "path": odd}])

    def test_streams_it_cannot_describe_are_reported(self):
        craft(self.root, "bad.tvp", [("1", header("castle.tvx") + b"m"), ("x", header("castle\\x")),
                                     ("2", b"short")])
        code, out, err = self.tvpack("list", "bad.tvp")
        self.assertEqual((code, out), (1, "1  1  castle.tvx\n"))
        self.assertIn('stream "x": not a file number', err)
        self.assertIn('stream "2": 5 bytes, shorter than its 1024-byte name header', err)

    def test_a_file_that_is_no_archive_is_refused(self):
        write_bytes(self.at("castle.tvp"), b"plain text, not a compound file" * 40)
        for command in (["list"], ["list", "--json"], ["extract"], ["verify"]):
            with self.subTest(command=command):
                code, out, err = self.tvpack(*command, "castle.tvp")
                self.assertEqual(code, 1)
                self.assertIn('"castle.tvp"', out + err)
                self.assertFalse(os.path.exists(self.at("castle")))


class Extract(Scratch):
    def test_round_trip_recreates_the_mod_byte_for_byte(self):
        self.pack_castle()
        for args, folder in [(["out"], "out"), ([os.path.join("deeper", "new")], "deeper/new")]:
            with self.subTest(args=args):
                code, out, err = self.tvpack("extract", "castle.tvp", *args)
                self.assertEqual((code, err), (0, ""))
                self.assertEqual(out, 'Extracted 7 files into "%s".\n' % args[0])
                self.assertEqual(tree(self.at(folder, "castle")), tree(self.at("castle")))
                self.assertEqual(read_bytes(self.at(folder, "castle.tvx")), read_bytes(self.at("castle.tvx")))

    def test_default_folder_is_the_current_one(self):
        self.pack_castle()
        os.makedirs(self.at("here"))
        shutil.move(self.at("castle.tvp"), self.at("here", "castle.tvp"))
        code, out, err = self.tvpack("extract", "castle.tvp", cwd=self.at("here"))
        self.assertEqual((code, out, err), (0, 'Extracted 7 files into ".".\n', ""))
        self.assertEqual(tree(self.at("here", "castle")), tree(self.at("castle")))

    def test_existing_files_are_kept_unless_forced(self):
        self.pack_castle()
        write_bytes(self.at("out", "castle", "sounds", "gate.wav"), b"mine")
        before = tree(self.at("out"))
        code, out, err = self.tvpack("extract", "castle.tvp", "out")
        self.assertEqual((code, out), (1, ""))
        self.assertIn('stream "5": "castle\\sounds\\gate.wav" exists; use --force', err)
        self.assertEqual(tree(self.at("out")), before)

        code, out, err = self.tvpack("extract", "--force", "castle.tvp", "out")
        self.assertEqual((code, err), (0, ""))
        self.assertEqual(tree(self.at("out", "castle")), tree(self.at("castle")))

    def test_things_in_the_way_refuse_the_archive(self):
        self.pack_castle()
        cases = [
            ("castle\\scripts\\gate.lua", "folder", 'stream "3": "castle\\scripts\\gate.lua" is a folder'),
            ("castle\\textures", "file", 'stream "6": "castle\\textures\\stone.txt" needs a folder where'),
        ]
        for path, kind, message in cases:
            with self.subTest(path=path):
                shutil.rmtree(self.at("out"), ignore_errors=True)
                if kind == "folder":
                    os.makedirs(self.at("out", native(path)))
                else:
                    write_bytes(self.at("out", native(path)), b"file")
                before = tree(self.at("out"))
                code, out, err = self.tvpack("extract", "--force", "castle.tvp", "out")
                self.assertEqual((code, out), (1, ""))
                self.assertIn(message, err)
                self.assertEqual(tree(self.at("out")), before)

    def test_links_are_never_written_through(self):
        if WINDOWS:
            self.skipTest("Wine shows POSIX links as plain folders")
        self.pack_castle()
        os.makedirs(self.at("outside"))
        cases = [
            # (link in the target folder, where it points)
            ("castle", self.at("outside")),
            (os.path.join("castle", "textures"), self.at("outside")),
            ("castle.tvx", self.at("outside", "victim")),
            (os.path.join("castle", "sounds", "gate.wav"), self.at("outside", "victim")),
        ]
        for link, target in cases:
            for force in ([], ["--force"]):
                with self.subTest(link=link, force=force):
                    shutil.rmtree(self.at("out"), ignore_errors=True)
                    os.makedirs(os.path.dirname(self.at("out", link)), exist_ok=True)
                    os.symlink(target, self.at("out", link))
                    code, out, err = self.tvpack("extract", *force, "castle.tvp", "out")
                    self.assertEqual((code, out), (1, ""))
                    self.assertIn("symbolic link", err)
                    self.assertEqual(os.listdir(self.at("outside")), [])

    def test_crafted_paths_are_refused_and_nothing_is_written(self):
        mod = ("1", header("castle.tvx") + b"mod")
        good = ("2", header("castle\\a.txt") + b"A")
        cases = [
            # (label, streams, message naming the stream)
            ("parent", [mod, ("2", header("..\\evil") + b"x")], 'stream "2": path "..\\evil" has a ".." component'),
            ("climb", [mod, ("2", header("castle\\..\\..\\evil") + b"x")], 'stream "2": path "castle\\..\\..\\evil" has a ".."'),
            ("dot", [mod, ("2", header("castle\\.\\evil") + b"x")], 'has a "." component'),
            ("root", [mod, ("2", header("\\evil") + b"x")], 'stream "2": path "\\evil" is absolute'),
            ("slash root", [mod, ("2", header("/abs") + b"x")], 'stream "2": path "/abs" is absolute'),
            ("drive", [mod, ("2", header("C:\\x") + b"x")], 'stream "2": path "C:\\x" starts with a drive letter'),
            ("drive relative", [mod, ("2", header("c:x") + b"x")], "drive letter"),
            ("empty component", [mod, ("2", header("castle\\\\x") + b"x")], 'stream "2": path "castle\\\\x" has an empty component'),
            ("trailing separator", [mod, ("2", header("castle\\") + b"x")], "has an empty component"),
            ("slash", [mod, ("2", header("castle\\a/../../evil") + b"x")], "has a slash in a name"),
            ("empty path", [mod, ("2", header("") + b"x")], 'stream "2": path "" is empty'),
            ("stream zero", [mod, ("0", header("castle\\a.txt"))], 'stream "0": streams must be named 1 to 2'),
            ("stream x", [mod, ("x", header("castle\\a.txt"))], 'stream "x": streams must be named 1 to 2'),
            ("leading zero", [mod, ("02", header("castle\\a.txt"))], 'stream "02"'),
            ("gap", [mod, ("3", header("castle\\a.txt"))], 'stream "3": streams must be named 1 to 2'),
            ("no mod file", [("2", header("castle\\a.txt")), ("3", header("castle\\b.txt"))], 'stream "3"'),
            ("nothing", [], "holds no stream"),
            ("short", [mod, ("2", b"tiny")], 'stream "2": 4 bytes, shorter than its 1024-byte name header'),
            ("mod file in a folder", [("1", header("castle\\castle.tvx")), good], 'stream "1": the mod file\'s path'),
            ("mod file not .tvx", [("1", header("castle.txt")), good], 'stream "1": the mod file\'s name "castle.txt" does not end in ".tvx"'),
            ("outside the mod directory", [mod, ("2", header("other\\a.txt"))], 'stream "2": path "other\\a.txt" is not under the mod directory "castle"'),
            ("the mod directory itself", [mod, ("2", header("castle"))], 'stream "2": path "castle" is not under'),
            ("case of the mod directory", [mod, ("2", header("Castle\\a.txt"))], "is not under the mod directory"),
            ("same path twice", [mod, good, ("3", header("castle\\a.txt"))], 'stream "3": same path as stream "2"'),
            ("file under a file", [mod, good, ("3", header("castle\\a.txt\\b"))], 'stream "3": path "castle\\a.txt\\b" runs through the file of stream "2"'),
            ("control character", [mod, ("2", header("..\\e\x1bvil"))], '"..\\e\\x1Bvil"'),
        ]
        if WINDOWS:
            cases += [
                ("stream in a name", [mod, ("2", header("castle\\a:b"))], "can't hold"),
                ("device", [mod, ("2", header("castle\\con.txt"))], "names a device"),
                ("trailing dot", [mod, ("2", header("castle\\x."))], "ends in a dot"),
                ("trailing space", [mod, ("2", header("castle\\x "))], "ends in a dot or a space"),
            ]
        for label, streams, message in cases:
            with self.subTest(case=label):
                shutil.rmtree(self.at("work"), ignore_errors=True)
                os.makedirs(self.at("work", "archive"))
                craft(self.at("work", "archive"), "castle.tvp", streams)
                before = tree(self.root)
                code, out, err = self.tvpack("extract", os.path.join("work", "archive", "castle.tvp"),
                                             os.path.join("work", "out"))
                self.assertEqual((code, out), (1, ""), err)
                self.assertIn(message, err)
                self.assertIn("refused", err)
                self.assertEqual(tree(self.root), before)

                code, out, err = self.tvpack("verify", os.path.join("work", "archive", "castle.tvp"))
                self.assertEqual(code, 1, out)
                self.assertIn(message, out)

    def test_posix_names_survive_the_round_trip_exactly(self):
        if WINDOWS:
            self.skipTest("POSIX byte names")
        # A byte that is not UTF-8 and a backslash inside a name.
        odd = [b"bad\xff.bin", b"back\\slash.txt"]
        self.add_castle()
        for name in odd:
            write_bytes(os.path.join(self.root.encode(), b"castle", name), name)
        code, out, err = self.tvpack("pack", "castle.tvx")
        self.assertEqual((code, err), (0, ""))
        code, out, err = self.tvpack("list", "--json", "castle.tvp")
        paths = [row["path"] for row in json.loads(out)]
        self.assertIn("castle\\back\uf05cslash.txt", paths)
        self.assertIn("castle\\bad\udcff.bin", paths)
        code, out, err = self.tvpack("extract", "castle.tvp", "out")
        self.assertEqual((code, err), (0, ""))
        for name in odd:
            self.assertEqual(read_bytes(os.path.join(self.root.encode(), b"out", b"castle", name)), name)
        self.assertEqual(self.tvpack("verify", "castle.tvp")[0], 0)

    def test_names_only_windows_refuses_are_files_elsewhere(self):
        if WINDOWS:
            self.skipTest("refused on Windows (see the crafted cases)")
        streams = [("1", header("castle.tvx") + b"mod"), ("2", header("castle\\a:b") + b"1"),
                   ("3", header("castle\\con.txt") + b"2"), ("4", header("castle\\x. ") + b"3")]
        craft(self.root, "castle.tvp", streams)
        code, out, err = self.tvpack("extract", "castle.tvp", "out")
        self.assertEqual((code, err), (0, ""))
        self.assertEqual(tree(self.at("out", "castle")), {"a:b": b"1", "con.txt": b"2", "x. ": b"3"})


class Verify(Scratch):
    def test_a_fresh_archive_matches_its_mod(self):
        self.pack_castle()
        self.assertEqual(self.tvpack("verify", "castle.tvp"),
                         (0, '"castle.tvp": OK, 7 files, the same as the mod beside it.\n', ""))

    def test_differences_from_the_mod_are_found(self):
        cases = [
            # (label, change to the mod on disk, lines expected in the report)
            ("changed byte", lambda at: write_bytes(at("castle", "scripts", "gate.lua"),
                                                    read_bytes(at("castle", "scripts", "gate.lua")).upper()),
             ['stream "3": "castle\\scripts\\gate.lua" differs from the file on disk']),
            ("changed size", lambda at: write_bytes(at("castle.tvx"), b"longer than before, by far!!!!"),
             ['stream "1": "castle.tvx" differs from the file on disk (29 bytes in the archive, 30 on disk)']),
            ("missing file", lambda at: os.remove(at("castle", "textures", "walls", "brick.dds")),
             ['stream "7": "castle\\textures\\walls\\brick.dds" is not on disk']),
            ("missing mod file", lambda at: os.remove(at("castle.tvx")),
             ['stream "1": "castle.tvx" is not on disk']),
            ("extra file", lambda at: write_bytes(at("castle", "sounds", "new.wav"), b""),
             ['"castle\\sounds\\new.wav" is on disk but not in the archive']),
            ("extra folder", lambda at: write_bytes(at("castle", "new", "deep.txt"), b"x"),
             ['"castle\\new\\deep.txt" is on disk but not in the archive']),
            ("missing directory", lambda at: shutil.rmtree(at("castle")),
             ['the mod directory "castle" is missing beside the archive',
              'stream "2": "castle\\README.txt" is not on disk']),
        ]
        for label, change, lines in cases:
            with self.subTest(case=label):
                shutil.rmtree(self.at("castle"), ignore_errors=True)
                for name in ("castle.tvx", "castle.tvp"):
                    if os.path.exists(self.at(name)):
                        os.remove(self.at(name))
                self.pack_castle()
                change(self.at)
                code, out, err = self.tvpack("verify", "castle.tvp")
                self.assertEqual((code, err), (1, ""))
                report = out.splitlines()
                for line in lines:
                    self.assertIn(line, report)
                self.assertEqual(report[-1], '"castle.tvp": %d problem%s found.'
                                 % (len(report) - 1, "" if len(report) == 2 else "s"))

    def test_without_the_mod_only_the_archive_is_checked(self):
        self.pack_castle()
        os.makedirs(self.at("alone"))
        shutil.move(self.at("castle.tvp"), self.at("alone", "castle.tvp"))
        self.assertEqual(self.tvpack("verify", os.path.join("alone", "castle.tvp")),
                         (0, '"%s": OK, 7 files; the mod is not beside the archive, so only the '
                             'archive was checked.\n' % os.path.join("alone", "castle.tvp"), ""))

    def test_bytes_after_the_header_path_are_a_problem(self):
        craft(self.root, "castle.tvp", [("1", header("castle.tvx", junk=b"\1") + b"mod")])
        code, out, err = self.tvpack("verify", "castle.tvp")
        self.assertEqual(code, 1)
        self.assertIn('stream "1": the name header holds bytes other than zero after the path', out)


class CommandLine(Scratch):
    def test_usage_errors_exit_2(self):
        cases = [
            [], ["bogus"], ["--bogus"], ["pack"], ["list"], ["list", "a.tvp", "b.tvp"], ["extract"],
            ["extract", "a.tvp", "dir", "more"], ["verify"], ["verify", "a.tvp", "b.tvp"],
            ["pack", "--json", "a.tvx"], ["list", "--force", "a.tvp"], ["extract", "--skip", "a.tvp"],
            ["verify", "--overwrite", "a.tvp"], ["pack", "--overwrite", "--skip", "a.tvx"],
            ["verify", "-x", "a.tvp"],
        ]
        for args in cases:
            with self.subTest(args=args):
                code, out, err = self.tvpack(*args)
                self.assertEqual((code, out), (2, ""))
                self.assertTrue(err.startswith("tvpack: "), err)
                self.assertIn("tvpack --help", err)

    def test_help_and_version(self):
        self.assertEqual(self.tvpack("--version"), (0, "tvpack 1.0\n", ""))
        for args in (["--help"], ["-h"], ["pack", "--help"]):
            with self.subTest(args=args):
                code, out, err = self.tvpack(*args)
                self.assertEqual((code, err), (0, ""))
                self.assertTrue(out.startswith("Usage: tvpack COMMAND"), out)
                for command in ("pack", "list", "extract", "verify", "--overwrite", "--skip", "--json",
                                "--force"):
                    self.assertIn(command, out)

    def test_output_that_cannot_be_written_fails_the_run(self):
        if WINDOWS or not os.path.exists("/dev/full"):
            self.skipTest("needs /dev/full")
        self.pack_castle()
        with open("/dev/full", "wb") as full:
            done = subprocess.run(TVPACK + ["list", "castle.tvp"], cwd=self.root, stdout=full,
                                  stderr=subprocess.PIPE, timeout=60)
        self.assertEqual(done.returncode, 1)
        self.assertIn(b"standard output could not be written", done.stderr)

    def test_double_dash_ends_the_options(self):
        write_bytes(self.at("--odd.tvx"), b"m")
        write_bytes(self.at("--odd", "a.txt"), b"a")
        code, out, err = self.tvpack("pack", "--", "--odd.tvx")
        self.assertEqual((code, err), (0, ""))
        self.assertIn('Successfully created mod archive "--odd.tvp".', out)


def main():
    global TVPACK, CRAFT, WINDOWS
    args = sys.argv[1:]
    WINDOWS = "--windows" in args
    args = [a for a in args if a != "--windows"]
    if "--tvpack" not in args or "--craft" not in args:
        print(__doc__)
        return 2
    names = []
    if "--tests" in args:
        names = args[args.index("--tests") + 1:]
        args = args[:args.index("--tests")]
    TVPACK = args[args.index("--tvpack") + 1:args.index("--craft")]
    CRAFT = args[args.index("--craft") + 1:]
    keeper = None
    if WINDOWS:
        # One Wine process open for the whole run keeps the Wine server up, so
        # it is not started afresh for each of the hundreds of commands.
        # The tests start once it is up: Wine processes that start together
        # with a cold server can stall.
        keeper = subprocess.Popen(TVPACK[:-1] + ["cmd", "/c", "echo up& pause"], stdin=subprocess.PIPE,
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        keeper.stdout.readline()
    try:
        result = unittest.main(argv=[sys.argv[0], "-v"] + names, exit=False).result
    finally:
        if keeper:
            keeper.stdin.close()
            try:
                keeper.wait(timeout=30)
            except subprocess.TimeoutExpired:
                keeper.kill()
                keeper.wait()
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
