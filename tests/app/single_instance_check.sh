#!/usr/bin/env bash
# usage: single_instance_check.sh QUARVEL_EXE PROBE_EXE APP_FIXTURE_FOLDER
# Runs under the Wine prefix and display that scripts/test set up.
set -uo pipefail
exe=$1
probe=$2
fixtures=$3
archive_dir="$fixtures/selftest"
[ -f "$archive_dir/engine.rez" ] || { echo "missing fixture $archive_dir/engine.rez"; exit 1; }

first_pid=
cleanup() {
  if [ -n "$first_pid" ] && kill -0 "$first_pid" 2>/dev/null; then
    wine "$probe" close >/dev/null 2>&1
    sleep 1
    kill "$first_pid" 2>/dev/null
  fi
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

# The first start becomes the running instance. It is given nothing to open: a hand-over
# that arrived while its own open still ran would be refused as busy.
wine "$exe" </dev/null >/dev/null 2>&1 &
first_pid=$!
wine "$probe" wait-window 60 || fail "the first instance shows no main window"

# A second start with a relative path hands it over (made absolute) and exits with 0.
win_archive=$(winepath -w "$archive_dir/engine.rez")
(cd "$archive_dir" && timeout 60 wine "$exe" engine.rez </dev/null >/dev/null 2>&1)
code=$?
[ "$code" -eq 0 ] || fail "second start exited with $code"
wine "$probe" wait-caption "Marrowind Quarvel - $win_archive" 30 ||
  fail "the running instance did not open the handed-over archive"

# A second start without arguments shows the running (here: hidden) window and exits with 0.
wine "$probe" hide || fail "could not hide the running window"
timeout 60 wine "$exe" </dev/null >/dev/null 2>&1
code=$?
[ "$code" -eq 0 ] || fail "plain second start exited with $code"
wine "$probe" wait-visible 10 || fail "a plain second start did not show the running window"
kill -0 "$first_pid" 2>/dev/null || fail "the first instance ended"

# A hand-over of a file that cannot be opened: the running instance shows its error box,
# and that box is in front, not hidden behind the window it disables.
(cd "$archive_dir" && timeout 60 wine "$exe" missing.rez </dev/null >/dev/null 2>&1)
code=$?
[ "$code" -eq 0 ] || fail "second start with a missing file exited with $code"
wine "$probe" wait-box-front 20 || fail "the error box of the handed-over file is not in front"
wine "$probe" close-box || fail "no error box to close"
sleep 1

# Closing the running window ends the first instance with 0.
wine "$probe" close || fail "no window to close"
for _ in $(seq 100); do kill -0 "$first_pid" 2>/dev/null || break; sleep 0.2; done
kill -0 "$first_pid" 2>/dev/null && fail "the first instance did not end after WM_CLOSE"
wait "$first_pid"
code=$?
first_pid=
[ "$code" -eq 0 ] || fail "the first instance exited with $code"
echo "single instance: ok"
