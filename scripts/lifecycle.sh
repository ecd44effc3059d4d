#!/usr/bin/env bash
# The whole lifecycle of the example installer in a throwaway Wine prefix
# that, like a stock Windows, has no difxapi.dll (Wine's own is switched
# off): build everything (and sign it when TOV_SIGN_CERT and TOV_SIGN_KEY
# are set, see scripts/sign.sh), install TovMouse.msi silently with msiexec,
# show the files, the service, the driver package in the INF directory and
# the trace log of the custom actions, uninstall, and show what is left.
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
echo "  ${msi%.msi}-arm64.msi (the ARM64 package: the arm64 tests install it)"

export TOV_WIN64_DIR="$root/build/win64" TOV_WIN32_DIR="$root/build/win32" TOV_SOURCE_DIR="$root"
export TOV_WORK_DIR="$root/build/lifecycle/run"
source tests/wine/lib.sh
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;difxapi="
# From here on every step is checked and reported; none stops the run.
set +e
echo "== Preparing a throwaway Wine prefix"
tov_prefix
echo "  $WINEPREFIX"

dir_win='C:\Program Files\Tov Mouse'
dir="$(tov_unix "$dir_win")"
inf_dir="$(tov_unix 'C:\windows\inf')"
problems=()

msiexec() {
  tov_msiexec "$@"
  echo "  msiexec ${*:2} /qn: exit code $TOV_EXIT after $TOV_SECONDS s"
  if [ "$TOV_EXIT" != 0 ]; then problems+=("msiexec $1 exited with $TOV_EXIT"); fi
}
show_log() { sed 's/^/  | /' "$TOV_WORK_DIR/log-$1.txt"; }
service_absent() { [ "$(tov_scm_get error config TovMouseService)" = 1060 ]; }
# The copies of the package's INF in the INF directory, one path a line.
inf_copies() { for f in "$inf_dir"/*.inf; do cmp -s "$f" installer/sample/tovfiltr.inf && echo "$f"; done; }

echo "== Installing: msiexec /i TovMouse.msi"
msiexec install /i "\"$(tov_win "$msi")\""
# The service reports RUNNING from its own thread: wait for it (10 s at most).
state="$(tov_scm_get state wait TovMouseService 4 10)"

echo "== Files in $dir_win"
if [ -d "$dir" ]; then
  find "$dir" -mindepth 1 -printf '  %9s  %f\n' | sort -k 2
else
  echo "  (no program folder)"
  problems+=("no program folder after the install")
fi

echo "== The service TovMouseService"
if service_absent; then
  echo "  not registered"
  problems+=("the service is not registered after the install")
else
  tov_scm config TovMouseService | sed -n 's/^path=/  program path : /p; s/^start=2$/  start type   : automatic/p;
    s/^start=\(.*\)/  start type   : \1/p; s/^account=/  account      : /p'
  case "$state" in
    4) echo "  state        : RUNNING" ;;
    *) echo "  state        : ${state:-unknown} (not RUNNING)"
       problems+=("the service is not RUNNING after the install") ;;
  esac
fi

echo "== The driver package in C:\\windows\\inf (Windows names it oem<N>.inf; Wine keeps its own name if free)"
copies="$(inf_copies)"
if [ -n "$copies" ]; then
  while read -r f; do find "$inf_dir" -maxdepth 1 -iname "$(basename "${f%.*}").*" -printf '  %9s  %f\n'; done <<<"$copies"
else
  echo "  (no copy of the package's INF)"
  problems+=("the driver package is not in C:\\windows\\inf")
fi

echo "== Trace log of the install's custom actions (C:\\TovMouseSetup.log)"
show_log install

echo "== Uninstalling: msiexec /x TovMouse.msi"
msiexec uninstall /x "\"$(tov_win "$msi")\""

echo "== Trace log of the uninstall's custom actions"
show_log uninstall

echo "== What is left"
if service_absent; then
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
# Wine's copy keeps the INF's own name, where the uninstall's walk over the
# oem*.inf files does not look, and Wine gives any copy's own name as its
# original one: under Wine no uninstall can match the copy to the package.
left="nothing left behind"
while read -r f; do
  [ -n "$f" ] || continue
  echo "  C:\\windows\\inf\\${f##*/}: still there (Wine: the uninstall cannot match it)"
  left="nothing left behind but Wine's copy of the INF"
done <<<"$(inf_copies)"

if [ ${#problems[@]} -eq 0 ]; then
  echo "== Done: installed, service running, package in the INF directory, uninstalled, $left."
else
  printf '  %s\n' "${problems[@]}"
  echo "== FAILED: ${#problems[@]} problem(s) in the lifecycle."
  exit 1
fi
