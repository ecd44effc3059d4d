#!/usr/bin/env bash
# The driver package store under Wine: "-DriverPackageUninstall" deleting OEM
# INF and PNF files in C:\windows\inf, "-DriverPackageInstall" deleting the old
# driver file, and difxapi.dll missing (the Setup API's driver store calls
# stand in), planted in the current directory, or beside the tool.
#
# Facts of the host (Wine 8): its difxapi.dll is a stub whose install and
# uninstall return 0, whose DriverPackageGetPathW returns 1630 and which never
# calls the log callback; its SetupQueryInfOriginalFileInformationW gives the
# OEM INF file's own name. The uninstall token is therefore chosen as a prefix
# of OEM file names. A stand-in difxapi.dll (helpers/fakedifx.cpp) stands for
# a framework that logs and knows a package.
source "$(dirname "$0")/lib.sh"
tov_prefix

windir="$WINEPREFIX/drive_c/windows"
inf="$windir/inf"
drivers="$windir/system32/drivers"

run="$TOV_WORK_DIR/run"
log="$TOV_LOG"
install='-DriverPackageInstall,C:\pkg\tovfiltr.inf'
mkdir -p "$run" "$WINEPREFIX/drive_c/pkg"
printf '[Version]\r\nSignature="$Windows NT$"\r\nClass=Mouse\r\nProvider=Test\r\n' >"$WINEPREFIX/drive_c/pkg/tovfiltr.inf"

put_oem() {  # name [pnf]; no copy is the package INF byte for byte, which SetupCopyOEMInfW would reuse
  { cat "$WINEPREFIX/drive_c/pkg/tovfiltr.inf" && printf '; %s\r\n' "$1"; } >"$inf/$1.inf"
  [ -z "${2:-}" ] || printf 'PNF' >"$inf/$1.PNF"
}

tov_expect_true "the fresh prefix has no OEM INF file" bash -c '! ls "$1"/oem*.inf >/dev/null 2>&1' _ "$inf"

# --- Uninstall with Wine's difxapi.dll ------------------------------------------
put_oem oem7 pnf
put_oem oem70
put_oem oem8 pnf
tov_run_exit "uninstall" 0 "$run" "-DriverPackageUninstall,OEM7"
tov_expect_eq "oem7.inf and its PNF are deleted; oem70.inf (its name only begins with oem7) and oem8 stay" \
  "$(cd "$inf" && ls oem* | LC_ALL=C sort | paste -sd ' ')" "oem70.inf oem8.PNF oem8.inf"
tov_expect_lines "uninstall trace" "$log" ">>> TMSCAMainInternalDriverPackageUninstall" \
  "DifxApi::UninstallPackagesByOemInf"
# The search order of the directory is the file system's: one check per file.
for f in oem7 oem70 oem8; do
  tov_expect_lines "store path of $f.inf (1630 from Wine)" "$log" \
    "C:\\windows\\INF\\$f.infDriverPackageGetPath failed! 1630" "ERROR_UNSUPPORTED_TYPE" "SetupApi::OemInfFilesDelete"
  tov_expect_lines "$f.inf looked at for deletion" "$log" "SetupApi::OemInfFilesDelete" \
    "SetupApi::OemInfFilesDelete enumerating C:\\windows\\INF\\$f.inf "
done
tov_expect_no_match "no deletion error" "$log" DeleteOemInfFile
tov_expect_eq "the uninstall ends with its closing line" "$(tail -n 1 "$log")" "<<< TMSCAMainInternalDriverPackageUninstall"

# --- Install with Wine's difxapi.dll --------------------------------------------
tov_run_exit "install without an old driver file" 0 "$run" "$install"
tov_expect_lines "install without an old driver file" "$log" ">>> TMSCAMainInternalDriverPackageInstall" \
  "Utilities::UninstallPackagesByOemInf remove failed 2" "DifxApi::DriverPackageInstall InfFilePath: C:\\pkg\\tovfiltr.inf" \
  "<<< TMSCAMainInternalDriverPackageInstall"

# --- No difxapi.dll reachable: the Setup API's driver store calls ------------------
# Wine's SetupCopyOEMInfW keeps the INF's own name for the first copy (Windows:
# oem<N>.inf); its SetupUninstallOEMInfW deletes the INF alone, not its PNF.
stand_in="DifxApi::Framework difxapi.dll not available (126), driver store interface: SetupCopyOEMInfW and SetupUninstallOEMInfW"
printf 'old driver' >"$drivers/tovfiltr.sys"
WINEDLLOVERRIDES="$TOV_DIFX_NONE" tov_run_exit "install without difxapi.dll" 0 "$run" "$install"
tov_expect_true "the old driver file is gone" test ! -e "$drivers/tovfiltr.sys"
tov_expect_true "the package INF is copied into the INF directory" cmp -s "$WINEPREFIX/drive_c/pkg/tovfiltr.inf" "$inf/tovfiltr.inf"
tov_expect_true "with its PNF file" test -e "$inf/tovfiltr.pnf"
tov_expect_lines "install without difxapi.dll" "$log" ">>> TMSCAMainInternalDriverPackageInstall" "$stand_in" \
  "<<< TMSCAMainInternalDriverPackageInstall"

