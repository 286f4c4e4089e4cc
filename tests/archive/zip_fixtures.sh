#!/usr/bin/env bash
# Makes the Deflate and ZIP fixtures with the real tools (python zlib, zip, 7z) into <fixtures>/zip.
# Usage: zip_fixtures.sh <fixtures folder>
set -euo pipefail
root=${1:?fixtures folder}
out="$root/zip"
rm -rf "$out"
mkdir -p "$out"
cd "$out"

python3 - <<'PY'
import os, random, zlib
r = random.Random(1210)
words = [b"alpha", b"beta", b"gamma", b"delta", b"\xe6\x96\x87\xe6\x9c\xac", b"rez", b"lithtech", b"\n", b"  "]
parts = []
for i in range(150000):
    parts.append(r.choice(words))
    if i % 89 == 0:
        parts.append(r.randbytes(r.randint(1, 60)))
    if i % 5000 == 0:
        parts.append(b"\0" * r.randint(100, 40000))   # long runs: distance-1 matches
mixed = b" ".join(parts) + r.randbytes(70000)         # incompressible tail: stored blocks
open("deflate_mixed.bin", "wb").write(mixed)
for level in (1, 6, 9):
    c = zlib.compressobj(level, zlib.DEFLATED, -15)
    open(f"deflate_mixed.l{level}.raw", "wb").write(c.compress(mixed) + c.flush())
# Small streams of every block kind and strategy, for the comparison with the reference decoder.
small = mixed[:20000] + r.randbytes(3000) + b"z" * 3000
open("deflate_small.bin", "wb").write(small)
for tag, level, strategy in (("l1", 1, 0), ("l9", 9, 0), ("fixed", 6, zlib.Z_FIXED),
                             ("huffman", 6, zlib.Z_HUFFMAN_ONLY), ("rle", 6, zlib.Z_RLE), ("stored", 0, 0)):
    c = zlib.compressobj(level, zlib.DEFLATED, -15, 8, strategy)
    open(f"deflate_small.{tag}.raw", "wb").write(c.compress(small) + c.flush())

os.makedirs("src/sub/empty")
open("src/a.txt", "wb").write(b"hello\n")
open("src/sub/n.txt", "wb").write(b"".join(b"%d\n" % i for i in range(1, 2001)))
open("src/sub/r.bin", "wb").write(r.randbytes(300))
open(b"src/\xe4\xb8\xad\xe6\x96\x87\xe5\x90\x8d.txt", "wb").write(b"\xe4\xb8\xad\xe6\x96\x87\n")
open("big.bin", "wb").write(r.randbytes(200000))
PY

# Info-ZIP in the C locale stores the names' raw bytes without the UTF-8 flag.
LC_ALL=C zip -qr tree.zip src
LC_ALL=C zip -qr0 stored.zip src
LC_ALL=C zip -qr -P secret zc_time.zip src
7z a -tzip -psecret zc_crc.zip src >/dev/null
for bits in 128 192 256; do
  7z a -tzip -psecret -mem=AES$bits aes$bits.zip src >/dev/null
done

# Made on a Simplified Chinese Windows: names in GBK, the UTF-8 flag (bit 11) clear. Built
# by hand, as zipfile and Info-ZIP here would write UTF-8. "籠" ends in the byte 0x5C ("\\").
python3 - <<'PY'
import struct, zlib
entries = [("中文目录/", b""), ("中文目录/说明文件.txt", b"GBK names\n"),
           ("中文目录/籠.txt", b"trail byte 5C\n"), ("压缩包.txt", b"top\n")]
local, central = b"", b""
for name, data in entries:
    raw = name.encode("gbk")
    crc = zlib.crc32(data)
    head = struct.pack("<HHHHHIIIH", 20, 0, 0, 0x6000, 0x5A21, crc, len(data), len(data), len(raw))
    central += (struct.pack("<IH", 0x02014B50, 20) + head + struct.pack("<HHHHII", 0, 0, 0, 0,
                0x10 if name.endswith("/") else 0x20, len(local)) + raw)
    local += struct.pack("<I", 0x04034B50) + head + struct.pack("<H", 0) + raw + data
end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(entries), len(entries), len(central), len(local), 0)
open("gbk_names.zip", "wb").write(local + central + end)
PY

# Info-ZIP's Unicode Path field (0x7075) on names without the UTF-8 flag: a UTF-8 name stored
# as such (the field matches), a field made for another stored name (CRC differs) and one of
# an unknown version; only the first is read from the field.
python3 - <<'PY'
import struct, zlib
def upath(stored, name, version=1):
    body = struct.pack("<BI", version, zlib.crc32(stored)) + name.encode("utf-8")
    return struct.pack("<HH", 0x7075, len(body)) + body
entries = [("说明.txt".encode("utf-8"), upath("说明.txt".encode("utf-8"), "说明.txt"), b"field\n"),
           (b"old.txt", upath(b"other.txt", "新.txt"), b"crc\n"),
           ("压缩.txt".encode("gbk"), upath("压缩.txt".encode("gbk"), "错.txt", 2), b"version\n")]
local, central = b"", b""
for raw, extra, data in entries:
    crc = zlib.crc32(data)
    head = struct.pack("<HHHHHIIIHH", 20, 0, 0, 0x6000, 0x5A21, crc, len(data), len(data), len(raw), len(extra))
    central += (struct.pack("<IH", 0x02014B50, 20) + head + struct.pack("<HHHII", 0, 0, 0, 0x20, len(local)) +
                raw + extra)
    local += struct.pack("<I", 0x04034B50) + head + raw + extra + data
end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(entries), len(entries), len(central), len(local), 0)
open("unicode_path.zip", "wb").write(local + central + end)
PY

# Leading data in front of an unchanged ZIP (offsets not adjusted).
head -c 1000 big.bin > stub.zip
cat tree.zip >> stub.zip

# Archive comments: ASCII, UTF-8 and GBK bytes.
cp stored.zip comment_ascii.zip
printf 'plain ASCII comment' | zip -qz comment_ascii.zip
cp stored.zip comment_utf8.zip
printf '\xe4\xb8\xad\xe6\x96\x87\xe6\xb3\xa8\xe9\x87\x8a comment' | zip -qz comment_utf8.zip
cp stored.zip comment_gbk.zip
printf '\xd6\xd0\xce\xc4\xd7\xa2\xca\xcd \xd1\xb9\xcb\xf5\xb0\xfc' | zip -qz comment_gbk.zip   # "中文注释 压缩包"

# Methods we refuse, and a split archive.
zip -q -Z bzip2 bzip2.zip src/sub/n.txt
7z a -tzip -mm=Deflate64 deflate64.zip src/sub/n.txt >/dev/null
7z a -tzip -mm=PPMd ppmd.zip src/sub/n.txt >/dev/null
zip -q -s 64k split.zip big.bin
