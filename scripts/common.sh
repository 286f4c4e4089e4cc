# Shared by scripts/test, scripts/run and the benchmarks: build folder, cross build,
# the Wine prefix inside the build folder and a private Xvfb display.
# Source it; it defines functions and QVL_* variables only.

QVL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
QVL_BUILD=${QVL_BUILD_DIR:-$QVL_ROOT/build}
QVL_STARTED_PIDS=()

qvl_build() {
  local gen=()
  command -v ninja >/dev/null && gen=(-G Ninja)
  if [ ! -f "$QVL_BUILD/CMakeCache.txt" ]; then
    cmake -S "$QVL_ROOT" -B "$QVL_BUILD" "${gen[@]}" \
      -DCMAKE_TOOLCHAIN_FILE="$QVL_ROOT/cmake/mingw-w64.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
  fi
  cmake --build "$QVL_BUILD" --parallel "$(nproc)" "$@"
}

# A Wine prefix private to this build folder, with a CJK font standing in for the
# Windows UI fonts and real folders in place of the links into the host's home.
# Everything started after it (tests, the program, benchmarks) runs in the users' locale:
# Wine takes the ANSI code page from it (936 under zh_CN, as on a Simplified Chinese
# Windows) and maps Chinese file names through it; scripts/setup generates it.
qvl_wine_start() {
  unset LC_ALL LC_CTYPE  # either would override LANG
  export LANG=zh_CN.UTF-8
  export WINEPREFIX="$QVL_BUILD/wineprefix" WINEDEBUG=-all WINEARCH=win64
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  # Marked ready only once it is whole: a prefix that came out broken stays broken for
  # every later run (Wine stamps it current before it installs anything).
  if [ ! -f "$WINEPREFIX/.qvl-ready" ] || ! qvl_wine_prefix_whole; then
    qvl_wine_make_prefix || return 1
    touch "$WINEPREFIX/.qvl-ready"
  fi
  # The CJK font lacks a few symbols the UI shows ("✗ 未安装"). Under a Chinese code page Wine
  # falls back through the links of "Microsoft Sans Serif", as Windows does through its own
  # font links: a font that has them goes there.
  if [ ! -f "$WINEPREFIX/.qvl-fontlink" ]; then
    DISPLAY= wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
      /v "Microsoft Sans Serif" /t REG_MULTI_SZ /d "DejaVuSans.ttf,DejaVu Sans" /f >/dev/null 2>&1 || true
    wineserver -w
    touch "$WINEPREFIX/.qvl-fontlink"
  fi
  # Checked at every start, not only when the prefix is made: a prefix update by a newer
  # Wine links the shell folders into the host's home again.
  qvl_wine_real_user_folders || return 1
  wineserver -p 2>/dev/null || true  # already up for this prefix is fine
  QVL_WINESERVER_STARTED=1
  # Start Wine's own services now, with no pipes attached: a service started by a
  # test would inherit its output pipe and keep ctest waiting for it to close.
  wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}

# Whether the prefix holds Windows' own files: a prefix whose setup stopped early has an
# empty system32, and every program started in it ends with "could not load kernel32.dll".
qvl_wine_prefix_whole() {
  [ -f "$WINEPREFIX/drive_c/windows/system32/kernel32.dll" ] &&
    [ -f "$WINEPREFIX/drive_c/windows/system32/user32.dll" ]
}

# Makes the prefix anew, with the CJK font standing in for the Windows UI fonts. Wine's
# own messages go to wineprefix.log in the build folder. Seen once, on the very first
# Wine start of a fresh machine: wineboot ended within a second having installed nothing.
# A setup that provably left the prefix without Windows' files is made once more (said
# on stderr, with what Wine said); a second failure ends the run.
qvl_wine_make_prefix() {
  local log="$QVL_BUILD/wineprefix.log" attempt
  : >"$log"
  for attempt in 1 2; do
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    echo "== wineboot -i, attempt $attempt, $(date -u '+%F %T')" >>"$log"
    DISPLAY= WINEDEBUG=err+all wineboot -i >>"$log" 2>&1 || true
    wineserver -w
    if qvl_wine_prefix_whole; then break; fi
    echo "Wine did not set up its prefix (attempt $attempt; system32 has no kernel32.dll). Wine said:" >&2
    tail -n 40 "$log" | sed 's/^/    /' >&2
    if [ "$attempt" -eq 2 ]; then return 1; fi
  done
  local reg="$QVL_BUILD/fonts.reg"
  cat >"$reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"Tahoma"="WenQuanYi Micro Hei"
"MS Shell Dlg"="WenQuanYi Micro Hei"
"MS Shell Dlg 2"="WenQuanYi Micro Hei"
"Microsoft YaHei UI"="WenQuanYi Micro Hei"
"Microsoft YaHei"="WenQuanYi Micro Hei"
"SimSun"="WenQuanYi Micro Hei"
"NSimSun"="WenQuanYi Micro Hei"
"Segoe UI"="WenQuanYi Micro Hei"
"Arial"="WenQuanYi Micro Hei"
"Courier New"="WenQuanYi Micro Hei Mono"
"Consolas"="WenQuanYi Micro Hei Mono"
REG
  DISPLAY= wine regedit "$reg" >>"$log" 2>&1 || true
  wineserver -w
}

# The user's shell folders (Desktop, Documents, ...) of a new prefix are symbolic links
# into the host's home: a shortcut a test puts on the desktop would land on the host's
# desktop. Each link becomes an empty real folder of the same name.
qvl_wine_real_user_folders() {
  local d
  for d in "$WINEPREFIX"/drive_c/users/*/*; do
    if [ -L "$d" ]; then rm -f "$d" && mkdir -p "$d"; fi
  done
  for d in "$WINEPREFIX"/drive_c/users/*/Desktop; do
    [ -e "$d" ] || continue
    if [ -L "$d" ] || [ ! -d "$d" ]; then
      echo "Wine prefix: $d is not a real folder" >&2
      return 1
    fi
  done
}

# Starts Xvfb on a free display. Xvfb picks the number itself (-displayfd) and says it once
# it accepts clients: two runs starting side by side never take the same display, which
# the one that stopped first would have closed under the other's tests.
qvl_xvfb_start() {
  local ready
  ready=$(mktemp "${TMPDIR:-/tmp}/qvl-xvfb.XXXXXX") || return 1
  Xvfb -displayfd 3 -screen 0 1280x960x24 -nolisten tcp 3>"$ready" >/dev/null 2>&1 &
  local pid=$!
  QVL_STARTED_PIDS+=("$pid")
  local i n=
  for i in $(seq 600); do
    if [ "$(wc -l <"$ready")" -ge 1 ]; then n=$(head -n 1 "$ready"); break; fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  rm -f "$ready"
  if [ -z "$n" ]; then
    echo "Xvfb did not start" >&2
    return 1
  fi
  export DISPLAY=":$n"
}

qvl_stop_all() {
  if [ -n "${QVL_WINESERVER_STARTED:-}" ]; then
    wineserver -k >/dev/null 2>&1 || true
  fi
  local pid
  for pid in "${QVL_STARTED_PIDS[@]}"; do
    kill "$pid" 2>/dev/null || true
  done
}
