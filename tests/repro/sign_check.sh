#!/usr/bin/env bash
# A signed release build, end to end: a throwaway self-signed vendor
# certificate, the shipped tree TREE (built before by repro-check.sh) relinked
# with its carried libraries signed and then SetupInstall.exe signed
# (scripts/sign.sh), the executable and the libraries unpacked from its
# resources verified (sign.sh --verify), and the signed installer run under
# Wine to a good install (scripts/run.sh). Removes TREE at the end.
#   sign_check.sh TREE
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
tree=$(realpath "$1")
work=$tree/signing
rm -rf "$work"; mkdir -p "$work"
trap 'rm -rf "$tree"' EXIT

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=KALVERON Test Signing" \
    -addext extendedKeyUsage=codeSigning -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
export SETUPINSTALL_SIGN_PASSWORD=throwaway SETUPINSTALL_SIGN_PKCS12=$work/vendor.p12
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$SETUPINSTALL_SIGN_PKCS12" \
    -passout env:SETUPINSTALL_SIGN_PASSWORD

# Only the carried libraries relink (to be signed); the archives, resources and
# executable follow from them.
rm -f "$tree/bin/7zDec.dll" "$tree"/Lang/*/SetupInstallLan.dll
"$here/scripts/sign.sh" --build "$tree"

"$here/scripts/sign.sh" --verify "$tree/bin/SetupInstall.exe" "$work/cert.pem"

# The signed 32-bit installer runs under Wine through WoW64 when this kernel
# runs 32-bit code; 77 (skipped) when it cannot.
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then echo "no 32-bit Wine here: not run"; exit 77; fi
SETUPINSTALL_BUILD_DIR=$tree "$here/scripts/run.sh" --exe "$tree/bin/SetupInstall.exe"
