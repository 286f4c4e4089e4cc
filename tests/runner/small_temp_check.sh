#!/usr/bin/env bash
# usage: small_temp_check.sh HOBBLETON_EXE QUARVEL_EXE PROBE_EXE
# A self-extractor whose archive does not fit in the temporary folder (a tiny filesystem
# mounted for the check) names the cause, leaves no part of its temporary archive behind and
# ends. Both kinds: the runner, and a self-extractor built on the main program.
# Exits 77 (skipped) where no filesystem can be mounted.
set -uo pipefail
hobbleton=$1
quarvel=$2
probe=$3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=$(mktemp -d)
tiny="$work/tiny"
mkdir -p "$tiny"
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null
  mountpoint -q "$tiny" && umount "$tiny"
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }
mount -t tmpfs -o size=512k tmpfs "$tiny" 2>/dev/null || { echo "skipped: no tmpfs can be mounted here"; exit 77; }

# A container of the current layout: program | marker | header length | header | archive
# length | archive. The archive (4 MiB) is larger than the whole temporary folder.
make_sfx() {
  python3 - "$1" "$2" "$3" <<'PY'
import json, struct, sys
host, out, title = sys.argv[1], sys.argv[2], sys.argv[3]
header = json.dumps({"Title": title, "CreateDesktopShortcut": False}, ensure_ascii=True).encode()
archive = bytes(168) + bytes(4 * 1024 * 1024)
with open(out, "wb") as f:
    f.write(open(host, "rb").read())
    f.write(b"REZ_SFX_" + b"HEADER")
    f.write(struct.pack("<I", len(header)) + header)
    f.write(struct.pack("<I", len(archive)) + archive)
PY
}

wtiny=$(winepath -w "$tiny")
check() {  # host, box caption
  local host=$1 caption=$2
  make_sfx "$host" "$work/setup.exe" "QvlTiny" || fail "cannot make the self-extractor"
  local wsetup
  wsetup=$(winepath -w "$work/setup.exe")
  wine cmd /c "set TMP=$wtiny\\&& set TEMP=$wtiny\\&& $wsetup" </dev/null >/dev/null 2>&1 &
  pid=$!
  local text
  text=$(wine "$probe" box-text "$caption" 90) || fail "$caption: no message box"
  echo "$caption says: $text"
  case "$text" in
    *磁盘空间不足*) ;;
    *) fail "$caption does not name the full disk: $text" ;;
  esac
  for _ in $(seq 150); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
  kill -0 "$pid" 2>/dev/null && fail "$caption did not end after its message"
  wait "$pid"
  pid=
  ls "$tiny" | grep -q '^rez_sfx_' && fail "$caption left part of its temporary archive: $(ls "$tiny")"
  return 0
}
check "$hobbleton" "自解压程序"
check "$quarvel" "Marrowind Quarvel"
echo "self-extractors with a full temporary folder: ok"
