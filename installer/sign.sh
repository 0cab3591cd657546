#!/usr/bin/env bash
# Signs Windows programs in place with osslsigncode, with the certificate
# that scripts/package.sh was given (ORLIX_SIGN_PFX, ORLIX_SIGN_PASSWORD).
# makensis calls it for the installer and the uninstaller it writes.
set -euo pipefail
pass=$(mktemp)
trap 'rm -f "$pass" "$pass.signed"' EXIT
chmod 600 "$pass"
printf '%s' "${ORLIX_SIGN_PASSWORD:-}" >"$pass"
for file in "$@"; do
  # The password goes through a file: a command line is visible to every user.
  osslsigncode sign -pkcs12 "$ORLIX_SIGN_PFX" -readpass "$pass" -h sha256 \
    -n "Orlix for TheBAT!" -in "$file" -out "$pass.signed" >/dev/null
  mv -f "$pass.signed" "$file"
done
