#!/usr/bin/env bash
# The example installer under Wine's msiexec, in one fresh prefix: a package
# install that fails and rolls back, a silent install, a second install of
# the same package, and the uninstall, each checked by its exit code, the
# files, the service registration and the trace log of the custom actions.
#
# Wine's msiexec differs from Windows' where these checks depend on it:
# - it starts the custom actions' programs in C:\ (so TovMouseSetup.log is
#   C:\TovMouseSetup.log), and runs them as the calling user, who is an
#   administrator in a Wine prefix: no elevation, no LocalSystem;
# - a failed install ends with 1627 (ERROR_FUNCTION_FAILED) where Windows
#   gives 1603 (ERROR_INSTALL_FAILURE);
# - its rollback removes the files before it runs the rollback custom
#   actions, which then find no program to run (Windows runs them in
#   reverse order while the files are still there);
# - "msiexec /x" of a product that is not installed exits with 0 (Windows:
#   1605), so the uninstall is judged by what it removed.
source "$(dirname "$0")/lib.sh"

msi="${TOV_MSI:-${TOV_WORK_DIR%/tests/wine/*}/installer/TovMouse.msi}"
if [ ! -f "$msi" ]; then
  echo "FAIL: $msi is missing: build the win64 and win32 presets, then configure and build the linux one"
  exit 1
fi

tov_prefix
# Never leave the service registered: it would start with every wine command.
remove_service() {
  wine sc stop TovMouseService >/dev/null 2>&1
  wine sc delete TovMouseService >/dev/null 2>&1
}
trap 'remove_service; tov_cleanup' EXIT

echo "== The package's tables, as Windows Installer reads them"
# The custom actions between the standard actions, in sequence order.
msiinfo export "$msi" InstallExecuteSequence | tr -d '\r' | tail -n +4 | sort -t $'\t' -k 3 -n |
  cut -f 1 >"$TOV_WORK_DIR/sequence.txt"
tov_expect_lines "custom actions: sequence" "$TOV_WORK_DIR/sequence.txt" \
  InstallValidate RemoveExistingProducts InstallInitialize \
  TovServiceDeleteRollback TovServiceDelete TovDeviceInstancesUninstall \
  TovDriverPackageUninstallRollback TovDriverPackageUninstall TovReEnumerate RemoveFiles \
  InstallFiles TovDriverPackageInstallRollback TovDriverPackageInstall TovDriverUpdate \
  TovServiceCreateRollback TovServiceCreate InstallFinalize
# Types: 18 (program installed by the package) with 0x400 in script and
# 0x800 not impersonated; 0x40 ignores the exit code; 0x100 rollback only.
msiinfo export "$msi" CustomAction | tr -d '\r' | tail -n +4 | cut -f 1,2 | sort >"$TOV_WORK_DIR/types.txt"
tov_expect_eq "custom actions: types" "$(tr '\t' ' ' <"$TOV_WORK_DIR/types.txt" | paste -sd ' ')" \
  "$(printf '%s ' TovDeviceInstancesUninstall 3090 TovDriverPackageInstall 3090 \
    TovDriverPackageInstallRollback 3410 TovDriverPackageUninstall 3090 \
    TovDriverPackageUninstallRollback 3410 TovDriverUpdate 3154 TovReEnumerate 3154 \
    TovServiceCreate 3090 TovServiceCreateRollback 3410 TovServiceDelete 3090 \
    TovServiceDeleteRollback 3410 | sed 's/ $//')"

msi_win="$(tov_win "$msi")"
dir_win='C:\Program Files\Tov Mouse'
dir="$(tov_unix "$dir_win")"
log="$(tov_unix 'C:\')/TovMouseSetup.log"
files=(TovMouseSetupCustomAction.exe TovMouseService.exe tovfiltr.inf tovfiltr.sys)
product_code="$(msiinfo export "$msi" Property | tr -d '\r' | sed -n 's/^ProductCode\t//p')"
uninstall_key="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$product_code"

# msiexec with the full exit code in TOV_EXIT, its own log in the work
# directory, and the time it took in SECONDS_TAKEN.
msiexec() {
  local name="$1"
  shift
  local start end
  start=$(date +%s.%N)
  tov_launch "$TOV_WORK_DIR" "msiexec $* /qn /l*v \"$(tov_win "$TOV_WORK_DIR")\\msiexec-$name.log\""
  end=$(date +%s.%N)
  SECONDS_TAKEN=$(awk "BEGIN { printf \"%.2f\", $end - $start }")
}

