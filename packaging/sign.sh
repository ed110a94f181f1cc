#!/usr/bin/env bash
# Signs one Windows program in place with an Authenticode signature.
#   sign.sh FILE
# The certificate and key come from the environment, never from the tree:
#   TALLOWMEND_SIGN_CERT           certificate chain (PEM or DER)
#   TALLOWMEND_SIGN_KEY            private key (PEM or DER)
#   TALLOWMEND_SIGN_PASSWORD_FILE  file holding the key's password (optional)
#   TALLOWMEND_SIGN_TIMESTAMP      time-stamping server address (optional)
set -euo pipefail
file=$1
: "${TALLOWMEND_SIGN_CERT:?no certificate}" "${TALLOWMEND_SIGN_KEY:?no key}"
args=(sign -certs "$TALLOWMEND_SIGN_CERT" -key "$TALLOWMEND_SIGN_KEY" -h sha256
      -n "Tallowmend" -i "${TALLOWMEND_SUPPORT_URL:-http://www.example.com/support/}")
[ -n "${TALLOWMEND_SIGN_PASSWORD_FILE:-}" ] && args+=(-readpass "$TALLOWMEND_SIGN_PASSWORD_FILE")
[ -n "${TALLOWMEND_SIGN_TIMESTAMP:-}" ] && args+=(-ts "$TALLOWMEND_SIGN_TIMESTAMP")
osslsigncode "${args[@]}" -in "$file" -out "$file.signed" >/dev/null
mv -f "$file.signed" "$file"
