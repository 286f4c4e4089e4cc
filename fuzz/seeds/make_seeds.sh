#!/usr/bin/env bash
# Writes the seed corpus of every harness into <out>/<harness>/: codec streams from
# Python's zlib and lzma, ZIP and 7z archives from zip and 7z, pictures and game files from
# the decode tests' own fixture scripts, REZ archives from the library's writer.
# Usage: make_seeds.sh <out folder> <command running make_rez_seeds>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
out=${1:?out folder}
mkdir -p "$out"
out=$(cd "$out" && pwd)
shift
rez_tool=("$@")
[ ${#rez_tool[@]} -gt 0 ] || { echo "make_seeds.sh: no make_rez_seeds command" >&2; exit 2; }

rm -rf "$out"
mkdir -p "$out"/{inflate,lzma,lzma2,lzss,zip,sevenzip,rez_file,rez_block,preview}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# ---- codecs ---------------------------------------------------------------------------
python3 - "$out" <<'PY'
import lzma, os, random, struct, sys, zlib
out = sys.argv[1]
r = random.Random(1212)
text = b"".join(r.choice([b"alpha ", b"beta ", b"\xe6\x96\x87\xe6\x9c\xac ", b"rez\n", b"  "]) for _ in range(600))
samples = {"text": text, "zeros": bytes(3000), "random": r.randbytes(700), "tiny": b"a", "empty": b""}

def put(folder, name, data):
    with open(os.path.join(out, folder, name), "wb") as f:
        f.write(data)

for name, data in samples.items():
    for tag, level, strategy in (("l1", 1, 0), ("l9", 9, 0), ("fixed", 6, zlib.Z_FIXED),
                                 ("huffman", 6, zlib.Z_HUFFMAN_ONLY), ("stored", 0, 0)):
        c = zlib.compressobj(level, zlib.DEFLATED, -15, 8, strategy)
        put("inflate", f"{name}.{tag}", c.compress(data) + c.flush())
    # LZMA-alone with an unknown size (end marker) and with the size stated.
    alone = lzma.compress(data, format=lzma.FORMAT_ALONE, filters=[{"id": lzma.FILTER_LZMA1, "preset": 1}])
    put("lzma", f"{name}.alone", alone)
    put("lzma", f"{name}.alone_sized", alone[:5] + struct.pack("<Q", len(data)) + alone[13:])
    # The raw 7z coder: properties byte, the harness's size byte, the stream.
    raw = lzma.compress(data, format=lzma.FORMAT_RAW, filters=[{"id": lzma.FILTER_LZMA1, "preset": 1}])
    put("lzma", f"{name}.raw", bytes([0x5D, 0]) + raw)
    lz2 = lzma.compress(data, format=lzma.FORMAT_RAW, filters=[{"id": lzma.FILTER_LZMA2, "preset": 1}])
    put("lzma2", f"{name}.lzma2", struct.pack("<I", len(data)) + lz2)

# The LTC LZSS stream: a zero header, then bits from the low end of each byte, fields most
# significant bit first; 1 + 8 bits a literal, 0 + 12-bit ring position + 4-bit length a copy.
class Lzss:
    def __init__(self):
        self.out = bytearray(4)
        self.bit = 32
    def put_bit(self, b):
        if self.bit // 8 >= len(self.out):
            self.out.append(0)
        if b:
            self.out[self.bit // 8] |= 1 << (self.bit % 8)
        self.bit += 1
    def put(self, value, count):
        for i in reversed(range(count)):
            self.put_bit((value >> i) & 1)
    def literal(self, c):
        self.put_bit(1)
        self.put(c, 8)
    def copy(self, p, length):
        self.put_bit(0)
        self.put(p, 12)
        self.put(length - 2, 4)
    def end(self):
        self.put_bit(0)
        self.put(0, 12)
        return bytes(self.out) + bytes(max(0, 6 - len(self.out)))

w = Lzss()
for c in b"[Script]\r\nName=Test\r\n":
    w.literal(c)
w.copy(1, 8)
w.copy(9, 17)
put("lzss", "script", w.end())
w = Lzss()
for c in text[:200]:
    w.literal(c)
put("lzss", "text", w.end())
PY

# ---- ZIP and 7z -------------------------------------------------------------------------
mkdir -p "$work/tree/sub/empty" "$work/tree/中文"
printf 'hello zip\n' >"$work/tree/a.txt"
python3 -c "import sys; sys.stdout.write(''.join('%d line\n' % i for i in range(300)))" >"$work/tree/sub/lines.txt"
head -c 200 /dev/zero >"$work/tree/sub/zeros.bin"
printf '\xe4\xb8\xad\xe6\x96\x87\n' >"$work/tree/中文/名.txt"
(
  cd "$work/tree"
  zip -q -r -X "$out/zip/deflate.zip" .
  zip -q -r -X -0 "$out/zip/stored.zip" .
  zip -q -r -X -P fuzz "$out/zip/pkware.zip" a.txt sub
  printf 'archive comment' | zip -q -X -z "$out/zip/comment.zip" a.txt
  7z a -bd -bso0 -bsp0 -tzip -mem=AES256 -pfuzz "$out/zip/aes.zip" a.txt sub >/dev/null
  7z a -bd -bso0 -bsp0 -t7z -m0=LZMA "$out/sevenzip/lzma.7z" . >/dev/null
  7z a -bd -bso0 -bsp0 -t7z -m0=LZMA2 -ms=off "$out/sevenzip/lzma2_nonsolid.7z" . >/dev/null
  7z a -bd -bso0 -bsp0 -t7z -m0=Deflate "$out/sevenzip/deflate.7z" . >/dev/null
  7z a -bd -bso0 -bsp0 -t7z -m0=Copy "$out/sevenzip/copy.7z" . >/dev/null
  7z a -bd -bso0 -bsp0 -t7z -m0=LZMA2 -mhc=off "$out/sevenzip/plain_header.7z" a.txt sub >/dev/null
  7z a -bd -bso0 -bsp0 -t7z -pfuzz "$out/sevenzip/aes.7z" a.txt >/dev/null
  7z a -bd -bso0 -bsp0 -t7z -pfuzz -mhe=on "$out/sevenzip/aes_header.7z" a.txt >/dev/null
  7z a -bd -bso0 -bsp0 -t7z "$out/sevenzip/empty_dir.7z" sub/empty >/dev/null
)
python3 - "$out/zip/empty.zip" <<'PY'
import sys, zipfile
zipfile.ZipFile(sys.argv[1], "w").close()
PY

# ---- REZ ----------------------------------------------------------------------------------
mkdir -p "$work/rez"
printf 'hello rez\r\n' >"$work/rez/a.txt"
head -c 300 /dev/urandom >"$work/rez/b.bin"
"${rez_tool[@]}" "$work/rez" "$out/rez_file" "$out/rez_block"
python3 "$root/tests/app/make_fixtures.py" "$work/appfix"
cp "$work/appfix/selftest/engine.rez" "$out/rez_file/app_engine.rez"
cp "$work/appfix/preview/engine.rez" "$out/rez_file/app_preview.rez"

# ---- preview: "name", a zero byte, the entry's bytes -------------------------------------
bash "$root/tests/decode/make_fixtures.sh" "$work/decode" >/dev/null
python3 "$root/tests/decode/gen_game_fixtures.py" "$work/decode" >/dev/null
python3 - "$work/decode" "$out/preview" <<'PY'
import os, struct, sys
src, dst = sys.argv[1], sys.argv[2]
for dirpath, _, names in os.walk(src):
    for n in names:
        data = open(os.path.join(dirpath, n), "rb").read()
        if len(data) > 65536:
            continue
        with open(os.path.join(dst, n), "wb") as f:
            f.write(n.encode() + b"\0" + data)
# Kinds the fixture scripts do not make.
extra = {
    "a.txt": "纯文本 text\r\n".encode("gb18030"),
    "k.txt": "한국어 텍스트\r\n".encode("cp949"),
    "u.csv": b"\xef\xbb\xbfname,value\r\nsword,12\r\n",
    "w.ini": "[Section]\r\nkey=값\r\n".encode("utf-16"),
    "s.enc": b"aGVsbG8gd29ybGQ=",
    "c.cfg": b"key = value\r\n",
    "noext": b"plain bytes",
    "12-3.bin": struct.pack("<III", 2, 3, 4) + bytes(range(48)),
    "WeaponModel7.bin": struct.pack("<II", 1, 42) + bytes(68),
    "items.dat": b"[Item]\r\nName=Sword\r\n" + bytes(16),
    "plain.ltc": b"[Script]\r\nName=Test\r\n",
    "fx.fxo": bytes(range(64)),
    "route.nav": struct.pack("<IIff", 3, 2, 1.0, 2.0),
    "sound.wav": b"RIFF" + struct.pack("<I", 44) + b"WAVEfmt " + struct.pack("<IHHIIHH", 16, 1, 1, 8000, 8000, 1, 8) + b"data" + struct.pack("<I", 8) + bytes(8),
}
for n, data in extra.items():
    with open(os.path.join(dst, n), "wb") as f:
        f.write(n.encode() + b"\0" + data)
PY
