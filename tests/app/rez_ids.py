#!/usr/bin/env python3
"""Lists the files of an engine-layout REZ archive (directory blocks stored plain) with their
ids, read from the file layout alone, and fails when two files share an id.

usage: rez_ids.py ARCHIVE  -> one line "id path" per file; exit 1 on a repeated id"""
import struct
import sys


def walk(data, pos, size, prefix, out):
    end = pos + size
    while pos + 4 <= end:
        kind = struct.unpack_from("<I", data, pos)[0]
        if kind == 1:
            sub_pos, sub_size, _time = struct.unpack_from("<III", data, pos + 4)
            name_end = data.index(b"\0", pos + 16)
            name = data[pos + 16:name_end].decode("latin-1")
            pos = name_end + 1
            walk(data, sub_pos, sub_size, prefix + name + "\\", out)
        else:
            _pos, _size, ident, _time, ext, _keys = struct.unpack_from("<IIIIII", data, pos + 4)
            name_end = data.index(b"\0", pos + 28)
            name = data[pos + 28:name_end].decode("latin-1")
            desc_end = data.index(b"\0", name_end + 1)
            pos = desc_end + 1
            ext_text = ext.to_bytes(4, "big").lstrip(b"\0").decode("latin-1")
            out.append((ident, prefix + name + ("." + ext_text if ext_text else "")))


def main():
    data = open(sys.argv[1], "rb").read()
    root_pos, root_size = struct.unpack_from("<II", data, 131)
    files = []
    walk(data, root_pos, root_size, "", files)
    for ident, path in files:
        print(ident, path)
    seen = {}
    bad = False
    for ident, path in files:
        if ident in seen:
            print("repeated id %d: %s and %s" % (ident, seen[ident], path), file=sys.stderr)
            bad = True
        seen[ident] = path
    sys.exit(1 if bad else 0)


if __name__ == "__main__":
    main()
