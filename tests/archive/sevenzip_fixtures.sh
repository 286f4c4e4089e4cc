#!/usr/bin/env bash
# Makes the LZMA and 7z fixtures with the real tools (xz, 7z) into <fixtures>/sevenzip.
# Usage: sevenzip_fixtures.sh <fixtures folder>
set -euo pipefail
root=${1:?fixtures folder}
out="$root/sevenzip"
rm -rf "$out"
mkdir -p "$out"
cd "$out"

# Deterministic pseudo-random bytes (incompressible) and mixed text/binary.
python3 - <<'PY'
import random
r = random.Random(20261210)
open("random3m.bin", "wb").write(r.randbytes(3 * 1024 * 1024 + 777))
words = [b"alpha", b"beta", b"gamma", b"delta", b"\xe6\x96\x87\xe6\x9c\xac", b"rez", b"lithtech", b"\n", b"  "]
parts = []
for i in range(60000):
    parts.append(r.choice(words))
    if i % 97 == 0:
        parts.append(bytes(r.getrandbits(8) for _ in range(r.randint(1, 40))))
open("mixed.bin", "wb").write(b" ".join(parts))
open("small.txt", "wb").write(b"hello 7z world\n" * 3)
PY

# LZMA-alone (unknown size, end marker) and the same stream with its size stated.
xz --format=lzma -c mixed.bin > mixed_eos.lzma
python3 - <<'PY'
import os, struct
d = bytearray(open("mixed_eos.lzma", "rb").read())
d[5:13] = struct.pack("<Q", os.path.getsize("mixed.bin"))
open("mixed_known.lzma", "wb").write(d)
PY
# Raw LZMA2 streams: compressible, and incompressible (stored chunks, several of them).
xz --format=raw --lzma2=preset=6 -c mixed.bin > mixed.lzma2
xz --format=raw --lzma2=preset=1 -c random3m.bin > random3m.lzma2

# 7z archives.
mkdir -p tree/sub/deeper tree/emptydir "tree/中文目录"
printf 'first file\n' > tree/a.txt
cp mixed.bin tree/sub/mixed.bin
printf 'nested\n' > tree/sub/deeper/n.txt
: > tree/empty.txt
printf '汉字内容\n' > "tree/中文目录/文件.txt"
seven() { 7z a -bd -bso0 -bsp0 "$@" >/dev/null; }
(cd tree && seven -mhc=off -m0=Copy ../copy_plain.7z .)
(cd tree && seven -m0=LZMA ../lzma_enc.7z .)
(cd tree && seven -mhc=off -m0=LZMA ../lzma_plain.7z .)
(cd tree && seven -m0=LZMA2 ../lzma2.7z .)
(cd tree && seven -mhc=off -m0=Deflate ../deflate.7z .)
(cd tree && seven -m0=LZMA2 -pSecret1 ../aes_data.7z .)
(cd tree && seven -m0=LZMA2 -pSecret1 -mhe=on ../aes_header.7z .)
(cd tree && seven -m0=Copy -pSecret1 -mhc=off ../aes_copy.7z .)
seven -m0=LZMA2 -mx=1 big_lzma2.7z random3m.bin mixed.bin
seven -ms=on -m0=LZMA solid3.7z small.txt mixed.bin tree/a.txt
# Small dictionaries, so reading through a window moves it many times; a stream whose
# matches reach 300 KiB back (its dictionary is shrunk in the test); one large file alone.
seven -ms=on -m0=LZMA:d=64k window_lzma.7z small.txt random3m.bin mixed.bin tree/a.txt
seven -ms=on -m0=LZMA2:d=64k window_lzma2.7z small.txt random3m.bin mixed.bin tree/a.txt
python3 -c 'import random; b = random.Random(5).randbytes(300 * 1024); open("far.bin", "wb").write(b * 3)'
seven -m0=LZMA:d=1m far_reach.7z far.bin
seven -m0=LZMA2 -mx=1 alone_lzma2.7z random3m.bin
# 7z's own extraction of the solid archive, to compare member reads against.
7z x -bd -bso0 -bsp0 -y -osolid3_out solid3.7z >/dev/null
seven -mhc=off -m0=Copy -ms=on small_plain.7z small.txt tree/a.txt tree/sub/deeper tree/emptydir tree/empty.txt
# Refused methods, filter and multi-volume.
seven -m0=BZip2 bzip2.7z small.txt
seven -m0=Deflate64 deflate64.7z small.txt
seven -m0=PPMd ppmd.7z small.txt
seven -mf=BCJ -m0=LZMA bcj.7z small.txt
seven -v2m -m0=Copy multivol.7z random3m.bin

# ZIP archives for member reading and whole-archive extraction.
mkdir -p member/src/sub member/case
(cd member/src && printf 'one\n' > a.txt && printf 'two\n' > sub/b.txt && printf 'three\n' > c.txt &&
  zip -q -r ../three.zip a.txt sub c.txt)
(cd member/case && printf 'upper\n' > Name.txt && printf 'lower\n' > name.txt && zip -q ../case.zip Name.txt name.txt)
python3 - <<'PY'
import zipfile
def make(name, entries):
    with zipfile.ZipFile("member/" + name, "w") as z:
        for n, d in entries:
            z.writestr(n, d)
make("parent.zip", [("good.txt", b"good\n"), ("../evil.txt", b"evil\n"), ("after.txt", b"after\n")])
make("absolute.zip", [("/abs.txt", b"x")])
make("backslash.zip", [("\\abs.txt", b"x")])
make("drive.zip", [("C:/drive.txt", b"x")])
make("inner_parent.zip", [("a/../../x.txt", b"x")])
# Odd names for the extraction's sanitising (the table is in member_extract_test.cpp): each
# file holds its own name in angle brackets; names ending in "/" are folders.
odd = ["good.txt", "a:b.txt", "CON", "sub/nul.txt", "Com1 .x", "/abs.txt", "C:/drive.txt", "../evil.txt",
       "x/../../y", "...", "d/. ./f.txt", "aux/", "../up/", "keep/", "prn.d/in.txt"]
make("odd_names.zip", [(n, b"" if n.endswith("/") else ("<" + n + ">").encode()) for n in odd])
PY
