# Shared harness of the Wine integration tests. A test script sources it,
# calls tov_prefix, runs its checks, and ends with tov_done.
#
# Environment (set by CTest): TOV_WIN64_DIR, TOV_WIN32_DIR (the Windows build
# trees), TOV_WORK_DIR (the test's own scratch directory), TOV_SOURCE_DIR.
set -uo pipefail

: "${TOV_WIN64_DIR:?}" "${TOV_WIN32_DIR:?}" "${TOV_WORK_DIR:?}"
TOV_TOOL="$TOV_WIN64_DIR/TovMouseSetupCustomAction.exe"
TOV_SERVICE_EXE="$TOV_WIN32_DIR/TovMouseService.exe"
TOV_HELPERS="$TOV_WIN64_DIR/tests/wine/helpers"
TOV_FAILURES=0
TOV_CHECKS=0

export WINEDEBUG=-all
# No Mono or Gecko prompts in a fresh prefix.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

# The tests' stand-in difxapi.dll (helpers/fakedifx.cpp), and the overrides
# under which a native difxapi.dll (such as the stand-in) or none is loaded.
TOV_FAKE_DIFX="$TOV_HELPERS/fakedifx/difxapi.dll"
TOV_DIFX_NATIVE="$WINEDLLOVERRIDES;difxapi=n"
TOV_DIFX_NONE="$WINEDLLOVERRIDES;difxapi="
TOV_LOG="$TOV_WORK_DIR/log.txt"

# A kernel without 32-bit support (ia32 emulation switched off, as in some
# virtual machines) cannot start Wine's 32-bit loader, which the wine command
# prefers. There the tests run every program with the 64-bit loader, and the
# x64 build of the service (the same source, built by the win64 preset) stands
# in for the x86 one; test_pe.sh still checks the x86 program's file.
if ! wine --version >/dev/null 2>&1 && [ -x /usr/lib/wine/wine64 ]; then
  TOV_NO_I386="${TOV_WORK_DIR%/*}/wine64-only"
  mkdir -p "$TOV_NO_I386"
  # Tests running at once share the shims: each is written once, whole, by a rename.
  for shim in wine wine-stable; do
    [ -x "$TOV_NO_I386/$shim" ] && continue
    printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' >"$TOV_NO_I386/$shim.$$"
    chmod +x "$TOV_NO_I386/$shim.$$" && mv -f "$TOV_NO_I386/$shim.$$" "$TOV_NO_I386/$shim"
  done
  export PATH="$TOV_NO_I386:$PATH" WINELOADER=/usr/lib/wine/wine64
  TOV_SERVICE_EXE="$TOV_WIN64_DIR/TovMouseService.exe"
  echo "NOTE: this host runs no 32-bit programs: Wine's 64-bit loader only, the x64 service for the x86 one"
fi

# The example package $1 as this host runs it: $1 itself, or where no 32-bit
# program runs, the same package (with its ARM64 sibling beside it) rebuilt
# under $2 with the x64 service. Prints the package's path.
tov_host_msi() {
  if [ -z "${TOV_NO_I386:-}" ]; then
    echo "$1"
    return
  fi
  local version
  version=$(msiinfo export "$1" Property | tr -d '\r' | sed -n 's/^ProductVersion\t//p')
  mkdir -p "$2"
  cp "${1%.msi}-arm64.msi" "$2/" 2>/dev/null
  bash "$TOV_SOURCE_DIR/installer/build-msi.sh" "$2/${1##*/}" "$TOV_TOOL" "$TOV_SERVICE_EXE" "$version" >&2
  echo "$2/${1##*/}"
}

tov_note() { printf '  %s\n' "$*"; }

# A fresh prefix for this test. Building one takes several seconds, so the
# first test builds a template under the build tree and every test copies it.
tov_prefix() {
  local template="${TOV_WORK_DIR%/*}/template-prefix"
  rm -rf "$TOV_WORK_DIR"
  mkdir -p "$TOV_WORK_DIR"
  (
    flock 9
    if [ ! -f "$template/.complete" ]; then
      rm -rf "$template"
      WINEPREFIX="$template" wineboot -i >/dev/null 2>&1
      WINEPREFIX="$template" wineserver -w
      touch "$template/.complete"
    fi
  ) 9>"${template}.lock"
  cp -a "$template" "$TOV_WORK_DIR/prefix"
  export WINEPREFIX="$TOV_WORK_DIR/prefix"
  trap tov_cleanup EXIT
  wineserver -p 30
}

