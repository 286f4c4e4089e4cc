#!/usr/bin/env bash
# Checks with the real tools what the main window's ZIP/7z jobs write: the peer-output cases
# (run here under Wine with QVL_PEER_OUT set) leave their archives in the work folder, then
# unzip and 7z must test them, accept the right password, refuse a wrong one and give back
# the expected contents.
# Usage: zip_7z_peer_check.sh <app_tests.exe> <fixtures folder> <work folder>
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../peer_check_common.sh"
peer_check_start QVL_PEER_OUT 'ZipJobsPeerOutput.*' jobs.log "the peer-output cases" "$@"

# Compares the bytes on stdin with the text $1.
same() { cmp -s - <(printf '%s' "$1"); }

z=$work/deleted_locked.zip
unzip -t -P pw "$z" >/dev/null 2>&1 || fail "deleted_locked.zip: unzip -t with the password"
unzip -t -P wrong "$z" >/dev/null 2>&1 && fail "deleted_locked.zip: unzip accepts a wrong password"
[ "$(unzip -Z1 "$z" 2>/dev/null)" = "a/b/c.txt" ] || fail "deleted_locked.zip: members $(unzip -Z1 "$z" | tr '\n' ' ')"
unzip -p -P pw "$z" a/b/c.txt | same "c text" || fail "deleted_locked.zip: a/b/c.txt content"

s=$work/added.7z
7z t "$s" >/dev/null 2>&1 || fail "added.7z: 7z t"
rm -rf "$work/added"
7z x -y -o"$work/added" "$s" >/dev/null 2>&1 || fail "added.7z: 7z x"
same "new one" <"$work/added/new.txt" || fail "added.7z: new.txt"
same "read me" <"$work/added/docs/en/readme.txt" || fail "added.7z: docs/en/readme.txt"
same "c text" <"$work/added/a/b/c.txt" || fail "added.7z: a/b/c.txt"

z=$work/autosaved_locked.zip
unzip -t -P pw "$z" >/dev/null 2>&1 || fail "autosaved_locked.zip: unzip -t with the password"
unzip -t -P wrong "$z" >/dev/null 2>&1 && fail "autosaved_locked.zip: not encrypted any more"
unzip -p -P pw "$z" a/b/c.txt | same "new c" || fail "autosaved_locked.zip: replaced a/b/c.txt"

s=$work/autosaved_locked.7z
7z t -ppw "$s" >/dev/null 2>&1 || fail "autosaved_locked.7z: 7z t with the password"
7z t -pwrong "$s" >/dev/null 2>&1 && fail "autosaved_locked.7z: not encrypted any more"
7z e -so -ppw "$s" a/b/c.txt 2>/dev/null | same "new c" || fail "autosaved_locked.7z: replaced a/b/c.txt"

s=$work/passworded.7z
7z t -pnp "$s" >/dev/null 2>&1 || fail "passworded.7z: 7z t with the new password"
7z t -pwrong "$s" >/dev/null 2>&1 && fail "passworded.7z: accepts a wrong password"

# Edits through the commands keep every member they do not touch as it was stored.
for kind in u8:plain aes:aes zc:zipcrypto names:plain; do
  z=$work/edited_keep_${kind%%:*}.zip
  # unzip has no WinZip AES; 7z reads every kind.
  [ "${kind#*:}" = aes ] || unzip -tq -P PW "$z" >/dev/null 2>&1 || fail "$(basename "$z"): unzip -t"
  7z t -pPW "$z" >/dev/null 2>&1 || fail "$(basename "$z"): 7z t"
  7z t -pwrong "$z" >/dev/null 2>&1 && [ "${kind#*:}" != plain ] && fail "$(basename "$z"): 7z accepts a wrong password"
  python3 "$(dirname "${BASH_SOURCE[0]}")/zip_keep_check.py" "$fixtures/app/keep_${kind%%:*}.zip" "$z" "${kind#*:}" ||
    fail "$(basename "$z"): members kept"
  [ "$(7z e -so -pPW "$z" added.txt 2>/dev/null)" = added ] || fail "$(basename "$z"): added.txt content"
  [ "$(7z e -so -pPW "$z" dup.txt 2>/dev/null)" = "dup new" ] || fail "$(basename "$z"): dup.txt content"
done

peer_check_end "the archives written by the ZIP/7z jobs pass unzip and 7z"
