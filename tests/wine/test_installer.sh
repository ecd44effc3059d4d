#!/usr/bin/env bash
# The example installer under Wine's msiexec in one fresh prefix with no
# difxapi.dll to load (Wine's own is switched off), as on a stock Windows:
# a failing install, install, reinstall, repair, upgrade, downgrade and two
# uninstalls, one without the setup tool, checked by exit code, files,
# service, INF directory and the trace log of the custom actions.
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
#   1605), so the uninstall is judged by what it removed;
# - "msiexec /i" of the installed package reinstalls every component (on
#   Windows it changes nothing); it has no "msiexec /f", so the repair is
#   asked for with the properties that /fa sets; and a running program's
#   file is not locked, so a repair is judged by the service's restart.
source "$(dirname "$0")/lib.sh"

msi="${TOV_MSI:-${TOV_WORK_DIR%/tests/wine/*}/installer/TovMouse.msi}"
if [ ! -f "$msi" ]; then
  echo "FAIL: $msi is missing: build the win64 and win32 presets, then configure and build the linux one"
  exit 1
fi

tov_prefix
msi="$(tov_host_msi "$msi" "$TOV_WORK_DIR")"
export WINEDLLOVERRIDES="$TOV_DIFX_NONE"
trap 'tov_remove_services TovMouseService; tov_cleanup' EXIT

echo "== The package's tables, as Windows Installer reads them"
table() { msiinfo export "$1" "$2" | tr -d '\r' | tail -n +4; }
# The actions in sequence order, the service actions moved next to the custom actions.
table "$msi" InstallExecuteSequence | sort -t $'\t' -k 3 -n | cut -f 1 >"$TOV_WORK_DIR/sequence.txt"
tov_expect_lines "actions: sequence" "$TOV_WORK_DIR/sequence.txt" \
  InstallValidate RemoveExistingProducts InstallInitialize \
  TovServiceDeleteRollback TovServiceDelete TovDeviceInstancesUninstall \
  TovDriverPackageUninstallRollback TovDriverPackageUninstall TovReEnumerate StopServices DeleteServices \
  RemoveFiles InstallFiles TovDriverPackageInstallRollback TovDriverPackageInstall TovDriverUpdate \
  TovServiceCreateRollback TovServiceCreate StartServices InstallFinalize
tov_expect_eq "StartServices: on repair and modify only" "$(table "$msi" InstallExecuteSequence | grep ^StartServices)" \
  $'StartServices\tInstalled AND NOT REMOVE\t5900'
# Types: 18 (program installed by the package) with 0x400 in script and
# 0x800 not impersonated; 0x40 ignores the exit code; 0x100 rollback only.
tov_expect_eq "custom actions: types" "$(table "$msi" CustomAction | cut -f 1,2 | sort | tr '\t\n' '  ')" \
  "$(printf '%s ' TovDeviceInstancesUninstall 3154 TovDriverPackageInstall 3090 \
    TovDriverPackageInstallRollback 3410 TovDriverPackageUninstall 3154 \
    TovDriverPackageUninstallRollback 3410 TovDriverUpdate 3154 TovReEnumerate 3154 \
    TovServiceCreate 3090 TovServiceCreateRollback 3410 TovServiceDelete 3154 TovServiceDeleteRollback 3410)"
# Events: start (1), stop (2) on install; stop (0x20), delete (0x80) on removal; waiting.
tov_expect_eq "service control entry" "$(table "$msi" ServiceControl)" \
  $'TovMouseServiceControl\tTovMouseService\t163\t\t1\tService'
tov_expect_eq "no difxapi.dll in the default package" "$(table "$msi" File | cut -f 3 | sort | paste -sd ' ')" \
  "TovMouseService.exe TovMouseSetupCustomAction.exe tovfiltr.inf tovfiltr.sys"

