#!/usr/bin/env bash
# Writes archives with our 7z writer (through the test program under Wine) and checks them
# with 7z: "7z t" must pass and "7z x" must give the same bytes, folders as folders.
# Usage: sevenzip_peer_check.sh <archive_tests.exe> <output folder>
set -euo pipefail
exe=${1:?test program}
out=${2:?output folder}
rm -rf "$out"
mkdir -p "$out"
QVL_SEVENZIP_PEER_OUT="$out" wine "$exe" --gtest_filter='SevenZipPeerOutput.*' >/dev/null
[ -f "$out/plain.7z" ] || { echo "our writer produced nothing"; exit 1; }

fail=0
check() {  # archive, password (may be empty)
  local archive=$1 pw=$2 dest
  dest=$(mktemp -d)
  if ! 7z t -bd -p"$pw" "$out/$archive" >/dev/null 2>&1; then echo "7z t failed: $archive"; fail=1; fi
  if ! 7z x -bd -p"$pw" -o"$dest" "$out/$archive" >/dev/null 2>&1; then echo "7z x failed: $archive"; fail=1; fi
  if ! diff -r "$out/expected" "$dest" >/dev/null; then echo "content differs: $archive"; diff -r "$out/expected" "$dest" | head; fail=1; fi
  for d in dir emptydir 中文; do [ -d "$dest/$d" ] || { echo "not a folder in $archive: $d"; fail=1; }; done
  rm -rf "$dest"
}
check plain.7z ""
check aes.7z pw123
check comment_set.7z ""
check comment_cleared.7z ""
# Clearing the comment restores the archive written without one, byte for byte.
cmp -s "$out/plain.7z" "$out/comment_cleared.7z" || { echo "cleared comment left bytes behind"; fail=1; }
if 7z t -bd -pwrong "$out/aes.7z" >/dev/null 2>&1; then echo "wrong password accepted"; fail=1; fi
exit $fail