tov_cleanup() {
  tov_debug_stop 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
}

# Unix path of a Windows path in the prefix, and the other way round.
tov_unix() { winepath -u "$1" 2>/dev/null; }
tov_win() { winepath -w "$1" 2>/dev/null; }

# Runs a Windows command line (program first) with the current directory
# $1 (a Unix path) and stores the program's full 32-bit exit code, as a
# signed decimal, in TOV_EXIT, and its wall time in milliseconds in TOV_MS.
# TOV_LAUNCH_OPTS holds options of the launcher (helpers/tovlaunch.cpp),
# TOV_LAUNCH_ERR a file for wine's own output (default: none kept).
# When wine itself could not start the launcher (seen once with many wine
# processes starting at the same moment on a loaded machine), nothing ran:
# it is tried once more. A run that hangs is given up after two minutes.
tov_launch() {
  local dir="$1" line="$2" out attempt
  for attempt in 1 2; do
    out=$(cd "$dir" && timeout 120 wine "$TOV_HELPERS/tovlaunch.exe" ${TOV_LAUNCH_OPTS:-} "$line" 2>"${TOV_LAUNCH_ERR:-/dev/null}" | tr -d '\r')
    TOV_EXIT=$(printf '%s\n' "$out" | sed -n 's/^exit=//p' | tail -n 1)
    TOV_MS=$(printf '%s\n' "$out" | sed -n 's/^ms=//p' | tail -n 1)
    [ -n "$TOV_EXIT" ] && return 0
    printf 'note: the launcher did not run (%s)\n' "$out" >&2
  done
  TOV_EXIT="launch failed: $out"
}

# msiexec NAME ARGS..., quiet, in the work directory: its log msiexec-NAME.log,
# the lines the custom actions added to their log (Wine's msiexec starts them
# in C:\) as log-NAME.txt, the exit code in TOV_EXIT, seconds in TOV_SECONDS.
tov_msiexec() {
  local name="$1" log start before
  shift
  log="$(tov_unix 'C:\')/TovMouseSetup.log"
  before=$(stat -c %s "$log" 2>/dev/null || echo 0)
  start=$(date +%s.%N)
  tov_launch "$TOV_WORK_DIR" "msiexec $* /qn /l*v \"$(tov_win "$TOV_WORK_DIR")\\msiexec-$name.log\""
  TOV_SECONDS=$(awk "BEGIN { printf \"%.2f\", $(date +%s.%N) - $start }")
  tail -c +$((before + 1)) "$log" 2>/dev/null | tr -d '\r' >"$TOV_WORK_DIR/log-$name.txt"
}

# The service control manager's key=value answer through tovscm.exe (Wine's
# sc.exe has no "qc"); tov_scm_get KEY ARGS...: one value, "" when absent.
tov_scm() { wine "$TOV_HELPERS/tovscm.exe" "$@" 2>/dev/null | tr -d '\r'; }
tov_scm_get() { tov_scm "${@:2}" | sed -n "s/^$1=//p" | head -n 1; }

# Stops and deletes the named services: one left registered would start again
# with every wine command.
tov_remove_services() {
  local name
  for name in "$@"; do wine sc stop "$name" >/dev/null 2>&1; wine sc delete "$name" >/dev/null 2>&1; done
}

# Runs the setup tool (from $TOV_TOOL_WIN, default: the build tree) with one
# argument, in the Unix directory $1.
tov_tool() {
  local dir="$1" arg="$2"
  local exe="${TOV_TOOL_WIN:-$(tov_win "$TOV_TOOL")}"
  tov_launch "$dir" "\"$exe\" $arg"
}