msi_win="$(tov_win "$msi")"
dir_win='C:\Program Files\Tov Mouse'
dir="$(tov_unix "$dir_win")"
inf_dir="$(tov_unix 'C:\windows\inf')"
product_code() { table "$1" Property | sed -n 's/^ProductCode\t//p'; }
uninstall_key="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$(product_code "$msi")"
version="$(table "$msi" Property | sed -n 's/^ProductVersion\t//p')"

ran_nothing() { [ ! -s "$TOV_WORK_DIR/log-$1.txt" ]; }
# The service starts on its own thread after StartService returned: wait a
# bounded while for it to report RUNNING (4).
wait_running() { [ "$(tov_scm_get state wait TovMouseService 4 10)" = 4 ]; }
service_absent() { [ "$(tov_scm_get error config TovMouseService)" = 1060 ]; }
# "wine reg" is the 32-bit reg.exe here: ask for the 64-bit registry view.
product_registered() { wine reg query "$uninstall_key" /reg:64 >/dev/null 2>&1; }
product_unregistered() { ! product_registered; }
has_files() { for f in TovMouseSetupCustomAction.exe TovMouseService.exe tovfiltr.inf tovfiltr.sys; do [ -f "$dir/$f" ] || return 1; done; }
# The copies of the package's INF in the INF directory: Wine's keeps the
# INF's own name when it is free (Windows: oem<N>.inf).
inf_copies() { for f in "$inf_dir"/*.inf; do cmp -s "$f" "$dir/tovfiltr.inf" && echo "${f##*/}"; done; }

expect_installed() {  # WHAT: exit code 0, files, product, service running
  tov_expect_eq "$1: msiexec exit code" "$TOV_EXIT" 0
  tov_expect_true "$1: files in place" has_files
  tov_expect_true "$1: product registered" product_registered
  tov_expect_true "$1: service RUNNING" wait_running
}
expect_removed() {  # WHAT: no service, no program folder, product unregistered
  tov_expect_true "$1: no service registered" service_absent
  tov_expect_true "$1: no program folder left" test ! -e "$dir"
  tov_expect_true "$1: product not registered" product_unregistered
}

echo "== A package install that fails rolls the install back"
# The same package with the optional difxapi.dll beside the tool: the
# tests' stand-in, whose install fails with the code in TOVFAKEDIFX_INSTALL.
# The tool exits -1 and the installer must undo everything.
with_difx="$TOV_WORK_DIR/TovMouse-difxapi.msi"
bash "$TOV_SOURCE_DIR/installer/build-msi.sh" "$with_difx" "$TOV_TOOL" "$TOV_SERVICE_EXE" "$version" "$TOV_FAKE_DIFX"
TOVFAKEDIFX_INSTALL=e0000247 WINEDLLOVERRIDES="$TOV_DIFX_NATIVE" tov_msiexec failing /i "\"$(tov_win "$with_difx")\""
tov_expect_eq "failing install: msiexec exit code (Windows: 1603)" "$TOV_EXIT" 1627
tov_expect_lines "failing install: the framework's package install ran and failed" "$TOV_WORK_DIR/log-failing.txt" \
  "Parameter[0]: -DriverPackageInstall" "Parameter[1]:  $dir_win\\tovfiltr.inf" \
  "DifxApi::DriverPackageInstall InfFilePath: $dir_win\\tovfiltr.inf" "TMSCAMainInternalDriverPackageInstall failed!"
tov_expect_eq "failing install: nothing ran after it" "$(grep -c '^>>> _tWinMain$' "$TOV_WORK_DIR/log-failing.txt")" 1
expect_removed "failing install"

echo "== Silent install, over a service of the same name left behind elsewhere"
# Its load-order group goes (Wine's sc.exe sets no dependency: the unit tests show those go too).
wine sc create TovMouseService binpath= 'C:\Old\TovMouseService.exe' group= Old >/dev/null 2>&1
tov_expect_eq "the leftover service runs another program, in a group" \
  "$(tov_scm config TovMouseService | grep -E '^(path|group)=' | paste -sd ' ')" 'path=C:\Old\TovMouseService.exe group=Old'
