#!/usr/bin/env bash
# The ARM64 package under arm64 Wine: a silent install (arm64 Wine leaves
# ProgramFiles64Folder empty, so the folder is C:\Tov Mouse) with the ARM64
# programs, the ARM64 service registered by the setup tool and running, then
# the uninstall: the service stopped and deleted, the folder gone.
source "$(dirname "$0")/lib.sh"
tov_prefix
trap 'tov_remove_services TovMouseService; tov_cleanup' EXIT
msi="${TOV_WORK_DIR%/tests/wine/*}/installer/TovMouse-arm64.msi"
dir_win='C:\Tov Mouse'
dir="$(tov_unix "$dir_win")"

tov_msiexec install /i "\"$(tov_win "$msi")\""
tov_expect_eq "install exits 0 ($TOV_SECONDS s)" "$TOV_EXIT" 0
tov_expect_true "install: the ARM64 programs in $dir_win" \
  bash -c 'cmp -s "$1/TovMouseSetupCustomAction.exe" "$2" && cmp -s "$1/TovMouseService.exe" "$3"' _ "$dir" "$TOV_TOOL" "$TOV_SERVICE_EXE"
tov_expect_eq "install: the service runs" "$(tov_scm_get state wait TovMouseService 4 10)" 4
tov_expect_eq "install: its program path, quoted" "$(tov_scm_get path config TovMouseService)" "\"$dir_win\\TovMouseService.exe\""
tov_expect_lines "install: the setup tool created the service" "$TOV_WORK_DIR/log-install.txt" \
  "Parameter[0]: -ServiceCreate" "Service filepath $dir_win\\TovMouseService.exe"
tov_expect_no_match "install: without a failure" "$TOV_WORK_DIR/log-install.txt" 'ServiceCreate failed|Unable to start service'

tov_msiexec uninstall /x "\"$(tov_win "$msi")\""
tov_expect_eq "uninstall exits 0 ($TOV_SECONDS s)" "$TOV_EXIT" 0
tov_expect_lines "uninstall: the setup tool stopped and deleted the service" "$TOV_WORK_DIR/log-uninstall.txt" \
  "Parameter[0]: -ServiceDelete" ">>> TMScmApi::ServiceStop" "Trying to delete service." "<<< _tWinMain"
tov_expect_no_line "uninstall: no failure to delete it" "$TOV_WORK_DIR/log-uninstall.txt" "ServiceDelete failed!"
tov_expect_eq "uninstall: the service is gone" "$(tov_scm_get error config TovMouseService)" 1060
tov_expect_true "uninstall: the folder is gone" test ! -e "$dir"
tov_done
