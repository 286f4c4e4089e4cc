#!/usr/bin/env bash
# Checks with the real tools what the format conversion writes: the peer-output case (run
# here under Wine with QVL_PEER_OUT set) converts a REZ archive to ZIP and to 7z in the work
# folder, then unzip and 7z must test both and give back the REZ archive's files.
# Usage: convert_peer_check.sh <app_tests.exe> <fixtures folder> <work folder>
set -uo pipefail
exe=${1:?test program}
fixtures=${2:?fixtures folder}
work=${3:?work folder}
rm -rf "$work"
mkdir -p "$work"

QVL_FIXTURES="$fixtures" QVL_PEER_OUT="$work" wine "$exe" --gtest_filter='ConvertPeerOutput.*' >"$work/convert.log" 2>&1
rc=$?
if [ $rc -ne 0 ] || grep -q SKIPPED "$work/convert.log"; then
  cat "$work/convert.log"
  echo "FAIL: the peer-output case did not run cleanly (exit $rc)"
  exit 1
fi

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
# Compares the bytes of file $1 with the text $2.
same() { cmp -s "$1" <(printf '%s' "$2"); }
# The files below folder $1 as "relative-name<TAB>content" lines, names lower-cased (REZ may
# store them upper-cased), sorted.
listing() {
  (cd "$1" && find . -type f | sed 's|^\./||' | sort | while read -r f; do
    printf '%s\t%s\n' "$(printf '%s' "$f" | tr 'A-Z' 'a-z')" "$(cat "$f")"
  done) | sort
}
expected=$(printf 'maps/empty.dat\t\nmaps/level1.dat\tlevel one\nreadme.txt\tread me\n' | sort)

z=$work/levels.zip
unzip -t "$z" >/dev/null 2>&1 || fail "levels.zip: unzip -t"
mkdir -p "$work/zip_out"
unzip -q -o "$z" -d "$work/zip_out" >/dev/null 2>&1 || fail "levels.zip: unzip"
[ "$(listing "$work/zip_out")" = "$expected" ] || fail "levels.zip: files $(listing "$work/zip_out" | tr '\n\t' '; ')"

s=$work/levels.7z
7z t "$s" >/dev/null 2>&1 || fail "levels.7z: 7z t"
7z x -y -o"$work/7z_out" "$s" >/dev/null 2>&1 || fail "levels.7z: 7z x"
[ "$(listing "$work/7z_out")" = "$expected" ] || fail "levels.7z: files $(listing "$work/7z_out" | tr '\n\t' '; ')"

if [ $failures -ne 0 ]; then
  echo "$failures peer check(s) failed"
  exit 1
fi
echo "the archives written by the format conversion pass unzip and 7z"
