#!/usr/bin/env python3
"""LZMA-framed fixtures of the game-format decoder tests, written into the folder given.

The payloads are built byte by byte from the formats' layouts; Python's lzma module makes
the LZMA-alone frames (the decoders' own tests build the unframed inputs in C++).
"""
import lzma
import os
import struct
import sys

SCRIPT = ('[Script]\nName = "menu"\nCommand = ( Show MainMenu )\n'
          'Command = ( Play "intro_01.wav" )\n').encode("ascii")


def alone(data):
    return lzma.compress(data, format=lzma.FORMAT_ALONE)


def alone_sized(data):
    """LZMA-alone frame whose header states the uncompressed size."""
    frame = bytearray(alone(data))
    frame[5:13] = struct.pack("<Q", len(data))
    return bytes(frame)


def simple_world():
    """Version 85, one render node: three vertices, one triangle, no texture references."""
    header = struct.pack("<I", 85) + bytes(20) + struct.pack("<I", 60) + bytes(32)
    sec = bytes(24) + struct.pack("<I", 0) + struct.pack("<I", 3)
    for v in range(3):
        sec += struct.pack("<5I", v, v + 1, v + 2, 7, 8) + bytes(48)
    sec += struct.pack("<I", 1) + struct.pack("<3I", 0, 1, 2) + bytes(4)
    sec += struct.pack("<I", 1) + bytes([2]) + bytes(24 + 16)
    sec += struct.pack("<I", 1) + bytes([1]) + bytes(12 + 20)
    sec += (struct.pack("<I", 1) + struct.pack("<H", 3) + b"blk" + bytes(12) + struct.pack("<I", 3) + bytes(3)
            + struct.pack("<I", 1) + struct.pack("<I", 1) + bytes(16) + struct.pack("<I", 2) + bytes(2))
    sec += bytes(9)
    return header + struct.pack("<I", 1) + sec


def write(folder, name, data):
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    write(folder, "ltc_script_lzma.ltc", alone(SCRIPT))
    write(folder, "world_lzma.dat", alone(simple_world()))
    # 3 MiB of zeros: only the first MiB or so is decoded for the preview.
    write(folder, "zeros_3mib_lzma.fxo", alone_sized(bytes(3 * 1048576)))
    # A CFT table, one column "Level", one row of numbers, XOR 0x6D under the frame.
    image = b"su" + struct.pack("<IIi", 0, 1, 1) + b"Level".ljust(64, b"\0") + struct.pack("<I", 7)
    write(folder, "table_lzma.cft", alone_sized(bytes(b ^ 0x6D for b in image)))
    # A WeaponModel table: 4-byte header and one 72-byte record.
    write(folder, "weaponmodel_lzma.bin", alone_sized(struct.pack("<I", 1) + struct.pack("<I", 42) + bytes(68)))


if __name__ == "__main__":
    main()
