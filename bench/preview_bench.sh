#!/usr/bin/env bash
# Times the entry preview on large inputs (64 MiB text, 4096x4096 DXT5 texture, 32 MiB LTC
# that fits no scheme, 16 MiB game DAT files, 8 KiB scrambled-looking cfg noise, and cfg
# texts scrambled at a phase) under Wine. Prints one line per input (best and median of 5
# runs); exits non-zero when the slowest median is a second or more.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../scripts/common.sh"
trap qvl_stop_all EXIT
qvl_build --target preview_bench
qvl_wine_start
wine "$QVL_BUILD/bench/preview_bench.exe" --generated </dev/null
