#!/usr/bin/env bash
# usage: add_to_rez_handover_check.sh QUARVEL_EXE PROBE_EXE APP_FIXTURE_FOLDER
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/instance_check_common.sh"
[ -f "$fixtures/selftest/engine.rez" ] || { echo "missing fixture $fixtures/selftest/engine.rez"; exit 1; }

work=$(mktemp -d)
trap 'stop_first_instance; rm -rf "$work"' EXIT

# The layout of an archive named engine.rez differs; the copy keeps the name.
cp "$fixtures/selftest/engine.rez" "$work/engine.rez"
marker="added-by-a-second-start-$$"
printf '%s' "$marker" >"$work/handed.txt"
mkdir -p "$work/folder" && printf 'folder file %s' "$marker" >"$work/folder/inner.txt"
win_archive=$(winepath -w "$work/engine.rez")
win_file=$(winepath -w "$work/handed.txt")
win_folder=$(winepath -w "$work/folder")

# The running instance, with the archive open (handed over, as the single-instance test does).
start_first_instance
timeout 60 wine "$exe" "$win_archive" </dev/null >/dev/null 2>&1 || fail "the open hand-over failed"
wine "$probe" wait-caption "Marrowind Quarvel - $win_archive" 30 || fail "the archive did not open"

# A second start with --add-to-rez hands the archive and the items over and exits with 0.
timeout 60 wine "$exe" --add-to-rez "$win_archive" "$win_file" "$win_folder" </dev/null >/dev/null 2>&1
code=$?
[ "$code" -eq 0 ] || fail "the --add-to-rez start exited with $code"
wine "$probe" wait-added "$win_archive" 2 60 || fail "the running instance did not add the items"
grep -q "$marker" "$work/engine.rez" || fail "the archive file does not hold the added file"
grep -q "folder file $marker" "$work/engine.rez" || fail "the archive file does not hold the added folder"
# The archive is shown again, now with the items.
wine "$probe" wait-caption "Marrowind Quarvel - $win_archive" 30 || fail "the archive is no longer open"

close_first_instance
echo "add-to-rez hand-over: ok"
