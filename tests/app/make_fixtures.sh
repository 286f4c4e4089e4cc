#!/usr/bin/env bash
# Fixtures of the app tests: REZ archives (python) and ZIP/7z archives made by the peer tools.
# usage: make_fixtures.sh OUTPUT_FOLDER
set -euo pipefail
mkdir -p "$1"
out=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
python3 "$here/make_fixtures.py" "$out"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/src/a/b" "$work/src/dir" "$work/src/Data" "$work/src/DATA"
printf 'c text' >"$work/src/a/b/c.txt"
printf 'x' >"$work/src/Data/x"
printf 'yy' >"$work/src/DATA/y"
rm -f "$out/members.zip" "$out/members.7z" "$out/locked.7z" "$out/locked.zip"
(cd "$work/src" && zip -q -r "$out/members.zip" a dir Data DATA -z <<<"zip comment")
(cd "$work/src" && 7z a -bd -y "$out/members.7z" a dir Data DATA >/dev/null)
(cd "$work/src" && 7z a -bd -y -ppw -mhe=on "$out/locked.7z" a >/dev/null)
(cd "$work/src" && zip -q -P pw "$out/locked.zip" a/b/c.txt Data/x)
# The ZIP/7z jobs: data encrypted under a plain file list, and a member whose name climbs
# out of the target folder.
rm -f "$out/data_locked.7z" "$out/climb.zip"
(cd "$work/src" && 7z a -bd -y -ppw "$out/data_locked.7z" a Data >/dev/null)
python3 - "$out/climb.zip" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w") as z:
    z.writestr("ok.txt", "fine")
    z.writestr("../x", "escaped")
PY
