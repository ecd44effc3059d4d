#!/usr/bin/env bash
# Each program's PE file, read with llvm-readobj (GNU objdump reads no ARM64):
# machine, file characteristics, OS and subsystem versions 6.2 (Windows 8),
# subsystem, DllCharacteristics (0x8000 Terminal-Server aware, 0x100 NX, 0x40
# ASLR, 0x20 high entropy), version (16) and manifest (24) resources; at most
# 400 KB; system DLL imports only (api-ms-win-crt-*: the UCRT of Windows 10
# and 11).
source "$(dirname "$0")/lib.sh"
system='^(KERNEL32|ADVAPI32|USER32|SHELL32|SHLWAPI|SETUPAPI|msvcrt|api-ms-win-crt-[a-z]+-l1-1-0)\.dll$'
while read -r exe facts; do
  pe="$(llvm-readobj --file-headers --coff-imports --coff-resources "$exe")"
  tov_expect_eq "$exe: headers and resources" "$(sed -nE 's/^ *(Machine|Characteristics|Subsystem|Type).*\(([^()]*)\).*/\2/p
    s/^ *M(aj|in)or(OperatingSystem|Subsystem)Version: //p' <<<"$pe" | paste -sd ' ')" "$facts"
  tov_expect_eq "$exe: imports of system DLLs only" "$(sed -n 's/^  Name: //p' <<<"$pe" | grep -vE "$system")" ""
  tov_expect_true "$exe: at most 400 KB" test "$(stat -c %s "$exe")" -le 409600
done <<EOF
$TOV_WIN64_DIR/TovMouseSetupCustomAction.exe 0x8664 0x22E 6 2 6 2 0x2 0x8160 ID 16 ID 24
$TOV_WIN32_DIR/TovMouseService.exe 0x14C 0x30E 6 2 6 2 0x3 0x8140 ID 16 ID 24
$TOV_WIN64_CLANG_DIR/TovMouseSetupCustomAction.exe 0x8664 0x22 6 2 6 2 0x2 0x8160 ID 16 ID 24
$TOV_WIN_ARM64_DIR/TovMouseSetupCustomAction.exe 0xAA64 0x22 6 2 6 2 0x2 0x8160 ID 16 ID 24
$TOV_WIN_ARM64_DIR/TovMouseService.exe 0xAA64 0x22 6 2 6 2 0x3 0x8160 ID 16 ID 24
EOF
tov_done
