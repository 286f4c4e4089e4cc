#!/usr/bin/env bash
# Fixtures of the app tests: REZ archives (python) and ZIP/7z archives made by the peer tools.
# usage: make_fixtures.sh OUTPUT_FOLDER
set -euo pipefail
mkdir -p "$1"
out=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
python3 "$here/make_fixtures.py" "$out"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/src/a/b" "$work/src/dir" "$work/src/Data" "$work/src/DATA"
printf 'c text' >"$work/src/a/b/c.txt"
printf 'x' >"$work/src/Data/x"
printf 'yy' >"$work/src/DATA/y"
rm -f "$out/members.zip" "$out/members.7z" "$out/locked.7z" "$out/locked.zip"
(cd "$work/src" && zip -q -r "$out/members.zip" a dir Data DATA -z <<<"zip comment")
(cd "$work/src" && 7z a -bd -y "$out/members.7z" a dir Data DATA >/dev/null)
(cd "$work/src" && 7z a -bd -y -ppw -mhe=on "$out/locked.7z" a >/dev/null)
(cd "$work/src" && zip -q -P pw "$out/locked.zip" a/b/c.txt Data/x)

# A 7z whose file list is readable but whose data is encrypted, and damaged 7z archives
# that hold no encryption at all: random bytes behind the signature, a cut-off archive, a
# flipped byte in the header and one in the compressed header.
rm -rf "$out/damaged7z" "$out/data_locked.7z"
mkdir -p "$out/damaged7z"
(cd "$work/src" && 7z a -bd -y -ppw "$out/data_locked.7z" a Data >/dev/null)
(cd "$work/src" && 7z a -bd -y -mhc=off "$work/plain_header.7z" a dir Data >/dev/null)
python3 - "$out" "$work" <<'PY'
import random, struct, sys
out, work = sys.argv[1], sys.argv[2]
def save(name, data):
    open(out + "/damaged7z/" + name, "wb").write(bytes(data))
members = open(out + "/members.7z", "rb").read()
plain = open(work + "/plain_header.7z", "rb").read()
save("random.7z", b"7z\xbc\xaf\x27\x1c" + random.Random(8).randbytes(400))
save("truncated.7z", members[:-9])
bad = bytearray(plain)
bad[-4] ^= 0x20
save("flipped_header.7z", bad)
# The compressed header's packed bytes lie just before the header that describes them.
next_offset = struct.unpack_from("<Q", members, 12)[0]
bad = bytearray(members)
bad[32 + next_offset - 6] ^= 0x55
save("flipped_packed_header.7z", bad)
PY

# Pictures in one solid LZMA folder, as game texture packs come.
rm -f "$out/pics.7z"
mkdir -p "$work/pics"
for i in 1 2 3 4; do convert -size 24x16 "xc:rgb($((i * 60)),40,90)" "$work/pics/p$i.tga"; done
(cd "$work/pics" && 7z a -bd -y -ms=on -m0=LZMA "$out/pics.7z" . >/dev/null)
# A leftover drag-out folder of an ended run that holds a link to a folder outside it: the
# start-up clean-up must take the link away, never what it points to. Made from this side
# because Wine's CreateSymbolicLinkW makes nothing; Wine shows a Unix link to a folder as a
# directory reparse point. Made afresh for every run, since the clean-up consumes it.
links="$out/stale_links"
rm -rf "$links"
mkdir -p "$links/temp/qvl_dragout_4000000000/sub" "$links/kept/inner"
printf 'keep' >"$links/kept/keep.txt"
printf 'inner' >"$links/kept/inner/deep.txt"
printf 'x' >"$links/temp/qvl_dragout_4000000000/sub/x.dat"
ln -s "$links/kept" "$links/temp/qvl_dragout_4000000000/dirlink"

# The ZIP/7z jobs: a member whose name climbs out of the target folder.
rm -f "$out/climb.zip"
python3 - "$out/climb.zip" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w") as z:
    z.writestr("ok.txt", "fine")
    z.writestr("../x", "escaped")
PY

# Rewrites that keep untouched members: ZIPs as the usual tools make them, each with gone.txt
# (deleted), ren.txt (renamed), dup.txt (added again) and members that must come through
# untouched. u8.zip: Info-ZIP on Linux stores UTF-8 names without the UTF-8 flag.
keep="$work/keep"
mkdir -p "$keep/sub/empty"
printf 'shuoming' >"$keep/说明.txt"
printf 'other' >"$keep/other.txt"
printf 'gone' >"$keep/gone.txt"
printf 'ren' >"$keep/ren.txt"
printf 'dup old' >"$keep/dup.txt"
printf 'deep %.0s' {1..200} >"$keep/sub/深.txt"
touch -d '2011-03-04 05:06:08' "$keep"/*.txt "$keep/sub/深.txt"
rm -f "$out"/keep_*.zip
(cd "$keep" && LC_ALL=C.UTF-8 zip -q -X "$out/keep_u8.zip" 说明.txt other.txt gone.txt ren.txt dup.txt sub/ sub/深.txt sub/empty/)
(cd "$keep" && 7z a -bd -y -tzip -mem=AES256 -pPW "$out/keep_aes.zip" 说明.txt other.txt gone.txt ren.txt dup.txt sub >/dev/null)
(cd "$keep" && LC_ALL=C.UTF-8 zip -q -P PW "$out/keep_zc.zip" other.txt gone.txt ren.txt dup.txt sub/ sub/深.txt sub/empty/)
# Names a folder on disk cannot hold apart or at all: case twins, a reserved character, a
# type in capitals, folders differing in case, and an empty folder.
python3 - "$out/keep_names.zip" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w") as z:
    def put(name, data, method=zipfile.ZIP_DEFLATED):
        info = zipfile.ZipInfo(name, (2015, 6, 7, 8, 9, 10))
        info.compress_type = method
        z.writestr(info, data)
    put("d/Readme.txt", "upper twin " * 20)
    put("d/readme.txt", "lower twin " * 20)
    put("q?x.txt", "reserved", zipfile.ZIP_STORED)
    put("TOP.TXT", "capital type")
    put("Data/a.txt", "data a")
    put("DATA/b.txt", "data b")
    put("gone.txt", "gone")
    put("ren.txt", "ren")
    put("dup.txt", "dup old")
    put("empty/", "")
PY