WINEDLLOVERRIDES="$TOV_DIFX_NONE" tov_run_exit "uninstall without difxapi.dll" 0 "$run" "-DriverPackageUninstall,oem8"
tov_expect_true "the OEM INF file is uninstalled" test ! -e "$inf/oem8.inf"
tov_expect_lines "uninstall without difxapi.dll" "$log" "$stand_in" "SetupApi::OemInfPackagesUninstall" \
  "SetupApi::OemInfPackagesUninstall uninstalling oem8.inf" "SetupApi::OemInfFilesDelete" \
  "<<< TMSCAMainInternalDriverPackageUninstall"
tov_expect_no_match "no store call failed" "$log" "OemInfPackagesUninstall.*failed"

# --- A difxapi.dll in the current directory is not loaded ---------------------------
# Without Wine's own file in the system directory, the default search order
# would reach the current directory and load the planted library.
rm -f "$windir/system32/difxapi.dll"
cp "$TOV_FAKE_DIFX" "$run/difxapi.dll"
WINEDLLOVERRIDES="$TOV_DIFX_NATIVE" tov_run_exit "a planted difxapi.dll is not used: the Setup API's install" 0 "$run" "$install"
tov_expect_no_match "a planted difxapi.dll never ran" "$log" fake
tov_expect_lines "the Setup API stands in" "$log" "$stand_in"
rm -f "$run/difxapi.dll"

# --- The stand-in framework beside the tool ----------------------------------------
app="$WINEPREFIX/drive_c/app"
mkdir -p "$app"
cp "$TOV_TOOL" "$TOV_FAKE_DIFX" "$app/"
export TOV_TOOL_WIN='C:\app\TovMouseSetupCustomAction.exe'
printf 'old driver' >"$drivers/tovfiltr.sys"
WINEDLLOVERRIDES="$TOV_DIFX_NATIVE" tov_run_exit "install through the framework beside the tool" 0 "$run" "$install"
tov_expect_true "the old driver file is gone again" test ! -e "$drivers/tovfiltr.sys"
tov_expect_lines "framework messages in the trace" "$log" \
  "DifxApi::DriverPackageInstall InfFilePath: C:\\pkg\\tovfiltr.inf" \
  "DIFXAPI_INFO:    fake install of C:\\pkg\\tovfiltr.inf with flags 0x14." \
  "DIFXAPI_WARNING: fake warning. Errorcode:  0 []" \
  "<<< TMSCAMainInternalDriverPackageInstall"
tov_expect_true "error line with the system's text for 2" \
  grep -qE '^DIFXAPI_ERROR:   fake error\.  Errorcode: 2 \[2 \(.+\)\]$' "$log"

TOVFAKEDIFX_INSTALL=E0000304 WINEDLLOVERRIDES="$TOV_DIFX_NATIVE" tov_run_exit "a failed package install" -1 "$run" "$install"
tov_expect_lines "failed package install" "$log" \
  "DifxApi::DriverPackageInstall DriverPackageInstall returned 0xe0000304." \
  "TMSCAMainInternalDriverPackageInstall DifxApi::DriverPackageInstall - Failed -536870140" \
  "TMSCAMainInternalDriverPackageInstall failed!"
TOVFAKEDIFX_INSTALL=E000020B WINEDLLOVERRIDES="$TOV_DIFX_NATIVE" tov_run_exit "no device to install on: the install" 0 "$run" "$install"

put_oem oem5 pnf
put_oem oem6 pnf
WINEDLLOVERRIDES="$TOV_DIFX_NATIVE" tov_run_exit "uninstall through the framework" 0 "$run" "-DriverPackageUninstall,tovFILTR"
store='C:\windows\System32\DriverStore\FileRepository\TovFiltr.inf_amd64_fake\TovFiltr.inf'
lowered='c:\windows\system32\driverstore\filerepository\tovfiltr.inf_amd64_fake\tovfiltr.inf'
tov_expect_lines "the package found through oem5.inf is removed" "$log" \
  "C:\\windows\\INF\\oem5.infDifxApi::UninstallPackagesByOemInf enumerating $store " \
  "DifxApi::UninstallPackagesByOemInf ---> uninstalling " \
  "DifxApi::DriverPackageUninstall InfFilePath: $lowered" \
  "DIFXAPI_SUCCESS: fake uninstall of $lowered with flags 0x24."
tov_expect_lines "oem6.inf is no package of the store" "$log" \
  "C:\\windows\\INF\\oem6.infDriverPackageGetPath failed! -536870142" "ERROR_DRIVER_PACKAGE_NOT_IN_STORE"
# Wine names oem5.inf by itself, which "tovFILTR" does not begin.
tov_expect_true "OEM INF files of other names stay" test -e "$inf/oem5.inf" -a -e "$inf/oem6.inf"

tov_done
