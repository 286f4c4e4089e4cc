#!/usr/bin/env bash
# usage: pack_verb_check.sh QUARVEL_EXE PROBE_EXE
# Runs under the Wine prefix and display that scripts/test set up.
set -uo pipefail
exe=$1
probe=$2

work=$(mktemp -d)
pid=
cleanup() {
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
    wine "$probe" close-box >/dev/null 2>&1
    sleep 1
    kill "$pid" 2>/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

# A folder whose parent has a dot in its name, two files in it, one in a subfolder.
marker="packed-by-the-verb-$$"
mkdir -p "$work/mods.v2/Textures/sub"
printf 'first %s' "$marker" >"$work/mods.v2/Textures/a.txt"
head -c 70000 /dev/urandom >"$work/mods.v2/Textures/sub/noise.bin"
win_folder=$(winepath -w "$work/mods.v2/Textures")

wine "$exe" --pack "$win_folder" </dev/null >/dev/null 2>&1 &
pid=$!
archive="$work/mods.v2/Textures.rez"
# Bounded by the clock, not by a count of tries: each probe start is slow on a loaded machine.
front=
deadline=$((SECONDS + 120))
while [ $SECONDS -lt $deadline ]; do
  if [ -f "$archive" ]; then
    wine "$probe" wait-box-front 2 >/dev/null 2>"$work/probe.err" && { front=1; break; }
  fi
  sleep 0.2
done
[ -f "$archive" ] || fail "no archive next to the packed folder"
if [ -z "$front" ]; then
  cat "$work/probe.err"
  ps -eo pid,args | grep -i '\.exe' | grep -v grep
  fail "the finished dialog did not come to the front"
fi
grep -q "first $marker" "$archive" || fail "the archive does not hold the text file"
# The random file's bytes are stored whole.
python3 - "$archive" "$work/mods.v2/Textures/sub/noise.bin" <<'PY' || fail "the archive does not hold the binary file"
import sys
archive = open(sys.argv[1], 'rb').read()
data = open(sys.argv[2], 'rb').read()
sys.exit(0 if data in archive else 1)
PY
[ -z "$(ls "$work/mods.v2" | grep -v '^Textures')" ] || fail "unexpected files: $(ls "$work/mods.v2")"

# The finished dialog waits for the user; closing it ends the run with 0.
wine "$probe" close-box || fail "no dialog to close"
for _ in $(seq 150); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
kill -0 "$pid" 2>/dev/null && fail "the run did not end after its dialog closed"
wait "$pid"
code=$?
pid=
[ "$code" -eq 0 ] || fail "the --pack run exited with $code"
echo "pack verb: ok"
