#!/usr/bin/env bash
# A short demonstration of the setup tool under Wine in a throwaway prefix:
# each command with its exit code, then the trace log they wrote.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/install-deps.sh
scripts/build.sh >/dev/null

export TOV_WIN64_DIR="$root/build/win64" TOV_WIN32_DIR="$root/build/win32" TOV_SOURCE_DIR="$root"
export TOV_WORK_DIR="$root/build/demo/run"
source tests/wine/lib.sh
echo "== Preparing a throwaway Wine prefix"
tov_prefix

# The programs go where an installer puts them: a directory with a blank.
install_win='C:\Program Files\Tov Mouse'
install_unix="$(tov_unix "$install_win")"
mkdir -p "$install_unix"
cp "$TOV_TOOL" "$TOV_SERVICE_EXE" "$install_unix/"
export TOV_TOOL_WIN="$install_win\\TovMouseSetupCustomAction.exe"
work="$TOV_WORK_DIR/cwd"
mkdir -p "$work"

run() {
  tov_tool "$work" "$1"
  printf '  %-60s exit code %s\n' "$1" "$TOV_EXIT"
}

echo "== Running the setup tool's commands"
run "-DriverPackageInstall,C:\\windows\\inf\\tovmouse-sample.inf"
run "-DriverUpdate,HID\\VID_0430&PID_0005&MI_01,NULL"
run "-ServiceCreate,TovMouseService"
sleep 1
echo "== The service as the service control manager sees it"
wine sc qc TovMouseService 2>/dev/null | tr -d '\r' | sed -n 's/^ *\(SERVICE_NAME\|BINARY_PATH_NAME\|START_TYPE\|SERVICE_START_NAME\).*/&/p' | sed 's/^/  /'
wine sc query TovMouseService 2>/dev/null | tr -d '\r' | grep -E 'STATE' | sed 's/^/  /'
run "-ServiceDelete,TovMouseService"
run "-DeviceInstancesUninstall,HID\\VID_0430&PID_0005&MI_01"
run "-DriverPackageUninstall,tovmouse-sample.inf"
run "-ReEnumerate"

echo "== The trace log ($work/TovMouseSetup.log)"
tov_log "$work" | sed 's/^/  | /'
echo "== Done: the setup tool ran every command under Wine."
