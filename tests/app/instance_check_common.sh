# What the process tests of the running instance share; a check sources it with its own
# arguments: QUARVEL_EXE PROBE_EXE APP_FIXTURE_FOLDER. The probe watches the program's window
# from outside. Runs under the Wine prefix and display that scripts/test set up.
exe=$1
probe=$2
fixtures=$3

first_pid=
# A check that ends early must not leave the running instance behind for the next test.
stop_first_instance() {
  if [ -n "$first_pid" ] && kill -0 "$first_pid" 2>/dev/null; then
    wine "$probe" close >/dev/null 2>&1
    sleep 1
    kill "$first_pid" 2>/dev/null
  fi
}
trap stop_first_instance EXIT
fail() { echo "FAIL: $*"; exit 1; }

# The first start becomes the running instance. It is given nothing to open: a hand-over
# that arrived while its own open still ran would be refused as busy.
start_first_instance() {
  wine "$exe" </dev/null >/dev/null 2>&1 &
  first_pid=$!
  wine "$probe" wait-window 60 || fail "the first instance shows no main window"
}

# Closes the running window and waits for the first instance to end; its exit code in $code.
close_first_instance() {
  wine "$probe" close || fail "no window to close"
  for _ in $(seq 100); do kill -0 "$first_pid" 2>/dev/null || break; sleep 0.2; done
  kill -0 "$first_pid" 2>/dev/null && fail "the first instance did not end after WM_CLOSE"
  wait "$first_pid"
  code=$?
  first_pid=
}
