#!/usr/bin/env bash
# CRC-32 throughput of the table road and of crc32_update (folding where the CPU has
# PCLMULQDQ), under Wine, with the machine's load beside it. Prints figures only.
# Usage: bench/crc32.sh [MiB=256] [runs=7]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../scripts/common.sh"
trap qvl_stop_all EXIT

qvl_build --target crc32_bench >/dev/null
qvl_wine_start
echo "load: $(uptime)"
wine "$QVL_BUILD/bench/crc32_bench.exe" "${1:-256}" "${2:-7}"
echo "load: $(uptime)"
