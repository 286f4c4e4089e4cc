#!/usr/bin/env bash
# usage: add_to_rez_race_check.sh QUARVEL_EXE PROBE_EXE APP_FIXTURE_FOLDER
# What the drop handler's starts meet as real processes:
# - two "--add-to-rez" starts at the same moment: one runs as the instance, the other hands
#   its items over; they wait for the running job and every item reaches the archive;
# - the new entries take ids used nowhere in the archive, also not in its folders;
# - two files of one name (from two folders) are reported as one replacing the other;
# - a save killed part-way leaves its temporary file beside the archive, and the next start
#   of the program removes it.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/instance_check_common.sh"
[ -f "$fixtures/selftest/engine.rez" ] || { echo "missing fixture $fixtures/selftest/engine.rez"; exit 1; }

work=$(mktemp -d)
pids=()
stop_all() {
  stop_first_instance
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  rm -rf "$work"
}
trap stop_all EXIT

# engine.rez keeps its files in folders (REZ\BUTES\A.TXT, REZ\B.DAT); the name keeps its layout.
cp "$fixtures/selftest/engine.rez" "$work/engine.rez"
archive=$(winepath -w "$work/engine.rez")
printf 'first-start-%s' "$$" >"$work/one.txt"
printf 'second-start-%s' "$$" >"$work/two.txt"
mkdir -p "$work/d1" "$work/d2"
printf 'older same %s' "$$" >"$work/d1/same.txt"
printf 'newer same %s' "$$" >"$work/d2/same.txt"

in_archive() { grep -q "$1" "$work/engine.rez"; }
wait_in_archive() {
  for _ in $(seq 600); do in_archive "$1" && return 0; sleep 0.2; done
  return 1
}

# 1. Two starts at once, and no instance running yet.
wine "$exe" --add-to-rez "$archive" "$(winepath -w "$work/one.txt")" </dev/null >/dev/null 2>&1 &
a=$!
wine "$exe" --add-to-rez "$archive" "$(winepath -w "$work/two.txt")" </dev/null >/dev/null 2>&1 &
b=$!
pids=("$a" "$b")
wine "$probe" wait-window 60 || fail "no main window"
wait_in_archive "first-start-$$" || fail "the first start's file never reached the archive"
wait_in_archive "second-start-$$" || fail "the second start's file never reached the archive"
# One of the two handed over and ended with 0; the other is the one instance.
handed=
for _ in $(seq 300); do
  if ! kill -0 "$a" 2>/dev/null; then handed=$a; first_pid=$b; break; fi
  if ! kill -0 "$b" 2>/dev/null; then handed=$b; first_pid=$a; break; fi
  sleep 0.2
done
[ -n "$handed" ] || fail "both starts still run: two instances"
wait "$handed"
code=$?
[ "$code" -eq 0 ] || fail "the start that handed over exited with $code"
count=$(wine "$probe" count | tr -d '\r')
[ "$count" = 1 ] || fail "$count main windows"
wine "$probe" wait-log "，跳过 0）" 60 || fail "no result in the log"

# 2. Every id once over the whole archive.
ids=$(python3 "$here/rez_ids.py" "$work/engine.rez") || fail "ids repeated: $ids"
echo "$ids" | grep -q 'ONE.TXT' || echo "$ids" | grep -qi 'one.txt' || fail "one.txt is not listed: $ids"

# 3. One name from two folders: the later one replaces the earlier, and the result says so.
timeout 60 wine "$exe" --add-to-rez "$archive" "$(winepath -w "$work/d1/same.txt")" \
  "$(winepath -w "$work/d2/same.txt")" </dev/null >/dev/null 2>&1
code=$?
[ "$code" -eq 0 ] || fail "the hand-over of the two same.txt exited with $code"
wine "$probe" wait-log "拖放加入完成: $archive（加入 2，跳过 0，替换同名 1）" 60 || fail "the replacement is not reported"
wait_in_archive "newer same $$" || fail "the later same.txt is not in the archive"
in_archive "older same $$" && fail "the earlier same.txt is still in the archive"
close_first_instance

# 4. A save killed part-way: its temporary file stays beside the archive until the next start.
head -c 150000000 /dev/zero >"$work/big.bin"
wine "$exe" --add-to-rez "$archive" "$(winepath -w "$work/big.bin")" </dev/null >/dev/null 2>&1 &
killed=$!
pids=("$killed")
left=
for _ in $(seq 1200); do
  left=$(ls "$work" | grep '^engine\.rez\.tmp' | head -1)
  [ -n "$left" ] && break
  sleep 0.05
done
if [ -z "$left" ]; then
  # What the start was doing: still running or gone, which Quarvel processes there are (one
  # still holding the single-instance mutex makes a start wait), whether the save already
  # ended between two looks, and what the window shows.
  echo "the start is $(kill -0 "$killed" 2>/dev/null && echo "still running" || echo "gone")"
  echo "Quarvel processes: $(pgrep -af 'Quarvel\.exe' | grep -v _check\.sh | tr '\n' ';')"
  ls -la "$work"
  [ "$(stat -c %s "$work/engine.rez")" -gt 150000000 ] &&
    echo "the archive already holds big.bin: the save ended between two looks"
  wine "$probe" wait-log "-nothing-logs-this-" 1  # prints the window, its box and its log
  fail "the save never wrote its temporary file"
fi
kill -9 "$killed"
wait "$killed" 2>/dev/null
for _ in $(seq 100); do wine "$probe" count | tr -d '\r' | grep -qx 0 && break; sleep 0.2; done
[ -e "$work/$left" ] || fail "the killed save left nothing to clean (test set-up)"
start_first_instance
for _ in $(seq 100); do [ -e "$work/$left" ] || break; sleep 0.2; done
[ -e "$work/$left" ] && fail "the next start left the killed save's $left"
ls "$work" | grep -q '^engine\.rez\.tmp' && fail "a temporary file of the archive is still there"
close_first_instance
echo "add-to-rez starts, ids, replacements and killed saves: ok"
