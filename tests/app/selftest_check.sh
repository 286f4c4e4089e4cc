#!/usr/bin/env bash
# Runs "Quarvel.exe --selftest" under Wine on a passing and a failing archive and checks
# the exit codes and the log blocks in the temporary folder.
# usage: selftest_check.sh QUARVEL_EXE FIXTURE_FOLDER
set -u
exe=$1
fx=$2
fail() { echo "FAIL: $*"; exit 1; }

win_temp=$(wine cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')
[ -n "$win_temp" ] || fail "no Windows temp folder"
log=$(winepath -u "$win_temp\\qvl_selftest.log" 2>/dev/null)
[ -n "$log" ] || fail "cannot map $win_temp"
rm -f "$log"

good=$(winepath -w "$fx/selftest/engine.rez" 2>/dev/null)
bad=$(winepath -w "$fx/nobutes/engine.rez" 2>/dev/null)
good_dir=${good%\\*}

timeout 120 wine "$exe" --selftest "$good" </dev/null >/dev/null 2>&1
rc=$?
[ "$rc" -eq 0 ] || fail "passing archive gave exit code $rc"
[ -f "$log" ] || fail "no log at $log"
tr -d '\r' <"$log" >"$log.txt"
grep -qx "=== selftest begin ===" "$log.txt" || fail "no begin line"
grep -qxF "rez_path=[$good]" "$log.txt" || fail "no rez_path line"
grep -qxF "after open current_path=[]" "$log.txt" || fail "open line"
grep -qxF "after nav current_path=[REZ\\BUTES]" "$log.txt" || fail "nav line"
grep -qxF "after up1 current_path=[REZ]" "$log.txt" || fail "up1 line"
grep -qxF "after up2 current_path=[]" "$log.txt" || fail "up2 line"
grep -qxF "after up3 fs_mode=1 fs_root=[$good_dir]" "$log.txt" || fail "up3 line"
grep -qx "SELFTEST PASS" "$log.txt" || fail "no pass line"
# Lines end in CR LF (text mode).
[ "$(head -c 200 "$log" | grep -c $'\r')" -ge 1 ] || fail "log lines are not CR LF"

timeout 120 wine "$exe" --selftest "$bad" </dev/null >/dev/null 2>&1
rc=$?
[ "$rc" -eq 1 ] || fail "failing archive gave exit code $rc"
tr -d '\r' <"$log" >"$log.txt"
# The second run appends a second block and still logs every step after the failure.
[ "$(grep -cx '=== selftest begin ===' "$log.txt")" -eq 2 ] || fail "runs do not accumulate"
tail -n 8 "$log.txt" | grep -qxF "after nav current_path=[]" || fail "failing nav line"
tail -n 8 "$log.txt" | grep -q "^after up3 fs_mode=" || fail "steps after the failure missing"
[ "$(tail -n 1 "$log.txt")" = "SELFTEST FAIL" ] || fail "no fail line"
rm -f "$log.txt"
echo "selftest process checks passed"
