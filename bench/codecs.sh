#!/usr/bin/env bash
# Decoder throughput, not what a user waits for: our Deflate, LZMA and LZMA2 decoders run
# in memory inside one process (the archive already read, no CRC, nothing written; "best"
# is the best of the repeats, "cold" the first run in fresh memory), beside the whole
# process `7z t -mmt=1` (and `gzip -dc` for Deflate), which also starts up, reads the
# file and checks CRCs. The ratios therefore flatter our side; they are for following the
# decoders' own speed from one change to the next. For whole-process extraction against
# 7-Zip and unzip, as users meet it, run bench/extract_vs_7z.sh.
# Prints MB/s (10^6 bytes of output per second) and our rate as a multiple of the peers'.
# Usage: bench/codecs.sh [size in MiB, default 256] [repeats, default 3]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../scripts/common.sh"
size_mb=${1:-256}
repeats=${2:-3}
trap qvl_stop_all EXIT

qvl_build --target lzma_bench deflate_bench >/dev/null
qvl_wine_start >/dev/null 2>&1

work="$QVL_BUILD/bench-codecs"
mkdir -p "$work"
data="$work/data_${size_mb}m.bin"
if [ ! -f "$data" ]; then
  echo "making ${size_mb} MiB of mixed text and binary data..."
  python3 "$here/mixed_data.py" large "$data" "$size_mb"
fi
bytes=$(stat -c %s "$data")

seven() { 7z a -bd -bso0 -bsp0 "$@" >/dev/null; }
[ -f "$work/lzma.7z" ] && [ "$work/lzma.7z" -nt "$data" ] || { rm -f "$work/lzma.7z"; echo "compressing (LZMA)..."; seven -m0=LZMA -mx=1 "$work/lzma.7z" "$data"; }
[ -f "$work/lzma2.7z" ] && [ "$work/lzma2.7z" -nt "$data" ] || { rm -f "$work/lzma2.7z"; echo "compressing (LZMA2)..."; seven -m0=LZMA2 -mx=1 -mmt=1 "$work/lzma2.7z" "$data"; }
[ -f "$work/data.gz" ] && [ "$work/data.gz" -nt "$data" ] || { echo "compressing (gzip)..."; gzip -6 -n -c "$data" > "$work/data.gz"; }

# Seconds of the best of $repeats runs of a command.
best_of() {
  local best="" t0 t1 s i
  for i in $(seq "$repeats"); do
    t0=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    t1=$(date +%s.%N)
    s=$(echo "$t1 - $t0" | bc -l)
    if [ -z "$best" ] || [ "$(echo "$s < $best" | bc -l)" = 1 ]; then best=$s; fi
  done
  echo "$best"
}
rate() { echo "scale=1; $bytes / $1 / 1000000" | bc -l; }
field() { sed -n "s/.*$1=\([0-9.]*\).*/\1/p"; }

echo
echo "data: $bytes bytes ($size_mb MiB, half text, half binary); LZMA $(stat -c %s "$work/lzma.7z"), LZMA2 $(stat -c %s "$work/lzma2.7z"), gzip $(stat -c %s "$work/data.gz") bytes packed"
echo "(ours: in-memory decode only; 7z t and gzip -dc: whole processes; see the note at the top)"
printf '%-8s %12s %12s %12s %12s %14s %14s\n' codec "7z t MB/s" "gzip MB/s" "ours cold" "ours best" "cold/7z" "best/7z"
for codec in Deflate LZMA LZMA2; do
  gz_rate="-"
  case $codec in
    Deflate)
      peer=$(best_of 7z t -mmt=1 -bd "$work/data.gz")
      gz=$(best_of gzip -dc "$work/data.gz")
      gz_rate=$(rate "$gz")
      line=$(wine "$QVL_BUILD/bench/deflate_bench.exe" "$work/data.gz" "$repeats")
      ours_best=$(echo "$line" | field mb_per_s)
      ours_cold="-"
      ;;
    LZMA|LZMA2)
      archive="$work/$(echo "$codec" | tr 'A-Z' 'a-z').7z"
      peer=$(best_of 7z t -mmt=1 -bd "$archive")
      line=$(wine "$QVL_BUILD/bench/lzma_bench.exe" "$archive" "$repeats")
      ours_best=$(echo "$line" | field " mb_per_s")
      ours_cold=$(echo "$line" | field first_mb_per_s)
      ;;
  esac
  case "$line" in *" ok"*) ;; *) echo "$codec: our decoder FAILED: $line"; continue ;; esac
  peer_rate=$(rate "$peer")
  cold_ratio="-"
  [ "$ours_cold" = "-" ] || cold_ratio="$(echo "scale=2; $ours_cold / $peer_rate" | bc -l)x"
  printf '%-8s %12s %12s %12s %12s %14s %14s\n' "$codec" "$peer_rate" "$gz_rate" "$ours_cold" "$ours_best" \
    "$cold_ratio" "$(echo "scale=2; $ours_best / $peer_rate" | bc -l)x"
  if [ "$codec" = Deflate ]; then
    echo "         Deflate vs gzip -dc: $(echo "scale=2; $ours_best / $gz_rate" | bc -l)x"
  fi
done
