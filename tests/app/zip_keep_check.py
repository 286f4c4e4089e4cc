#!/usr/bin/env python3
"""Compares a ZIP the main window edited with the original, record by record: every member the
edits did not touch keeps its local record and stored bytes byte for byte and its central
record (all but the offset); gone.txt is gone, ren.txt is renamed.txt with the same stored
bytes, added.txt and dup.txt (once) are new and protected as the archive is, the comment is
the new one, and the archive grew by no more than the new members need.
usage: zip_keep_check.py ORIGINAL EDITED KIND   (KIND: plain, aes or zipcrypto)"""
import struct
import sys


def records(path):
    data = open(path, "rb").read()
    end = data.rfind(b"PK\x05\x06")
    count, size, offset, comment_len = struct.unpack("<HIIH", data[end + 10:end + 22])
    out, pos = [], offset
    for _ in range(count):
        assert data[pos:pos + 4] == b"PK\x01\x02", f"{path}: central record at {pos}"
        n, m, k = struct.unpack("<HHH", data[pos + 28:pos + 34])
        local = struct.unpack("<I", data[pos + 42:pos + 46])[0]
        csize = struct.unpack("<I", data[pos + 20:pos + 24])[0]
        flags = struct.unpack("<H", data[pos + 8:pos + 10])[0]
        ln, lm = struct.unpack("<HH", data[local + 26:local + 30])
        body_end = local + 30 + ln + lm + csize
        if flags & 8:
            body_end += 16 if data[body_end:body_end + 4] == b"PK\x07\x08" else 12
        out.append({
            "name": data[pos + 46:pos + 46 + n],
            "central": data[pos + 4:pos + 42] + data[pos + 46:pos + 46 + n + m + k],
            "flags": flags,
            "method": struct.unpack("<H", data[pos + 10:pos + 12])[0],
            "time": data[pos + 12:pos + 16],
            "crc": data[pos + 16:pos + 20],
            "local": data[local:body_end],
            "data": data[local + 30 + ln + lm:local + 30 + ln + lm + csize],
        })
        pos += 46 + n + m + k
    return out, data[end + 22:end + 22 + comment_len], len(data)


def main():
    original, edited, kind = sys.argv[1:4]
    old, _, old_size = records(original)
    new, comment, new_size = records(edited)
    problems = []
    names = [r["name"] for r in new]
    expected = [r["name"] for r in old if r["name"] not in (b"gone.txt", b"ren.txt")] + [b"renamed.txt", b"added.txt"]
    if sorted(names) != sorted(expected):
        problems.append(f"members {names}, expected {expected}")
    by_name = {r["name"]: r for r in new}
    for r in old:
        if r["name"] in (b"gone.txt", b"ren.txt", b"dup.txt"):
            continue
        kept = by_name.get(r["name"])
        if not kept:
            continue
        if kept["local"] != r["local"]:
            problems.append(f"{r['name']!r}: local record or stored bytes changed")
        if kept["central"] != r["central"]:
            problems.append(f"{r['name']!r}: central record changed")
    ren = next(r for r in old if r["name"] == b"ren.txt")
    renamed = by_name.get(b"renamed.txt")
    if renamed and (renamed["data"], renamed["crc"], renamed["method"], renamed["time"], renamed["flags"] & ~0x800) != (
            ren["data"], ren["crc"], ren["method"], ren["time"], ren["flags"] & ~0x800):
        problems.append("renamed.txt: not ren.txt's member under a new name")
    for name in (b"added.txt", b"dup.txt"):
        r = by_name.get(name)
        if not r:
            continue
        protection = "aes" if r["method"] == 99 else "zipcrypto" if r["flags"] & 1 else "plain"
        if protection != kind:
            problems.append(f"{name!r}: {protection}, the archive is {kind}")
        year = 1980 + (struct.unpack("<H", r["time"][2:4])[0] >> 9)
        if year < 2020:
            problems.append(f"{name!r}: time of {year}, not its file's")
    if comment != b"new comment":
        problems.append(f"comment {comment!r}")
    if new_size > old_size + 1024:
        problems.append(f"{new_size} bytes from {old_size}")
    for p in problems:
        print(f"{edited}: {p}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