tov_msiexec install /i "\"$msi_win\""
install_seconds=$TOV_SECONDS
expect_installed "install"
tov_expect_true "install: the programs are the built ones" \
  bash -c 'cmp -s "$1/TovMouseSetupCustomAction.exe" "$2" && cmp -s "$1/TovMouseService.exe" "$3"' _ "$dir" "$TOV_TOOL" "$TOV_SERVICE_EXE"
tov_expect_eq "install: the product's configuration, program path quoted" "$(tov_scm config TovMouseService | paste -sd ' ')" \
  "type=0x110 start=2 error=0 path=\"$dir_win\\TovMouseService.exe\" account=LocalSystem display=TovMouseService"
tov_expect_true "install: the package's INF is in C:\\windows\\inf as $(inf_copies | paste -sd ' ')" test -n "$(inf_copies)"
tov_expect_lines "install: the custom actions' lines in order" "$TOV_WORK_DIR/log-install.txt" \
  "Parameter[0]: -DriverPackageInstall" "Parameter[1]:  $dir_win\\tovfiltr.inf" \
  ">>> TMSCAMainInternalDriverPackageInstall" "<<< TMSCAMainInternalDriverPackageInstall" \
  "Parameter[0]: -DriverUpdate" "Parameter[1]:  HID\\VID_0430&PID_0005&MI_01" "Parameter[2]:  NULL" \
  ">>> SetupApi::DriverUpdate" \
  "Parameter[0]: -ServiceCreate" "Parameter[1]:  TovMouseService" \
  "Service name TovMouseService" "Service filepath $dir_win\\TovMouseService.exe" "CreateService failed (1073)" \
  "TMScmApi::ServiceCreate TovMouseService exists: it is given this product's configuration"
tov_expect_eq "install: three setup tool runs" "$(grep -c '^>>> _tWinMain$' "$TOV_WORK_DIR/log-install.txt")" 3

echo "== Installing the same package again runs no custom action"
tov_msiexec again /i "\"$msi_win\""
expect_installed "second install"
tov_expect_true "second install: no custom action ran" ran_nothing again

echo "== A repair replaces the files with the service stopped"
pid=$(tov_scm_get pid status TovMouseService)
tov_msiexec repair /i "\"$msi_win\"" REINSTALL=ALL REINSTALLMODE=amus
expect_installed "repair"
tov_expect_true "repair: no custom action ran" ran_nothing repair
tov_expect_true "repair: the service was stopped and started again" \
  test "$(tov_scm_get pid status TovMouseService)" != "$pid"

echo "== A newer version replaces the installed one"
# The same programs packed as the next patch version: the old product is
# removed first, its removal actions included, then the new one installed.
newer="$TOV_WORK_DIR/TovMouse-next.msi"
next="${version%.*}.$((${version##*.} + 1))"
bash "$TOV_SOURCE_DIR/installer/build-msi.sh" "$newer" "$TOV_TOOL" "$TOV_SERVICE_EXE" "$next"
tov_msiexec upgrade /i "\"$(tov_win "$newer")\""
tov_expect_lines "upgrade: the old product's removal, then the new one's install" "$TOV_WORK_DIR/log-upgrade.txt" \
  "Parameter[0]: -ServiceDelete" "Parameter[0]: -DeviceInstancesUninstall" \
  "Parameter[0]: -DriverPackageUninstall" "Parameter[0]: -ReEnumerate" \
  "Parameter[0]: -DriverPackageInstall" "Parameter[0]: -DriverUpdate" "Parameter[0]: -ServiceCreate"
tov_expect_true "upgrade: the old product is unregistered" product_unregistered
uninstall_key="${uninstall_key%\\*}\\$(product_code "$newer")"
expect_installed "upgrade"

