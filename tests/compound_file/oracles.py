"""Reads every archive NAME.cfb in the folder given with olefile, 7-Zip and
gsf, each of which must find exactly the streams held as files in
NAME.cfb.d; prints what they find wrong."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from harness import archive_problems, read  # noqa: E402

folder = sys.argv[1]
problems = []
for name in sorted(n for n in os.listdir(folder) if n.endswith(".cfb")):
    streams = os.path.join(folder, name + ".d")
    expected = {n: read(os.path.join(streams, n)) for n in os.listdir(streams)}
    problems += ["%s: %s" % (name, p) for p in archive_problems(os.path.join(folder, name), expected)]
if problems:
    sys.exit("\n".join(problems))
