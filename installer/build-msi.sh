#!/usr/bin/env bash
# Builds the example installer with wixl (Debian packages wixl and msitools).
#
#   installer/build-msi.sh OUT.msi SETUP_TOOL.exe SERVICE.exe VERSION [DIFXAPI.dll]
#
# SETUP_TOOL.exe is the 64-bit setup tool, SERVICE.exe the service (32-bit
# for x64, ARM64 for ARM64); DIFXAPI.dll, when given, is installed beside the
# setup tool. The package is for the setup tool's machine: x64, or ARM64,
# which wixl cannot name: it is built as x64 and then marked ARM64 by the
# Template of its summary information. The CMake build runs this into
# build/linux/installer/TovMouse.msi and TovMouse-arm64.msi, and so does
# scripts/sign.sh after signing the programs.
set -euo pipefail

if [ $# -lt 4 ] || [ $# -gt 5 ]; then
  echo "usage: $0 OUT.msi SETUP_TOOL.exe SERVICE.exe VERSION [DIFXAPI.dll]" >&2
  exit 2
fi
out="$1" setup_tool="$2" service="$3" version="$4" difxapi="${5:-}"
here="$(cd "$(dirname "$0")" && pwd)"

for f in "$setup_tool" "$service" ${difxapi:+"$difxapi"}; do
  if [ ! -f "$f" ]; then
    echo "$0: $f is missing (build the win64 and win32 presets first)" >&2
    exit 1
  fi
done

# The machine field of the setup tool's PE header.
pe_offset=$(od -An -tu4 -j60 -N4 "$setup_tool" | tr -d ' ')
case "$(od -An -tx2 -j$((pe_offset + 4)) -N2 "$setup_tool" | tr -d ' ')" in
8664) template= ;;
aa64) template='Arm64;1033' ;;
*) echo "$0: $setup_tool is no x64 or ARM64 program" >&2; exit 1 ;;
esac
# The driver package it carries needs a models section for that machine
# ([Manufacturer] names the decoration, and [<models>.<decoration>] exists):
# without one, no device there ever gets the driver.
inf="$here/sample/tovfiltr.inf" decoration=NTamd64
[ -z "$template" ] || decoration=NTarm64
manufacturer="$(sed -n '/^\[Manufacturer\]/,/^\[/{/^[^;[]*=/p}' "$inf" | tr -d ' \t\r')"
models="${manufacturer#*=}"
if ! grep -qiE ",$decoration(,|$)" <<<"$manufacturer" || ! grep -qiF "[${models%%,*}.$decoration]" "$inf"; then
  echo "$0: $inf has no $decoration models section: the package would reach no device of this machine" >&2
  exit 1
fi
if [ -n "$template" ] && [ -n "$difxapi" ]; then
  echo "$0: the Driver Install Frameworks have no ARM64 difxapi.dll" >&2
  exit 1
fi

# wixl finds sources only relative to its current directory: stage them.
out_abs="$(cd "$(dirname "$out")" && pwd)/$(basename "$out")"
stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
mkdir "$stage/sample"
cp "$setup_tool" "$stage/TovMouseSetupCustomAction.exe"
cp "$service" "$stage/TovMouseService.exe"
cp "$here/sample/tovfiltr.inf" "$here/sample/tovfiltr.sys" "$stage/sample/"
defines=(-D "Version=$version" -D SetupTool=TovMouseSetupCustomAction.exe -D Service=TovMouseService.exe
  -D SampleDir=sample)
if [ -n "$difxapi" ]; then
  cp "$difxapi" "$stage/difxapi.dll"
  defines+=(-D DifxApi=difxapi.dll)
fi

tmp="$out_abs.tmp"
rm -f "$tmp"
# wixl reports unsupported attributes as warnings only: treat them as errors,
# an attribute it ignores would change what the package does.
if ! (cd "$stage" && wixl -a x64 "${defines[@]}" -o "$tmp" "$here/TovMouse.wxs") 2>"$stage/wixl.err"; then
  cat "$stage/wixl.err" >&2
  rm -f "$tmp"
  exit 1
fi
if [ -s "$stage/wixl.err" ]; then
  cat "$stage/wixl.err" >&2
  echo "$0: wixl warned; no package from a source it does not fully understand" >&2
  rm -f "$tmp"
  exit 1
fi

# wixl 0.101 drops Execute="rollback": the rollback actions would come out as
# immediate actions and run at once. Give them their type: an installed exe
# (18), return code ignored (0x40), rollback (0x100), in script (0x400), not
# impersonated (0x800). Newer wixl versions write the same value.
msibuild "$tmp" -q "UPDATE CustomAction SET Type = 3410 WHERE \
Action = 'TovDriverPackageInstallRollback' OR Action = 'TovServiceCreateRollback' OR \
Action = 'TovServiceDeleteRollback' OR Action = 'TovDriverPackageUninstallRollback'"

# wixl 0.101 also drops IncludeMaximum: the upgrade entry would leave out the
# package's own version, and a rebuild of it would install beside the
# installed one. The entry is written again (its attributes are part of the
# table's key) with both bounds inclusive: 0x100 minimum, 0x200 maximum.
upgrade_code="$(msiinfo export "$tmp" Property | tr -d '\r' | sed -n 's/^UpgradeCode\t//p')"
msibuild "$tmp" -q "DELETE FROM Upgrade WHERE ActionProperty = 'WIX_UPGRADE_DETECTED'"
msibuild "$tmp" -q "INSERT INTO Upgrade (UpgradeCode, VersionMin, VersionMax, Attributes, ActionProperty) \
VALUES ('$upgrade_code', '0.0.0', '$version', 768, 'WIX_UPGRADE_DETECTED')"

# An ARM64 package must ask for Windows Installer 5.0, as TovMouse.wxs does
# (InstallerVersion 500). msibuild sets the subject and the author together
# with the template: they are given again as they are.
if [ -n "$template" ]; then
  suminfo="$(msiinfo suminfo "$tmp")"
  msibuild "$tmp" -s "$(sed -n 's/^Subject: //p' <<<"$suminfo")" "$(sed -n 's/^Author: //p' <<<"$suminfo")" "$template"
fi

mv -f "$tmp" "$out_abs"
