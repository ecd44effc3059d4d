#!/usr/bin/env bash
# Authenticode signing with osslsigncode (Debian package osslsigncode).
#
#   scripts/sign.sh            sign both programs of build/win64 and build/win32
#                              and those of build/win-arm64, rebuild the
#                              installers from them (build/linux), sign
#                              build/linux/installer/TovMouse.msi and
#                              TovMouse-arm64.msi
#   scripts/sign.sh FILE...    sign each .exe, .dll or .msi in place
#
# Environment:
#   TOV_SIGN_CERT           code-signing certificate, PEM or DER (in PEM, the
#                           intermediate certificates may follow the signer's)
#   TOV_SIGN_KEY            its private key, PEM or DER
#   TOV_SIGN_KEY_PASS_FILE  optional: a file holding the key's passphrase
#   TOV_SIGN_TIMESTAMP_URL  optional: an RFC 3161 time-stamp server, so that
#                           the signatures stay valid after the certificate
#                           expires (needs the network)
#   TOV_WIN64_DIR, TOV_WIN32_DIR, TOV_WIN_ARM64_DIR, TOV_LINUX_DIR
#                           optional: the build trees of the first form
#
# Without TOV_SIGN_CERT and TOV_SIGN_KEY the first form signs nothing and
# says so; the second form fails. The programs are signed before the
# installer is built, so that the package carries the signed programs.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

if [ -z "${TOV_SIGN_CERT:-}" ] || [ -z "${TOV_SIGN_KEY:-}" ]; then
  if [ $# -eq 0 ]; then
    echo "Not signing: TOV_SIGN_CERT and TOV_SIGN_KEY are not set."
    exit 0
  fi
  echo "$0: set TOV_SIGN_CERT and TOV_SIGN_KEY to sign" >&2
  exit 2
fi
for f in "$TOV_SIGN_CERT" "$TOV_SIGN_KEY" ${TOV_SIGN_KEY_PASS_FILE:+"$TOV_SIGN_KEY_PASS_FILE"}; do
  if [ ! -r "$f" ]; then
    echo "$0: cannot read $f" >&2
    exit 2
  fi
done

sign() {
  local file="$1" tmp="$1.signing"
  local args=(sign -certs "$TOV_SIGN_CERT" -key "$TOV_SIGN_KEY" -h sha256 -n "Tov Mouse")
  if [ -n "${TOV_SIGN_KEY_PASS_FILE:-}" ]; then args+=(-readpass "$TOV_SIGN_KEY_PASS_FILE"); fi
  if [ -n "${TOV_SIGN_TIMESTAMP_URL:-}" ]; then args+=(-ts "$TOV_SIGN_TIMESTAMP_URL"); fi
  rm -f "$tmp"
  # A file that is signed already gets the new signature in place of the old.
  if ! osslsigncode "${args[@]}" -in "$file" -out "$tmp" >"$tmp.out" 2>&1; then
    cat "$tmp.out" >&2
    rm -f "$tmp" "$tmp.out"
    echo "$0: signing $file failed" >&2
    return 1
  fi
  rm -f "$tmp.out"
  mv -f "$tmp" "$file"
  echo "Signed $file"
}

if [ $# -gt 0 ]; then
  for file in "$@"; do sign "$file"; done
  exit 0
fi

win64="${TOV_WIN64_DIR:-$root/build/win64}"
win32="${TOV_WIN32_DIR:-$root/build/win32}"
arm64="${TOV_WIN_ARM64_DIR:-$root/build/win-arm64}"
linux="${TOV_LINUX_DIR:-$root/build/linux}"
sign "$win64/TovMouseSetupCustomAction.exe"
sign "$win32/TovMouseService.exe"
sign "$arm64/TovMouseSetupCustomAction.exe"
sign "$arm64/TovMouseService.exe"
cmake --build "$linux" --target tov_installer tov_installer_arm64 >/dev/null
sign "$linux/installer/TovMouse.msi"
sign "$linux/installer/TovMouse-arm64.msi"
