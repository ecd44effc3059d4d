#!/usr/bin/env bash
# The setup tool's device commands under Wine, over devices that a helper
# creates in the prefix's device tree: "-DriverUpdate" with no device, with a
# device of another revision, with a device that has the filter already and
# with one that still needs it; then "-DeviceInstancesUninstall".
#
# Wine facts met here: a device created with SetupDiCreateDeviceInfoW is
# enumerated under "HID\VID_0430&PID_0005&MI_01" as present; an enumerator
# that names no device gives an empty set, not a failure; a device has no
# hardware key before a driver is installed (a rights test would fail), and
# no compatible driver;
# SetupDiSetClassInstallParamsW is a stub that returns FALSE without setting
# the last error. SetupDiSetSelectedDriverW crashes the process, so no run
# here gets that far.
source "$(dirname "$0")/lib.sh"
tov_prefix

device_id='HID\VID_0430&PID_0005&MI_01'
update="-DriverUpdate,$device_id,NULL"
rights='SetupApi::DriverUpdate not enough privileges (must be member of Admin group'
rev0101='HID\VID_0430&PID_0005&REV_0101&MI_01;HID\VID_0430&PID_0005&MI_01'
create() {  # WHAT N HARDWARE-IDS [FILTERS]: the helper creates the device $device_id\N
  tov_expect_eq "helper creates $1" "$(wine "$TOV_HELPERS/mkdevice.exe" create "$device_id\\$2" "${@:3}" 2>/dev/null |
    tr -d '\r')" "created $device_id\\$2"
}

# run NAME EXIT ARG: the tool run in a fresh directory $TOV_WORK_DIR/NAME,
# checked to exit with EXIT; its log, without the entry, banner and parameter
# lines, in $TOV_WORK_DIR/NAME.log.
run() {
  local dir="$TOV_WORK_DIR/$1"
  mkdir -p "$dir"
  tov_tool "$dir" "$3"
  tov_expect_eq "$1: exit code" "$TOV_EXIT" "$2"
  tov_log "$dir" | grep -v -e '^>>> _tWinMain$' -e '^Call: ' -e '^Parameter\[' >"$dir.log"
}

# --- no device -----------------------------------------------------------------
run none 0 "$update"
tov_expect_eq "no device: an empty set is walked" "$(cat "$TOV_WORK_DIR/none.log")" \
  ">>> SetupApi::DriverUpdate
SetupApi::DriverUpdate for-loop i: 0"

# --- another revision --------------------------------------------------------------
create "a device of revision 0102" 1 'HID\VID_0430&PID_0005&REV_0102&MI_01;HID\VID_0430&PID_0005&MI_01'
run revision 0 "$update"
tov_expect_lines "other revision: the no-match line shows the device ID" "$TOV_WORK_DIR/revision.log" \
  "SetupApi::DriverUpdate for-loop i: 0" \
  'comparing hardware IDs (HID\VID_0430&PID_0005&REV_0102&MI_01 == hid\vid_0430&pid_0005&rev_0101&mi_01)? Not equal!' \
  "SetupApi::DriverUpdate no match for hardware ID ($device_id)" \
  "SetupApi::DriverUpdate for-loop i: 1"

# --- filter already first -------------------------------------------------------------
create "a device with the filter" 2 "$rev0101" 'tovfiltr;kbdclass'
run done 0 "$update"
tov_expect_lines "filter in place: already-installed line" "$TOV_WORK_DIR/done.log" \
  "SetupApi::DriverUpdate for-loop i: 1" \
  'comparing hardware IDs (HID\VID_0430&PID_0005&REV_0101&MI_01 == hid\vid_0430&pid_0005&rev_0101&mi_01)? Equal!' \
  "DriverUpdate DeviceInfoSet.RegistryPropertyCompare driver already installed" \
  "SetupApi::DriverUpdate for-loop i: 2"
tov_expect_no_line "filter in place: no rights test" "$TOV_WORK_DIR/done.log" "$rights"

# --- a device that needs the driver -------------------------------------------------------
create "a device without the filter" 3 "$rev0101"
# The rights are tested at element 0 only: here the selection decides (Wine
# lists no compatible driver), and the run fails with 1, not 5.
run needed 1 "$update"
tov_expect_lines "a later device: the selection fails" "$TOV_WORK_DIR/needed.log" \
  "SetupApi::DriverUpdate for-loop i: 2" "SetupDiEnumDriverInfo failed. GetLastError returned: 259" \
  "SetupApi::DriverUpdate DeviceInfoSet.SelectedDriverSet failed! Index:2" "SetupApi::DriverUpdate failed!"
tov_expect_no_line "a later device: no rights test" "$TOV_WORK_DIR/needed.log" "$rights"

# --- removal ------------------------------------------------------------------------------
run uninstall 0 "-DeviceInstancesUninstall,$device_id"
log="$TOV_WORK_DIR/uninstall.log"
tov_expect_eq "removal: every device matches its device ID (its first hardware ID is shown)" \
  "$(grep -cE "^comparing hardware IDs \(HID.VID_0430&PID_0005&REV_010[12]&MI_01 == .*\)\? Equal!$" "$log")" 3
tov_expect_eq "removal: the stub fails for each device" \
  "$(grep -cE '^KRCCSetupApiInternalRemoveInstance SetupDiSetClassInstallParams failed! Error: -?[0-9]+$' "$log")" 3
tov_expect_eq "removal: each failure is traced and the walk goes on" \
  "$(grep -cxF 'SetupApi::DeviceInstancesUninstall DeviceInfoSet.DeviceRemove failed' "$log")" 3
tov_expect_eq "removal: the walk ends after the last device" "$(tail -n 1 "$log")" \
  "SetupApi::DeviceInstancesUninstall for-loop i: 3"
# Their instance keys under the enumerator's key in the registry.
tov_expect_eq "removal: the devices are still there" \
  "$(wine reg query "HKLM\\System\\CurrentControlSet\\Enum\\$device_id" 2>/dev/null | tr -d '\r' | grep -c '\\[123]$')" 3

tov_done