# tov_run_exit WHAT EXIT DIR ARG: tov_run DIR ARG, checked to exit with EXIT.
tov_run_exit() { tov_run "$3" "$4"; tov_expect_eq "$1 exits $2" "$TOV_EXIT" "$2"; }

# The log file of directory $1 without its carriage returns.
tov_log() { tr -d '\r' <"$1/TovMouseSetup.log" 2>/dev/null; }

# tov_run DIR ARG: the setup tool run with a fresh log in the Unix directory
# DIR; the run's log, without carriage returns, in $TOV_LOG.
tov_run() {
  rm -f "$1/TovMouseSetup.log"
  tov_tool "$1" "$2"
  tov_log "$1" >"$TOV_LOG"
}

# Debugger output: every string of every process, one per line ("\n" for
# line feeds inside), in $TOV_WORK_DIR/debug.txt.
tov_debug_start() {
  TOV_DEBUG_FILE="$TOV_WORK_DIR/debug.txt"
  rm -f "$TOV_DEBUG_FILE" "$TOV_WORK_DIR/debug.ready" "$TOV_WORK_DIR/debug.stop"
  wine "$TOV_HELPERS/tovdbwin.exe" "$(tov_win "$TOV_DEBUG_FILE")" "$(tov_win "$TOV_WORK_DIR/debug.ready")" \
    "$(tov_win "$TOV_WORK_DIR/debug.stop")" >/dev/null 2>&1 &
  TOV_DEBUG_PID=$!
  local i
  for i in $(seq 1 1200); do
    [ -f "$TOV_WORK_DIR/debug.ready" ] && return 0
    sleep 0.05
  done
  tov_fail "debugger listener did not start"
}

tov_debug_stop() {
  [ -n "${TOV_DEBUG_PID:-}" ] || return 0
  touch "$TOV_WORK_DIR/debug.stop"
  wait "$TOV_DEBUG_PID" 2>/dev/null || true
  TOV_DEBUG_PID=
}

# --- checks -----------------------------------------------------------------

tov_fail() {
  TOV_FAILURES=$((TOV_FAILURES + 1))
  printf 'FAIL: %s\n' "$*"
}

# tov_result WHAT STATUS [WHY]: one check, passed when STATUS is 0.
tov_result() {
  TOV_CHECKS=$((TOV_CHECKS + 1))
  if [ "$2" -eq 0 ]; then printf 'ok: %s\n' "$1"; else tov_fail "$1${3:+: $3}"; fi
}

# tov_expect_eq WHAT ACTUAL EXPECTED
tov_expect_eq() { [ "$2" == "$3" ]; tov_result "$1" $? "got [$2], expected [$3]"; }

# tov_expect_true WHAT COMMAND...
tov_expect_true() { "${@:2}"; tov_result "$1" $?; }

# tov_expect_lines WHAT FILE LINE... : the lines occur in FILE in this order
# (each a whole line; other lines may come between them).
tov_expect_lines() {
  local what="$1" file="$2" want i=0
  local -a have
  mapfile -t have <"$file"
  shift 2
  for want in "$@"; do
    while [ $i -lt ${#have[@]} ] && [ "${have[$i]}" != "$want" ]; do i=$((i + 1)); done
    if [ $i -ge ${#have[@]} ]; then
      tov_result "$what" 1 "line not found in order: [$want]"
      printf '    | %s\n' "${have[@]}"
      return
    fi
    i=$((i + 1))
  done
  tov_result "$what" 0
}

# tov_expect_no_line WHAT FILE LINE : FILE has no such whole line.
# tov_expect_no_match WHAT FILE REGEX : no line of FILE matches the extended
# regular expression REGEX.
tov_expect_no_line() { tov_expect_none "$1" "$2" -xF "$3"; }
tov_expect_no_match() { tov_expect_none "$1" "$2" -E "$3"; }
tov_expect_none() {
  local found
  found=$(grep -m 1 "$3" -- "$4" "$2" 2>/dev/null)
  tov_result "$1" $((!$?)) "unexpected line [$found]"
}

tov_done() {
  printf '%d checks, %d failed\n' "$TOV_CHECKS" "$TOV_FAILURES"
  [ "$TOV_FAILURES" -eq 0 ]
}
