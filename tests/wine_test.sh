#!/usr/bin/env bash
# Runs one test program under Wine for ctest (the test programs' emulator): wine_test.sh PROGRAM ARGS...
#
# - The program's output goes to private files, copied to ctest once Wine has exited. Wine
#   starts its desktop process (explorer.exe) and other helpers on demand from whichever
#   process first needs them, and they inherit that process's Unix stdout and stderr: given
#   ctest's pipe, one of them kept a finished case waiting until it timed out.
# - Wine's error messages are kept for the record (WINEDEBUG=-all,err+all), so a failing case
#   shows what Wine itself said.
# - The test program's main (tests/test_main.cpp) first writes the file named in
#   QVL_TEST_STARTED. A run that ends without that file never reached the program: Wine
#   failed to start it. Such a run, and only such a run, is started once more, and it is
#   written to wine-start-failures.log beside the program with Wine's exit code and messages.
#   A run that reached main is never repeated, whatever its result.
set -u
program=${1:?usage: wine_test.sh PROGRAM ARGS...}
log="$(cd "$(dirname "$program")" && pwd)/wine-start-failures.log"
work=$(mktemp -d "${TMPDIR:-/tmp}/qvl-wine-test.XXXXXX") || exit 1
child=
trap 'rm -rf "$work"' EXIT
trap '[ -n "$child" ] && kill "$child" 2>/dev/null; exit 143' TERM INT HUP

export WINEDEBUG=-all,err+all
export QVL_TEST_STARTED="Z:${work//\//\\}\\started"

run_once() {
  rm -f "$work/started" "$work/out" "$work/err"
  wine "$@" >"$work/out" 2>"$work/err" &
  child=$!
  wait "$child"
  rc=$?
  child=
}

run_once "$@"
if [ ! -e "$work/started" ]; then
  {
    echo "$(date -u '+%F %T') $* : Wine exited with $rc before the test program's main; started again"
    sed 's/^/    /' "$work/err"
  } >>"$log"
  echo "wine_test.sh: the test program did not start (Wine exited with $rc, messages below); started again" >&2
  sed 's/^/    /' "$work/err" >&2
  run_once "$@"
  if [ ! -e "$work/started" ]; then
    echo "$(date -u '+%F %T') $* : did not start on the second try either (Wine exited with $rc)" >>"$log"
    echo "wine_test.sh: the test program did not start on the second try either (Wine exited with $rc)" >&2
    [ "$rc" -eq 0 ] && rc=1
  fi
fi
cat "$work/out"
cat "$work/err" >&2
exit "$rc"
