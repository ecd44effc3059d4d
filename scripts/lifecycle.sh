#!/usr/bin/env bash
# The whole lifecycle of the example installer in a throwaway Wine prefix:
# build everything (and sign it when TOV_SIGN_CERT and TOV_SIGN_KEY are
# set, see scripts/sign.sh), install TovMouse.msi silently with msiexec,
# show the files, the service and the trace log of the custom actions,
# uninstall, and show that nothing is left.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/install-deps.sh

echo "== Building both programs and the installer"
scripts/build.sh >/dev/null
scripts/sign.sh | sed 's/^/  /'
msi="$root/build/linux/installer/TovMouse.msi"
if [ ! -f "$msi" ]; then
  echo "FAILED: $msi was not built"
  exit 1
fi
echo "  $msi"

export TOV_WIN64_DIR="$root/build/win64" TOV_WIN32_DIR="$root/build/win32" TOV_SOURCE_DIR="$root"
export TOV_WORK_DIR="$root/build/lifecycle/run"
source tests/wine/lib.sh
# From here on every step is checked and reported; none stops the run.
set +e
echo "== Preparing a throwaway Wine prefix"
tov_prefix
echo "  $WINEPREFIX"

dir_win='C:\Program Files\Tov Mouse'
dir="$(tov_unix "$dir_win")"
log="$(tov_unix 'C:\')/TovMouseSetup.log"
problems=()

# msiexec with its full exit code, the time it took, and its log kept in
# the work directory.
msiexec() {
  local what="$1" start end seconds
  shift
  start=$(date +%s.%N)
  tov_launch "$TOV_WORK_DIR" "msiexec $* /qn /l*v \"$(tov_win "$TOV_WORK_DIR")\\msiexec-$what.log\""
  end=$(date +%s.%N)
  seconds=$(awk "BEGIN { printf \"%.2f\", $end - $start }")
  echo "  msiexec $* /qn: exit code $TOV_EXIT after ${seconds} s"
  if [ "$TOV_EXIT" != 0 ]; then problems+=("msiexec $what exited with $TOV_EXIT"); fi
}

# The service as the service control manager has it, through the tests'
# small SCM client (Wine's sc.exe has no "qc").
scm() { wine "$TOV_HELPERS/tovscm.exe" "$@" 2>/dev/null | tr -d '\r'; }
scm_get() {
  local key="$1"
  shift
  scm "$@" | sed -n "s/^$key=//p" | head -n 1
}
show_log() { tail -c +$(($1 + 1)) "$log" 2>/dev/null | tr -d '\r' | sed 's/^/  | /'; }
log_size() { stat -c %s "$log" 2>/dev/null || echo 0; }

echo "== Installing: msiexec /i TovMouse.msi"
msiexec install /i "\"$(tov_win "$msi")\""
# The service reports RUNNING from its own thread: wait for it (10 s at most).
state="$(scm_get state wait TovMouseService 4 10)"

echo "== Files in $dir_win"
if [ -d "$dir" ]; then
  find "$dir" -mindepth 1 -printf '  %9s  %f\n' | sort -k 2
else
  echo "  (no program folder)"
  problems+=("no program folder after the install")
fi

echo "== The service TovMouseService"
if [ "$(scm_get error config TovMouseService)" = 1060 ]; then
  echo "  not registered"
  problems+=("the service is not registered after the install")
else
  scm config TovMouseService | sed -n 's/^path=/  program path : /p; s/^start=2$/  start type   : automatic/p;
    s/^start=\(.*\)/  start type   : \1/p; s/^account=/  account      : /p'
  case "$state" in
    4) echo "  state        : RUNNING" ;;
    *) echo "  state        : ${state:-unknown} (not RUNNING)"
       problems+=("the service is not RUNNING after the install") ;;
  esac
fi

echo "== Trace log of the install's custom actions (C:\\TovMouseSetup.log)"
show_log 0
after_install=$(log_size)

echo "== Uninstalling: msiexec /x TovMouse.msi"
msiexec uninstall /x "\"$(tov_win "$msi")\""

echo "== Trace log of the uninstall's custom actions"
show_log "$after_install"

echo "== What is left"
if [ "$(scm_get error config TovMouseService)" = 1060 ]; then
  echo "  service TovMouseService: not registered"
else
  echo "  service TovMouseService: still registered"
  problems+=("the service is still registered")
  wine sc stop TovMouseService >/dev/null 2>&1 || true
  wine sc delete TovMouseService >/dev/null 2>&1 || true
fi
if [ -e "$dir" ]; then
  echo "  $dir_win: still there"
  find "$dir" | sed 's/^/    /'
  problems+=("the program folder is still there")
else
  echo "  $dir_win: gone"
fi

if [ ${#problems[@]} -eq 0 ]; then
  echo "== Done: installed, service running, uninstalled, nothing left behind."
else
  printf '  %s\n' "${problems[@]}"
  echo "== FAILED: ${#problems[@]} problem(s) in the lifecycle."
  exit 1
fi