# The lines that the log gained since the byte count $1.
log_since() { tail -c +$(($1 + 1)) "$log" | tr -d '\r'; }
log_size() { stat -c %s "$log" 2>/dev/null || echo 0; }

# The service as the service control manager has it (Wine's sc.exe has no
# "qc"): one key of the helper's key=value answer, "" when absent.
scm_get() {
  local key="$1"
  shift
  wine "$TOV_HELPERS/tovscm.exe" "$@" 2>/dev/null | tr -d '\r' | sed -n "s/^$key=//p" | head -n 1
}
# The service starts on its own thread after StartService returned: wait a
# bounded while for it to report RUNNING (4).
wait_running() { [ "$(scm_get state wait TovMouseService 4 10)" = 4 ]; }
service_absent() { [ "$(scm_get error config TovMouseService)" = 1060 ]; }
no_files() { [ ! -e "$dir" ]; }
# "wine reg" is the 32-bit reg.exe here: ask for the 64-bit registry view.
product_registered() { wine reg query "$uninstall_key" /reg:64 >/dev/null 2>&1; }
product_unregistered() { ! product_registered; }

echo "== A package install that fails rolls the install back"
# Without difxapi.dll the package cannot go into the driver store: the
# setup tool exits with -1 and the installer must undo everything.
before=$(log_size)
WINEDLLOVERRIDES="$WINEDLLOVERRIDES;difxapi=" msiexec failing /i "\"$msi_win\""
tov_expect_eq "failing install: msiexec exit code (Windows: 1603)" "$TOV_EXIT" 1627
log_since "$before" >"$TOV_WORK_DIR/log-failing.txt"
tov_expect_lines "failing install: the package install ran and failed" "$TOV_WORK_DIR/log-failing.txt" \
  "Parameter[0]: -DriverPackageInstall" "Parameter[1]:  $dir_win\\tovfiltr.inf" \
  ">>> TMSCAMainInternalDriverPackageInstall" "TMSCAMainInternalDriverPackageInstall failed!"
tov_expect_no_line "failing install: no driver update after the failure" "$TOV_WORK_DIR/log-failing.txt" \
  "Parameter[0]: -DriverUpdate"
tov_expect_no_line "failing install: no service creation after the failure" "$TOV_WORK_DIR/log-failing.txt" \
  "Parameter[0]: -ServiceCreate"
tov_expect_true "failing install: no program folder left" no_files
tov_expect_true "failing install: no service registered" service_absent
tov_expect_true "failing install: product not registered" product_unregistered

echo "== Silent install"
before=$(log_size)
msiexec install /i "\"$msi_win\""
install_seconds=$SECONDS_TAKEN
tov_expect_eq "install: msiexec exit code" "$TOV_EXIT" 0
for f in "${files[@]}"; do
  tov_expect_true "install: $f in place" test -f "$dir/$f"
done
tov_expect_true "install: the setup tool is the built one" cmp -s "$dir/TovMouseSetupCustomAction.exe" "$TOV_TOOL"
tov_expect_true "install: the service program is the built one" cmp -s "$dir/TovMouseService.exe" "$TOV_SERVICE_EXE"
tov_expect_true "install: product registered" product_registered
tov_expect_eq "install: service program path, quoted" "$(scm_get path config TovMouseService)" \
  "\"$dir_win\\TovMouseService.exe\""
tov_expect_eq "install: service starts automatically" "$(scm_get start config TovMouseService)" 2
tov_expect_true "install: service RUNNING" wait_running
log_since "$before" >"$TOV_WORK_DIR/log-install.txt"
tov_expect_lines "install: the custom actions' lines in order" "$TOV_WORK_DIR/log-install.txt" \
  "Parameter[0]: -DriverPackageInstall" "Parameter[1]:  $dir_win\\tovfiltr.inf" \
  ">>> TMSCAMainInternalDriverPackageInstall" \
  "DifxApi::DriverPackageInstall InfFilePath: $dir_win\\tovfiltr.inf" \
  "<<< TMSCAMainInternalDriverPackageInstall" \
  "Parameter[0]: -DriverUpdate" "Parameter[1]:  HID\\VID_0430&PID_0005&MI_01" "Parameter[2]:  NULL" \
  ">>> SetupApi::DriverUpdate" \
  "Parameter[0]: -ServiceCreate" "Parameter[1]:  TovMouseService" \
  "Service name TovMouseService" "Service filepath $dir_win\\TovMouseService.exe"
tov_expect_no_line "install: the service was created" "$TOV_WORK_DIR/log-install.txt" "ServiceCreate failed!"
tov_expect_no_line "install: no removal command ran" "$TOV_WORK_DIR/log-install.txt" "Parameter[0]: -ServiceDelete"
tov_expect_eq "install: three setup tool runs" "$(grep -c '^>>> _tWinMain$' "$TOV_WORK_DIR/log-install.txt")" 3

