#!/usr/bin/env bash
# usage: single_instance_check.sh QUARVEL_EXE PROBE_EXE APP_FIXTURE_FOLDER
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/instance_check_common.sh"
archive_dir="$fixtures/selftest"
[ -f "$archive_dir/engine.rez" ] || { echo "missing fixture $archive_dir/engine.rez"; exit 1; }

start_first_instance

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
close_first_instance
[ "$code" -eq 0 ] || fail "the first instance exited with $code"
echo "single instance: ok"
