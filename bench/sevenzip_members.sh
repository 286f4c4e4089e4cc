#!/usr/bin/env bash
# Member reads from one solid LZMA 7z block of about 52 MB (40 pictures' worth of mixed
# data), as a folder of thumbnails asks for them. Prints the time of the first member (one
# folder decode), the average of the others and the number of decodes (1 is the aim).
# Usage: bench/sevenzip_members.sh
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../scripts/common.sh"
trap qvl_stop_all EXIT
qvl_build --target sevenzip_member_bench >/dev/null
qvl_wine_start >/dev/null 2>&1

work="$QVL_BUILD/bench-7z-members"
if [ ! -f "$work/solid.7z" ]; then
  rm -rf "$work"
  mkdir -p "$work/pics"
  python3 - "$work/pics" <<'PY'
import random, sys
r = random.Random(52)
for i in range(40):
    # Half noise, half repeats: LZMA has work to do on both.
    noise = r.randbytes(650_000)
    open(f"{sys.argv[1]}/p{i:02d}.tga", "wb").write(noise + noise[:650_000])
PY
  (cd "$work/pics" && 7z a -bd -bso0 -bsp0 -ms=on -m0=LZMA "$work/solid.7z" . >/dev/null)
fi
wine "$QVL_BUILD/bench/sevenzip_member_bench.exe" "$work/solid.7z" </dev/null
