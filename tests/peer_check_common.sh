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

# The files below folder $1 as "relative-name<TAB>content" lines, names lower-cased (REZ may
# store them upper-cased), sorted.
peer_listing() {
  (cd "$1" && find . -type f | sed 's|^\./||' | sort | while read -r f; do
    printf '%s\t%s\n' "$(printf '%s' "$f" | tr 'A-Z' 'a-z')" "$(cat "$f")"
  done) | sort
}

# peer_check_zip_and_7z ZIP SEVENZIP EXPECTED_LISTING
# unzip and 7z must test both archives and give back exactly the files of the listing.
peer_check_zip_and_7z() {
  local z=$1 s=$2 expected=$3 name
  name=$(basename "$z")
  unzip -t "$z" >/dev/null 2>&1 || fail "$name: unzip -t"
  mkdir -p "$work/zip_out"
  unzip -q -o "$z" -d "$work/zip_out" >/dev/null 2>&1 || fail "$name: unzip"
  [ "$(peer_listing "$work/zip_out")" = "$expected" ] ||
    fail "$name: files $(peer_listing "$work/zip_out" | tr '\n\t' '; ')"
  name=$(basename "$s")
  7z t "$s" >/dev/null 2>&1 || fail "$name: 7z t"
  7z x -y -o"$work/7z_out" "$s" >/dev/null 2>&1 || fail "$name: 7z x"
  [ "$(peer_listing "$work/7z_out")" = "$expected" ] ||
    fail "$name: files $(peer_listing "$work/7z_out" | tr '\n\t' '; ')"
}

# Ends the check: fails when any check did, else says what passed.
peer_check_end() {
  if [ $failures -ne 0 ]; then
    echo "$failures peer check(s) failed"
    exit 1
  fi
  echo "$1"
}
