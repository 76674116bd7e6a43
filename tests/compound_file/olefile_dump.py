"""Reads a compound file with olefile at its strictest defect level and
writes each stream of the root storage to a file of the same name in the
output folder. Any defect, storage or nested element is an error."""
import os
import sys

import olefile


def main():
    archive, out = sys.argv[1], sys.argv[2]
    ole = olefile.OleFileIO(archive, raise_defects=olefile.DEFECT_INCORRECT)
    count = 0
    for path in ole.listdir(streams=True, storages=True):
        if len(path) != 1:
            sys.exit("nested element: " + "/".join(path))
        name = path[0]
        if ole.get_type(name) != olefile.STGTY_STREAM:
            sys.exit("not a stream: " + name)
        data = ole.openstream(name).read()
        if len(data) != ole.get_size(name):
            sys.exit("short read: " + name)
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
        count += 1
    ole.close()
    print(count)


if __name__ == "__main__":
    main()
