#!/usr/bin/env bash
# REZ benchmark: a synthetic tree of files on disk, packed into a REZ archive, opened,
# fully loaded, saved again and extracted, with `cp -r` of the same files for scale.
# Prints figures only; nothing is asserted.
# Usage: bench/rez_bench.sh [files=100000] [folders=1000] [total MiB=1024]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../scripts/common.sh"
trap qvl_stop_all EXIT

files=${1:-100000}
folders=${2:-1000}
total_mib=${3:-1024}
data="$QVL_BUILD/bench-rez"

qvl_build --target rez_bench >/dev/null
rm -rf "$data"
mkdir -p "$data"

echo "making $files files in $folders folders, about $total_mib MiB of mixed data..."
python3 - "$data/src" "$files" "$folders" "$total_mib" <<'PY'
import os, random, sys
root, files, folders, total_mib = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
rng = random.Random(20261210)
mean = total_mib * 1024 * 1024 / files
noise = os.urandom(8 << 20)            # incompressible bytes
text = (b"The quick brown fox jumps over the lazy dog. 0123456789\n" * 200000)[: 8 << 20]
kinds = [".dtx", ".ltb", ".dat", ".txt", ".wav", ".bin"]
for f in range(folders):
    os.makedirs(os.path.join(root, "Folder%04d" % f), exist_ok=True)
for i in range(files):
    size = min(int(rng.expovariate(1.0 / mean)), 8 << 20)
    src = (noise, text, None)[i % 3]
    off = rng.randrange(0, (8 << 20) - size + 1)
    body = bytes(size) if src is None else src[off:off + size]
    with open(os.path.join(root, "Folder%04d" % (i % folders), "FILE%06d%s" % (i, kinds[i % len(kinds)])), "wb") as fh:
        fh.write(body)
PY
du -sh "$data/src" | awk '{print "source tree: " $1}'

qvl_wine_start
winpath() { echo "Z:${1//\//\\}"; }
echo "--- rez_bench (Wine) ---"
wine "$QVL_BUILD/bench/rez_bench.exe" "$(winpath "$data/src")" "$(winpath "$data/work")"

echo "--- cp -r of the same files (native) ---"
sync
start=$(date +%s.%N)
cp -r "$data/src" "$data/cp"
sync
end=$(date +%s.%N)
bytes=$(du -sb "$data/src" | cut -f1)
awk -v s="$start" -v e="$end" -v b="$bytes" \
  'BEGIN { t = e - s; printf "%-28s %9.3f s  %10.1f MiB/s\n", "cp -r", t, b / 1048576 / t }'

echo "--- check: extracted tree equals the source ---"
if diff -rq "$data/src" "$data/work/out" >/dev/null; then echo "identical"; else echo "DIFFERENT"; fi
rm -rf "$data"
