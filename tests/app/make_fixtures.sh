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

# A leftover drag-out folder of an ended run that holds a link to a folder outside it: the
# start-up clean-up must take the link away, never what it points to. Made from this side
# because Wine's CreateSymbolicLinkW makes nothing; Wine shows a Unix link to a folder as a
# directory reparse point. Made afresh for every run, since the clean-up consumes it.
links="$out/stale_links"
rm -rf "$links"
mkdir -p "$links/temp/qvl_dragout_4000000000/sub" "$links/kept/inner"
printf 'keep' >"$links/kept/keep.txt"
printf 'inner' >"$links/kept/inner/deep.txt"
printf 'x' >"$links/temp/qvl_dragout_4000000000/sub/x.dat"
ln -s "$links/kept" "$links/temp/qvl_dragout_4000000000/dirlink"
