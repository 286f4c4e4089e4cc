#!/usr/bin/env bash
# Whole-archive extraction as users meet it: whole processes on the same archive into the
# same disk. Ours is bench/app_extract.exe under Wine, which runs the program's own
# extraction job; the peers are `7z x -mmt=1` and, for ZIP, `unzip`. Every case also runs
# the platform's floor: a plain create-write-close loop over the same files under Wine,
# which no extraction under Wine can beat (each file costs wineserver round trips), so
# ours/floor is how much of our time is our own. For REZ the floor is the only peer.
# Each side runs N times, alternating; the table gives median wall seconds, our time as a
# multiple of each peer's, and each side's peak resident memory (/usr/bin/time, largest run).
# Cases: one large compressible file and many small files, as ZIP Deflate (level 6),
# 7z LZMA and 7z LZMA2 (level 5, solid), and REZ. Nothing is asserted.
# Usage: bench/extract_vs_7z.sh [runs=5] [large MiB=182] [small files=10000] [case filter regex]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../scripts/common.sh"
runs=${1:-5}
large_mib=${2:-182}
small_files=${3:-10000}
only=${4:-.}
trap qvl_stop_all EXIT

qvl_build --target app_extract >/dev/null
qvl_wine_start >/dev/null 2>&1

work="$QVL_BUILD/bench-extract"
data="$work/data_${large_mib}m_${small_files}"
mkdir -p "$data"
if [ ! -f "$data/ready" ]; then
  echo "making the data (${large_mib} MiB file, ${small_files} small files) and the archives..."
  rm -rf "$data" && mkdir -p "$data/large" "$data/small"
  python3 "$here/mixed_data.py" large "$data/large/mixed.bin" "$large_mib"
  python3 "$here/mixed_data.py" small "$data/small" "$small_files" "$data/large/mixed.bin"
  for set in large small; do
    python3 "$here/mixed_data.py" list "$data/$set" "$data/$set.list" "$data/$set.blob"
    (cd "$data/$set" && zip -6 -q -r "$data/$set.zip" .)
    (cd "$data/$set" && 7z a -bd -bso0 -bsp0 -m0=LZMA -mx=5 "$data/$set-lzma.7z" . >/dev/null)
    (cd "$data/$set" && 7z a -bd -bso0 -bsp0 -m0=LZMA2 -mx=5 -ms=on "$data/$set-lzma2.7z" . >/dev/null)
    wine "$QVL_BUILD/bench/app_extract.exe" --pack-rez "$data/$set" "$data/$set.rez" </dev/null
  done
  touch "$data/ready"
fi

exe="$QVL_BUILD/bench/app_extract.exe"
out="$work/out"

# One timed run: "wall_seconds peak_KiB" of the command, its output folder made empty first.
timed() {
  local dir=$1; shift
  rm -rf "$dir" && mkdir -p "$dir" && sync
  /usr/bin/time -f "%e %M" -o "$work/time.txt" "$@" </dev/null >"$work/run.log" 2>&1 ||
    { echo "FAILED: $*" >&2; cat "$work/run.log" >&2; return 1; }
  cat "$work/time.txt"
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
largest() { sort -g | tail -1; }

# Runs every side of a case $runs times, alternating; fills wall[side] and peak[side].
declare -A wall peak
measure() {  # measure side:command... (each side one word, its command after the colon, quoted)
  local r entry side
  declare -A walls peaks
  for r in $(seq "$runs"); do
    for entry in "$@"; do
      side=${entry%%:*}
      read -r w m < <(eval "timed \"$out/$side\" ${entry#*:}")
      walls[$side]+="$w"$'\n'
      peaks[$side]+="$m"$'\n'
    done
  done
  for entry in "$@"; do
    side=${entry%%:*}
    wall[$side]=$(printf '%s' "${walls[$side]}" | median)
    peak[$side]=$(( $(printf '%s' "${peaks[$side]}" | largest) / 1024 ))
  done
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
mib() { awk -v b="$(stat -c %s "$1")" 'BEGIN { printf "%.0f", b / 1048576 }'; }
same() {  # same ours peer...: ok when every peer wrote what ours wrote
  local side
  for side in "${@:2}"; do diff -rq "$out/$1" "$out/$side" >/dev/null || { echo DIFFERENT; return; }; done
  echo ok
}

echo "load before: $(uptime | sed 's/.*load/load/')"
echo "runs per side: $runs (median wall time; peak = largest max RSS of the runs)"
row='%-14s %7s %8s %8s %8s %8s %8s %8s %8s %9s %9s %8s %8s %6s\n'
printf "$row" case archive "ours s" "floor s" o/floor "7z s" ours/7z "unzip s" o/unzip "ours MiB" "floor MiB" \
  "7z MiB" "unz MiB" check
for set in large small; do
  for kind in zip lzma lzma2 rez; do
    name="$set-$kind"
    [[ $name =~ $only ]] || continue
    case $kind in
      zip) archive="$data/$set.zip" ;;
      rez) archive="$data/$set.rez" ;;
      *) archive="$data/$set-$kind.7z" ;;
    esac
    sides=("ours:wine \"$exe\" \"$archive\" \"$out/ours\""
      "floor:wine \"$exe\" --floor \"$data/$set.list\" \"$data/$set.blob\" \"$out/floor\"")
    peers=(floor)
    if [ "$kind" != rez ]; then
      sides+=("7z:7z x -mmt=1 -bd -bso0 -bsp0 -y -o\"$out/7z\" \"$archive\"")
      peers+=(7z)
    fi
    if [ "$kind" = zip ]; then
      sides+=("unzip:unzip -q -o \"$archive\" -d \"$out/unzip\"")
      peers+=(unzip)
    fi
    measure "${sides[@]}"
    sz=- szr=- szm=- uz=- uzr=- uzm=-
    if [ "$kind" != rez ]; then sz=${wall[7z]}; szr=$(ratio "${wall[ours]}" "$sz"); szm=${peak[7z]}; fi
    if [ "$kind" = zip ]; then uz=${wall[unzip]}; uzr=$(ratio "${wall[ours]}" "$uz"); uzm=${peak[unzip]}; fi
    printf "$row" "$name" "$(mib "$archive")M" "${wall[ours]}" "${wall[floor]}" \
      "$(ratio "${wall[ours]}" "${wall[floor]}")" "$sz" "$szr" "$uz" "$uzr" "${peak[ours]}" "${peak[floor]}" \
      "$szm" "$uzm" "$(same ours "${peers[@]}")"
  done
done
echo "load after: $(uptime | sed 's/.*load/load/')"
echo "(floor: the plain create-write-close loop under Wine over the same files; 7z does not read REZ)"
rm -rf "$out"
