#!/usr/bin/env bash
# The signing step with a throwaway self-signed certificate made here and
# now (never kept in the tree): the packages are built signed, and
# osslsigncode verifies the program inside the zip and the setup program
# against that certificate.
#   check_signing.sh VERSION BUILD_DIR OUT_DIR
# OUT_DIR keeps the signed packages and the certificate (throwaway-cert.pem)
# for the install test, which checks the uninstaller's signature.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
version=$1 build=$2 out=$3
rm -rf "$out"
mkdir -p "$out"
keys=$(mktemp -d)
trap 'rm -rf "$keys"' EXIT

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Tallowmend throwaway test signer" \
  -addext "extendedKeyUsage=codeSigning" -addext "keyUsage=digitalSignature" \
  -keyout "$keys/key.pem" -out "$out/throwaway-cert.pem" 2>/dev/null

TALLOWMEND_SIGN_CERT=$out/throwaway-cert.pem TALLOWMEND_SIGN_KEY=$keys/key.pem \
  bash "$here/../../packaging/make-packages.sh" "$version" "$build" "$out"

status=0
verify() {  # FILE WHAT
  local report
  if report=$(osslsigncode verify -CAfile "$out/throwaway-cert.pem" -in "$1" 2>&1) &&
     grep -q "Signature verification: ok" <<<"$report"; then
    echo "signed and verified: $2"
  else
    echo "FAIL: $2 is not signed by the throwaway certificate"
    grep -E "Signature|Error|error" <<<"$report" | head -5
    status=1
  fi
}
verify "$out/tallowmend-$version-setup.exe" "tallowmend-$version-setup.exe"
unzip -q -o "$out/tallowmend-$version-portable.zip" "tallowmend-$version/tallowmend.exe" -d "$keys"
verify "$keys/tallowmend-$version/tallowmend.exe" "tallowmend.exe in the portable zip"
(cd "$out" && sha256sum -c --quiet "tallowmend-$version-SHA256SUMS.txt") || { echo "FAIL: the sums do not match"; status=1; }
exit $status
