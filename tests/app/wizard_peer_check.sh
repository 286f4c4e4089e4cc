#!/usr/bin/env bash
# Checks with the real tools what the wizard packs: the peer-output case (run here under Wine
# with QVL_PEER_OUT set) packs a folder and a file into ZIP and 7z in the work folder, then
# unzip and 7z must test both and give back the same files.
# Usage: wizard_peer_check.sh <app_tests.exe> <fixtures folder> <work folder>
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../peer_check_common.sh"
peer_check_start QVL_PEER_OUT 'Wizard.PeerOutput*' wizard.log "the wizard's peer-output case" "$@"

# The files below folder $1 as "relative-name<TAB>content" lines, sorted.
listing() {
  (cd "$1" && find . -type f | sed 's|^\./||' | sort | while read -r f; do
    printf '%s\t%s\n' "$f" "$(cat "$f")"
  done) | sort
}
expected=$(printf 'levels/maps/empty.dat\t\nlevels/maps/one.dat\tlevel one\nlevels/readme.txt\tread me\nnotes.txt\tnotes\n' | sort)

z=$work/wizard.zip
unzip -t "$z" >/dev/null 2>&1 || fail "wizard.zip: unzip -t"
mkdir -p "$work/zip_out"
unzip -q -o "$z" -d "$work/zip_out" >/dev/null 2>&1 || fail "wizard.zip: unzip"
[ "$(listing "$work/zip_out")" = "$expected" ] || fail "wizard.zip: files $(listing "$work/zip_out" | tr '\n\t' '; ')"

s=$work/wizard.7z
7z t "$s" >/dev/null 2>&1 || fail "wizard.7z: 7z t"
7z x -y -o"$work/7z_out" "$s" >/dev/null 2>&1 || fail "wizard.7z: 7z x"
[ "$(listing "$work/7z_out")" = "$expected" ] || fail "wizard.7z: files $(listing "$work/7z_out" | tr '\n\t' '; ')"

peer_check_end "the archives written by the wizard pass unzip and 7z"
