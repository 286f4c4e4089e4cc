#!/usr/bin/env python3
"""Small REZ archives for the app tests, written in the engine layout (its directory
blocks are stored plain, so no scrambling table is needed here).

usage: make_fixtures.py OUTPUT_FOLDER
  selftest/engine.rez   REZ\\BUTES\\A.txt and REZ\\B.dat
  nobutes/engine.rez    REZ\\OTHER\\C.txt only
  small20000/engine.rez MANY\\F00000.txt ... F19999.txt
"""
import os
import struct
import sys

HEADER = 168


def type_u32(text):
    b = text.encode("ascii")[:4]
    v = 0
    for i, c in enumerate(reversed(b)):
        v |= c << (8 * i)
    return v


class Writer:
    def __init__(self):
        self.out = bytearray(HEADER)
        self.next_id = 10000000

    def data(self, payload):
        pos = len(self.out)
        self.out += payload
        return pos

    def block(self, node):
        """node: dict name -> bytes (file 'STEM.EXT') or dict (folder). Returns (pos, size)."""
        records = []
        for name, value in node.items():
            if isinstance(value, dict):
                pos, size = self.block(value)
                records.append(struct.pack("<IIII", 1, pos, size, 0) + name.encode() + b"\0")
            else:
                stem, ext = name.rsplit(".", 1)
                pos = self.data(value)
                self.next_id += 1
                records.append(struct.pack("<IIIIIII", 0, pos, len(value), self.next_id, 0, type_u32(ext), 0)
                               + stem.encode() + b"\0" + b"\0")
        blob = b"".join(records)
        return self.data(blob), len(blob)

    def finish(self, tree):
        root_pos, root_size = self.block(tree)
        h = bytearray(HEADER)
        h[0:2] = b"\r\n"
        h[2:62] = b"RezMgr Version 1 Copyright (C) 1995 MONOLITH INC.".ljust(60, b" ")
        h[62:64] = b"\r\n"
        h[64:124] = b"LithTech Resource File".ljust(60, b" ")
        h[124:127] = b"\r\n\x1a"
        h[127:147] = struct.pack("<IIIII", 1, root_pos, root_size, 0, HEADER)
        self.out[0:HEADER] = h
        return bytes(self.out)


def write(path, tree):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(Writer().finish(tree))


def main():
    out = sys.argv[1]
    write(os.path.join(out, "selftest", "engine.rez"),
          {"REZ": {"BUTES": {"A.TXT": b"hello butes\r\n"}, "B.DAT": b"\x01\x02\x03"}})
    write(os.path.join(out, "nobutes", "engine.rez"),
          {"REZ": {"OTHER": {"C.TXT": b"other"}}})
    # Enough folders that loading them all takes a while (cancel during the open).
    write(os.path.join(out, "many", "engine.rez"),
          {"D%04d" % i: {"F.TXT": b"x"} for i in range(3000)})
    # A job of many small files, for stopping it part-way.
    write(os.path.join(out, "small20000", "engine.rez"),
          {"MANY": {"F%05d.TXT" % i: b"small file %d" % i for i in range(20000)}})
    # Preview material: a CSV with a blank column, a 2x1 TGA and a text with mixed line ends.
    tga = bytes([0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 1, 0, 32, 0x28]) + bytes([255, 0, 0, 255, 0, 0, 255, 128])
    write(os.path.join(out, "preview", "engine.rez"),
          {"T.CSV": b"name,,value\r\nsword,,12\r\n\"a,b\",,\"say \"\"hi\"\"\"\r\n",
           "P.TGA": tga,
           "M.TXT": b"one\r\ntwo\nthree\rfour"})


if __name__ == "__main__":
    main()
