#!/usr/bin/env bash
# Checks the ZIP archives our writer makes with the real tools: the writer test (run here
# under Wine with QVL_ZIP_OUT set) writes them, then `unzip -t` and `7z t` must pass and
# `7z x` must give back the expected files byte for byte.
# Usage: zip_peer_check.sh <archive_tests.exe> <fixtures folder> <work folder>
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../peer_check_common.sh"
peer_check_start QVL_ZIP_OUT 'ZipPeerOutput.*' writer.log "the writer test" "$@"

checked=0
for archive in "$work"/*.zip; do
  name=$(basename "$archive")
  pw=()
  zpw=()
  case "$name" in
    zipcrypto.zip | appended_zc_crc.zip) pw=(-psecret); zpw=(-P secret) ;;
  esac
  checked=$((checked + 1))

  if [ "$name" = empty.zip ]; then
    # unzip only warns ("zipfile is empty", exit 1) on an archive without entries.
    out=$(unzip -t "$archive" 2>&1)
    echo "$out" | grep -q "zipfile is empty" || fail "$name: unzip -t: $out"
  else
    unzip -t "${zpw[@]}" "$archive" >"$work/$name.unzip.log" 2>&1 || fail "$name: unzip -t exit $?: $(tail -3 "$work/$name.unzip.log")"
  fi
  7z t "${pw[@]}" "$archive" >"$work/$name.7z.log" 2>&1 || fail "$name: 7z t exit $?: $(grep -i error "$work/$name.7z.log" | head -3)"

  if [ -d "$archive.expected" ]; then
    dest="$work/$name.extracted"
    7z x -y "${pw[@]}" -o"$dest" "$archive" >/dev/null 2>&1 || fail "$name: 7z x failed"
    while IFS= read -r -d '' f; do
      rel=${f#"$archive.expected/"}
      cmp -s "$f" "$dest/$rel" || fail "$name: $rel differs or is missing after 7z x"
    done < <(find "$archive.expected" -type f -print0)
    while IFS= read -r -d '' d; do
      rel=${d#"$archive.expected/"}
      [ -d "$dest/$rel" ] || fail "$name: folder $rel missing after 7z x"
    done < <(find "$archive.expected" -mindepth 1 -type d -print0)
  fi
done

# The traditional cipher is really applied: a wrong password fails.
unzip -t -P wrong "$work/zipcrypto.zip" >/dev/null 2>&1 && fail "zipcrypto.zip: unzip accepts a wrong password"
7z t -pwrong "$work/zipcrypto.zip" >/dev/null 2>&1 && fail "zipcrypto.zip: 7z accepts a wrong password"

# The comments are stored in GBK ("中文注释", "说明").
unzip -z "$work/stored.zip" | head -c -1 | tail -c 8 | cmp -s - <(printf '\xd6\xd0\xce\xc4\xd7\xa2\xca\xcd') || fail "stored.zip: comment bytes"
unzip -z "$work/commented.zip" | head -c -1 | tail -c 4 | cmp -s - <(printf '\xcb\xb5\xc3\xf7') || fail "commented.zip: comment bytes"
# Entries appended behind a stub must be found without unzip's "extra bytes" warning.
unzip -t "$work/appended_stub.zip" 2>&1 | grep -qi "extra bytes" && fail "appended_stub.zip: offsets not absolute"

[ $checked -ge 7 ] || fail "only $checked archives were written"
peer_check_end "all $checked archives pass unzip -t and 7z t"
