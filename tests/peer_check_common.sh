# The start and the end every peer check shares; a check sources it. The archives under test
# are written by test cases of ours run under Wine, then the real tools (unzip, 7z) judge them.

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# peer_check_start OUT_VARIABLE GTEST_FILTER LOG_NAME WHAT <test program> <fixtures folder> <work folder>
# Empties the work folder (global $work; also sets $exe and $fixtures) and runs the cases that
# FILTER names with OUT_VARIABLE pointing at it. When they fail or skip, the check has nothing
# to judge: it prints their log and ends.
peer_check_start() {
  local out_variable=$1 filter=$2 log=$3 what=$4
  exe=${5:?test program}
  fixtures=${6:?fixtures folder}
  work=${7:?work folder}
  rm -rf "$work"
  mkdir -p "$work"
  env QVL_FIXTURES="$fixtures" "$out_variable=$work" wine "$exe" --gtest_filter="$filter" >"$work/$log" 2>&1
  local rc=$?
  if [ $rc -ne 0 ] || grep -q SKIPPED "$work/$log"; then
    cat "$work/$log"
    echo "FAIL: $what did not run cleanly (exit $rc)"
    exit 1
  fi
}

# Ends the check: fails when any check did, else says what passed.
peer_check_end() {
  if [ $failures -ne 0 ]; then
    echo "$failures peer check(s) failed"
    exit 1
  fi
  echo "$1"
}