echo "== Installing the same package again changes nothing"
before=$(log_size)
msiexec again /i "\"$msi_win\""
tov_expect_eq "second install: msiexec exit code" "$TOV_EXIT" 0
tov_expect_eq "second install: no custom action ran" "$(log_since "$before")" ""
tov_expect_true "second install: service still RUNNING" wait_running
tov_expect_true "second install: files still in place" test -f "$dir/TovMouseSetupCustomAction.exe"

echo "== A newer version replaces the installed one"
# The same programs packed as the next patch version: the old product is
# removed first, its removal actions included, then the new one installed.
version="$(msiinfo export "$msi" Property | tr -d '\r' | sed -n 's/^ProductVersion\t//p')"
next="${version%.*}.$((${version##*.} + 1))"
newer="$TOV_WORK_DIR/TovMouse-$next.msi"
bash "$TOV_SOURCE_DIR/installer/build-msi.sh" "$newer" "$TOV_TOOL" "$TOV_SERVICE_EXE" "$next"
newer_win="$(tov_win "$newer")"
newer_code="$(msiinfo export "$newer" Property | tr -d '\r' | sed -n 's/^ProductCode\t//p')"
before=$(log_size)
msiexec upgrade /i "\"$newer_win\""
tov_expect_eq "upgrade: msiexec exit code" "$TOV_EXIT" 0
log_since "$before" >"$TOV_WORK_DIR/log-upgrade.txt"
tov_expect_lines "upgrade: the old product's removal, then the new one's install" "$TOV_WORK_DIR/log-upgrade.txt" \
  "Parameter[0]: -ServiceDelete" "Parameter[0]: -DeviceInstancesUninstall" \
  "Parameter[0]: -DriverPackageUninstall" "Parameter[0]: -ReEnumerate" \
  "Parameter[0]: -DriverPackageInstall" "Parameter[0]: -DriverUpdate" "Parameter[0]: -ServiceCreate"
tov_expect_no_line "upgrade: the service was created again" "$TOV_WORK_DIR/log-upgrade.txt" "ServiceCreate failed!"
tov_expect_true "upgrade: the old product is unregistered" product_unregistered
uninstall_key="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$newer_code"
tov_expect_true "upgrade: the new product is registered" product_registered
tov_expect_true "upgrade: service RUNNING" wait_running
tov_expect_true "upgrade: files in place" test -f "$dir/TovMouseSetupCustomAction.exe"

# Going back to the older version is refused before anything is done.
before=$(log_size)
msiexec downgrade /i "\"$msi_win\""
tov_expect_eq "downgrade: refused (ERROR_INSTALL_FAILURE)" "$TOV_EXIT" 1603
tov_expect_eq "downgrade: no custom action ran" "$(log_since "$before")" ""
tov_expect_true "downgrade: service still RUNNING" wait_running

echo "== Uninstall"
before=$(log_size)
msiexec uninstall /x "\"$newer_win\""
uninstall_seconds=$SECONDS_TAKEN
tov_expect_eq "uninstall: msiexec exit code" "$TOV_EXIT" 0
tov_expect_true "uninstall: service gone" service_absent
tov_expect_true "uninstall: program folder gone" no_files
tov_expect_true "uninstall: product unregistered" product_unregistered
log_since "$before" >"$TOV_WORK_DIR/log-uninstall.txt"
tov_expect_lines "uninstall: the custom actions' lines in order" "$TOV_WORK_DIR/log-uninstall.txt" \
  "Parameter[0]: -ServiceDelete" "Parameter[1]:  TovMouseService" ">>> TMScmApi::ServiceStop" \
  "Trying to delete service." \
  "Parameter[0]: -DeviceInstancesUninstall" "Parameter[1]:  HID\\VID_0430&PID_0005&MI_01" \
  ">>> SetupApi::DeviceInstancesUninstall" \
  "Parameter[0]: -DriverPackageUninstall" "Parameter[1]:  tovfiltr.inf" \
  ">>> TMSCAMainInternalDriverPackageUninstall" "<<< TMSCAMainInternalDriverPackageUninstall" \
  "Parameter[0]: -ReEnumerate" "<<< _tWinMain"
tov_expect_no_line "uninstall: no install command ran" "$TOV_WORK_DIR/log-uninstall.txt" "Parameter[0]: -ServiceCreate"

tov_note "install took ${install_seconds}s, uninstall ${uninstall_seconds}s (warm prefix)"
tov_done
