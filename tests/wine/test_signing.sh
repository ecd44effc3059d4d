#!/usr/bin/env bash
# Signing round trip with a throwaway self-signed certificate: both programs
# signed, the installer built from the signed programs and signed itself,
# every signature verified with osslsigncode against that certificate, also
# the programs inside the package. Needs the Windows builds but not Wine.
source "$(dirname "$0")/lib.sh"
: "${TOV_SOURCE_DIR:?}"

sign="$TOV_SOURCE_DIR/scripts/sign.sh"
work="$TOV_WORK_DIR"
rm -rf "$work"
mkdir -p "$work/keys" "$work/extract"

# A code-signing certificate whose key is protected by a passphrase.
printf 'throwaway passphrase\n' >"$work/keys/pass"
openssl req -x509 -newkey rsa:2048 -sha256 -days 2 -subj "/CN=Tov Mouse test signing" \
  -addext "extendedKeyUsage=codeSigning" -keyout "$work/keys/key.pem" -out "$work/keys/cert.pem" \
  -passout "file:$work/keys/pass" >/dev/null 2>&1
tov_expect_true "throwaway certificate made" test -s "$work/keys/cert.pem"

cp "$TOV_TOOL" "$work/TovMouseSetupCustomAction.exe"
cp "$TOV_SERVICE_EXE" "$work/TovMouseService.exe"
cp "$TOV_TOOL" "$work/unsigned.exe"

verify() { osslsigncode verify -CAfile "$work/keys/cert.pem" -in "$1" >"$1.verify" 2>&1; }
verify_fails() { ! verify "$1"; }
verified_ours() { verify "$1" && grep -q 'Subject: /CN=Tov Mouse test signing' "$1.verify"; }

# Without a certificate nothing is signed; asked to sign files, it refuses.
out=$(env -u TOV_SIGN_CERT -u TOV_SIGN_KEY bash "$sign")
tov_expect_eq "no certificate: the build is left unsigned" "$?:$out" \
  "0:Not signing: TOV_SIGN_CERT and TOV_SIGN_KEY are not set."
env -u TOV_SIGN_CERT -u TOV_SIGN_KEY bash "$sign" "$work/unsigned.exe" 2>/dev/null
tov_expect_eq "no certificate: signing named files fails" "$?" 2

export TOV_SIGN_CERT="$work/keys/cert.pem" TOV_SIGN_KEY="$work/keys/key.pem"
export TOV_SIGN_KEY_PASS_FILE="$work/keys/pass"
unset TOV_SIGN_TIMESTAMP_URL
tov_expect_true "both programs signed" bash "$sign" "$work/TovMouseSetupCustomAction.exe" "$work/TovMouseService.exe"
tov_expect_true "installer built from the signed programs" bash "$TOV_SOURCE_DIR/installer/build-msi.sh" \
  "$work/TovMouse.msi" "$work/TovMouseSetupCustomAction.exe" "$work/TovMouseService.exe" 1.0.0
tov_expect_true "installer signed" bash "$sign" "$work/TovMouse.msi"

for f in TovMouseSetupCustomAction.exe TovMouseService.exe TovMouse.msi; do
  tov_expect_true "$f: the signature verifies and is the throwaway certificate's" verified_ours "$work/$f"
done
tov_expect_true "the signature uses SHA-256" grep -q 'Message digest algorithm *: SHA256' \
  "$work/TovMouseSetupCustomAction.exe.verify"

msiextract -C "$work/extract" "$work/TovMouse.msi" >/dev/null
for f in TovMouseSetupCustomAction.exe TovMouseService.exe; do
  tov_expect_true "the packed $f is the signed one" cmp -s "$(find "$work/extract" -name $f | head -n 1)" "$work/$f"
done

# Signing again replaces the signature rather than adding one.
tov_expect_true "signing a signed program again" bash "$sign" "$work/TovMouseService.exe"
verify "$work/TovMouseService.exe"
tov_expect_eq "one signature after signing twice" \
  "$(sed -n 's/^Number of verified signatures: //p' "$work/TovMouseService.exe.verify")" 1

# What verification proves: an unsigned program and a changed byte fail.
tov_expect_true "an unsigned program does not verify" verify_fails "$work/unsigned.exe"
cp "$work/TovMouseSetupCustomAction.exe" "$work/tampered.exe"
printf 'X' | dd of="$work/tampered.exe" bs=1 seek=4096 conv=notrunc 2>/dev/null
tov_expect_true "a program changed after signing does not verify" verify_fails "$work/tampered.exe"
tov_expect_true "the changed program's digest mismatch is reported" grep -q 'MISMATCH\|mismatch' "$work/tampered.exe.verify"

# A key that does not belong to the certificate signs nothing.
openssl genrsa -out "$work/keys/other.pem" 2048 >/dev/null 2>&1
cp "$work/unsigned.exe" "$work/wrong-key.exe"
TOV_SIGN_KEY="$work/keys/other.pem" TOV_SIGN_KEY_PASS_FILE='' bash "$sign" "$work/wrong-key.exe" >/dev/null 2>&1
tov_expect_eq "a key of another certificate: signing fails" "$?" 1
tov_expect_true "a key of another certificate: the file is unchanged" cmp -s "$work/wrong-key.exe" "$work/unsigned.exe"

tov_done
