#!/usr/bin/env bash
# The signatures of the Windows installer and of the programs in it, checked by osslsigncode
# against the certificate the build signed with (QOR_SIGN_PKCS12 and QOR_SIGN_PASSWORD, as
# for the build). Exit 77 (skipped) when the build was given no certificate.
#   windows_signatures.sh MSI STAGE_DIR
set -u
msi=$1 stage=$2
if [ -z "${QOR_SIGN_PKCS12:-}" ]; then
  echo "SKIP: no certificate given (QOR_SIGN_PKCS12)"
  exit 77
fi
for tool in osslsigncode openssl; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed"; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The certificate alone, as the trusted root of the check (a real one would chain to a root
# the system already trusts).
if ! QOR_PASS="${QOR_SIGN_PASSWORD:-}" openssl pkcs12 -in "$QOR_SIGN_PKCS12" -nokeys \
     -passin env:QOR_PASS -out "$work/certificate.pem" 2>"$work/openssl.log"; then
  cat "$work/openssl.log"
  echo "FAIL: the certificate cannot be read from $QOR_SIGN_PKCS12"
  exit 1
fi
status=0
for file in "$msi" "$stage"/qor7316-updater.exe "$stage"/bin/qor7316-update.exe; do
  if osslsigncode verify -CAfile "$work/certificate.pem" -in "$file" >"$work/verify.log" 2>&1; then
    echo "ok: $(basename "$file"): $(grep -m1 -i 'Signature verification: ok' "$work/verify.log")"
  else
    cat "$work/verify.log"
    echo "FAIL: $(basename "$file") is not signed as it should be"
    status=1
  fi
done
exit "$status"
