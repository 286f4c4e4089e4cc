#!/usr/bin/env python3
"""Benchmark data: compressible mixed text and binary, made here rather than downloaded.

  mixed_data.py large <file> <MiB>                one file, 1 MiB of generated text then
                                                  1 MiB of the system's programs, in turn
  mixed_data.py small <folder> <files> <source>   many small files (256 B to 32 KiB) in 100
                                                  folders, each cut from the source file
  mixed_data.py list <folder> <list> <blob>       every file below folder as "rel\\path<TAB>size"
                                                  lines and their bytes in the same order
"""
import glob
import os
import random
import sys


def large(path, size_mb):
    size = size_mb << 20
    r = random.Random(1210)
    syll = ["ka", "lo", "mi", "ren", "tu", "sha", "ve", "dor", "in", "ex", "ta", "qu", "ly", "zo", "the", "and"]
    words = ["".join(r.choices(syll, k=r.randint(1, 4))) for _ in range(30000)]
    binary = bytearray()
    for f in sorted(glob.glob("/usr/bin/*")) + sorted(glob.glob("/usr/lib/x86_64-linux-gnu/*.so*")):
        if os.path.isfile(f) and not os.path.islink(f):
            try:
                binary += open(f, "rb").read()
            except OSError:
                pass
        if len(binary) > (48 << 20):
            break
    block = 1 << 20
    with open(path, "wb") as out:
        written, at = 0, 0
        while written < size:
            lines = []
            n = 0
            while n < block:
                line = " ".join(r.choices(words, k=r.randint(3, 14))) + (
                    "\n" if r.random() < 0.9 else ",%d\n" % r.randint(0, 99999))
                lines.append(line)
                n += len(line)
            text = "".join(lines).encode()[:block]
            if at + block > len(binary):
                at = 0
            chunk = text + bytes(binary[at:at + block])
            at += block
            out.write(chunk[: size - written])
            written += min(len(chunk), size - written)


def small(root, files, source):
    data = open(source, "rb").read()
    r = random.Random(77)
    for i in range(files):
        folder = os.path.join(root, "dir%03d" % (i % 100))
        os.makedirs(folder, exist_ok=True)
        size = int(256 * (128 ** r.random()))  # log-uniform, 256 B to 32 KiB
        at = r.randrange(0, len(data) - size)
        with open(os.path.join(folder, "file%05d.dat" % i), "wb") as out:
            out.write(data[at:at + size])


def listing(root, list_path, blob_path):
    with open(list_path, "w", encoding="utf-8", newline="\n") as lst, open(blob_path, "wb") as blob:
        for here, dirs, names in os.walk(root):
            dirs.sort()
            for name in sorted(names):
                full = os.path.join(here, name)
                rel = os.path.relpath(full, root).replace("/", "\\")
                body = open(full, "rb").read()
                lst.write("%s\t%d\n" % (rel, len(body)))
                blob.write(body)


if __name__ == "__main__":
    kind = sys.argv[1]
    if kind == "large":
        large(sys.argv[2], int(sys.argv[3]))
    elif kind == "small":
        small(sys.argv[2], int(sys.argv[3]), sys.argv[4])
    elif kind == "list":
        listing(sys.argv[2], sys.argv[3], sys.argv[4])
    else:
        sys.exit(__doc__)
