#!/usr/bin/env bash
# usage: disk_full_check.sh APP_TESTS_EXE FIXTURES_FOLDER
# Mounts a 512 KiB file system, fills most of it, and runs the DiskFull cases with
# QVL_FULL_DISK naming a folder on it. Exit 77 (skipped) when no file system can be mounted.
set -uo pipefail
exe=${1:?test program}
fixtures=${2:?fixtures folder}

mnt=$(mktemp -d)
cleanup() {
  mountpoint -q "$mnt" && umount "$mnt"
  rmdir "$mnt" 2>/dev/null
}
trap cleanup EXIT
if ! mount -t tmpfs -o size=512k,mode=0777 qvl_full "$mnt" 2>/dev/null; then
  echo "SKIP: a small file system cannot be mounted here"
  exit 77
fi
mkdir -p "$mnt/out"
head -c 200000 /dev/zero >"$mnt/filler" 2>/dev/null
folder=$(winepath -w "$mnt/out")
log=$(mktemp)
env QVL_FIXTURES="$fixtures" QVL_FULL_DISK="$folder" wine "$exe" --gtest_filter='DiskFull.*' >"$log" 2>&1
rc=$?
cat "$log"
if [ $rc -ne 0 ] || grep -q SKIPPED "$log"; then
  rm -f "$log"
  echo "FAIL: the disk-full cases did not pass (exit $rc)"
  exit 1
fi
rm -f "$log"
echo "disk-full check passed"