echo "== A rebuild of the installed version replaces it, never installs beside it"
rebuilt="$TOV_WORK_DIR/TovMouse-next-rebuilt.msi"
bash "$TOV_SOURCE_DIR/installer/build-msi.sh" "$rebuilt" "$TOV_TOOL" "$TOV_SERVICE_EXE" "$next"
tov_msiexec rebuild /i "\"$(tov_win "$rebuilt")\""
tov_expect_true "rebuild: the build it replaces is unregistered" product_unregistered
uninstall_key="${uninstall_key%\\*}\\$(product_code "$rebuilt")"
expect_installed "rebuild"

# Going back to the older version is refused before anything is done.
tov_msiexec downgrade /i "\"$msi_win\""
tov_expect_eq "downgrade: refused (ERROR_INSTALL_FAILURE)" "$TOV_EXIT" 1603
tov_expect_true "downgrade: no custom action ran" ran_nothing downgrade

echo "== Uninstall"
tov_msiexec uninstall /x "\"$(tov_win "$rebuilt")\""
uninstall_seconds=$TOV_SECONDS
tov_expect_eq "uninstall: msiexec exit code" "$TOV_EXIT" 0
expect_removed "uninstall"
# The service is stopped and deleted by the custom action, before the
# installer's own service actions would.
tov_expect_lines "uninstall: the custom actions' lines in order" "$TOV_WORK_DIR/log-uninstall.txt" \
  "Parameter[0]: -ServiceDelete" "Parameter[1]:  TovMouseService" ">>> TMScmApi::ServiceStop" \
  "Trying to delete service." \
  "Parameter[0]: -DeviceInstancesUninstall" "Parameter[1]:  HID\\VID_0430&PID_0005&MI_01" \
  ">>> SetupApi::DeviceInstancesUninstall" \
  "Parameter[0]: -DriverPackageUninstall" "Parameter[1]:  tovfiltr.inf" \
  ">>> TMSCAMainInternalDriverPackageUninstall" "<<< TMSCAMainInternalDriverPackageUninstall" \
  "Parameter[0]: -ReEnumerate" "<<< _tWinMain"
tov_expect_no_line "uninstall: the service stopped and deleted" "$TOV_WORK_DIR/log-uninstall.txt" "ServiceDelete failed!"

echo "== An install while another program holds a handle to the deleted service waits for it to go"
wine sc create TovMouseService binpath= 'C:\Old\TovMouseService.exe' >/dev/null 2>&1
tov_scm wait TovMouseService 4 8 >/dev/null &  # holds a handle to it for 8 s
sleep 2
wine sc delete TovMouseService >/dev/null 2>&1
uninstall_key="${uninstall_key%\\*}\\$(product_code "$msi")"
tov_msiexec reinstall /i "\"$msi_win\""
wait
expect_installed "install after the uninstall"
tov_expect_lines "install while held: -ServiceCreate waited for it" "$TOV_WORK_DIR/log-reinstall.txt" \
  "CreateService failed (1072)" "TMScmApi::ServiceCreate TovMouseService is marked for deletion: waiting for it to go"

echo "== An uninstall whose setup tool is gone still removes the service"
rm -f "$dir/TovMouseSetupCustomAction.exe"
tov_msiexec notool /x "\"$msi_win\""
tov_expect_eq "uninstall without the tool: msiexec exit code" "$TOV_EXIT" 0
tov_expect_true "uninstall without the tool: no custom action ran" ran_nothing notool
expect_removed "uninstall without the tool"

# The ARM64 package (Template Arm64;1033) is refused on x64 before anything runs.
tov_msiexec arm64 /i "\"$(tov_win "${msi%.msi}-arm64.msi")\""
tov_expect_eq "the ARM64 package on x64: ERROR_INSTALL_PLATFORM_UNSUPPORTED" "$TOV_EXIT" 1633

tov_note "install took ${install_seconds}s, uninstall ${uninstall_seconds}s (warm prefix)"
tov_done
