#!/usr/bin/env bash
# Authenticode signing for a release, with osslsigncode (SHA-256).
#
#   sign.sh --build DIR [CMAKE ARGS...]
#       Builds the shipped (i686) SetupInstall.exe in DIR with every library
#       it carries (7zDec.dll and the 17 language libraries) signed right
#       after linking, so the archives and resources are packed from the
#       signed files; then signs DIR/bin/SetupInstall.exe itself.
#   sign.sh FILE...
#       Signs each file in place (a signature already there is replaced).
#       The build calls this on each library (SETUPINSTALL_SIGN_COMMAND).
#   sign.sh --verify SetupInstall.exe [CAFILE]
#       Verifies the executable's signature and that of every library it
#       carries (unpacked from its resources), against CAFILE or the system's
#       certificate store. Needs no certificate of the vendor's own.
#
# From the environment:
#   SETUPINSTALL_SIGN_PKCS12         the vendor's PKCS#12 file (certificate, chain and key)
#   SETUPINSTALL_SIGN_PASSWORD       its password, or
#   SETUPINSTALL_SIGN_PASSWORD_FILE  a file holding it (never on a command line)
#   SETUPINSTALL_SIGN_TIMESTAMP_URL  optional: an RFC 3161 time-stamping service
#   SOURCE_DATE_EPOCH                optional: the signing time (Unix seconds);
#                                    without a time stamp, equal inputs then
#                                    give byte-for-byte equal signed files
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
self="$here/scripts/sign.sh"

die() { echo "sign: $*" >&2; exit 1; }

check_env() {
    [ -n "${SETUPINSTALL_SIGN_PKCS12:-}" ] || die "set SETUPINSTALL_SIGN_PKCS12 to the PKCS#12 file"
    [ -r "$SETUPINSTALL_SIGN_PKCS12" ] || die "cannot read $SETUPINSTALL_SIGN_PKCS12"
    [ -n "${SETUPINSTALL_SIGN_PASSWORD+set}" ] || [ -r "${SETUPINSTALL_SIGN_PASSWORD_FILE:-}" ] ||
        die "set SETUPINSTALL_SIGN_PASSWORD or SETUPINSTALL_SIGN_PASSWORD_FILE"
    command -v osslsigncode >/dev/null || die "osslsigncode is missing (scripts/deps.sh installs it)"
}

sign_file() {
    local file=$1 tmp=$1.signing unsigned=$1.unsigned
    local args=(sign -pkcs12 "$SETUPINSTALL_SIGN_PKCS12" -h sha256)
    [ -n "${SOURCE_DATE_EPOCH:-}" ] && args+=(-time "$SOURCE_DATE_EPOCH")
    [ -n "${SETUPINSTALL_SIGN_TIMESTAMP_URL:-}" ] && args+=(-ts "$SETUPINSTALL_SIGN_TIMESTAMP_URL")
    rm -f "$tmp" "$unsigned"
    # A file signed before (an unchanged target) is signed afresh, not nested.
    if osslsigncode extract-signature -in "$file" -out "$tmp" >/dev/null 2>&1; then
        osslsigncode remove-signature -in "$file" -out "$unsigned" >/dev/null || die "cannot unsign $file"
        mv -f "$unsigned" "$file"
    fi
    rm -f "$tmp"
    # The password reaches osslsigncode through a file or a pipe, never its command line.
    if [ -n "${SETUPINSTALL_SIGN_PASSWORD_FILE:-}" ]; then
        osslsigncode "${args[@]}" -readpass "$SETUPINSTALL_SIGN_PASSWORD_FILE" -in "$file" -out "$tmp" >/dev/null
    else
        osslsigncode "${args[@]}" -readpass <(printf '%s' "$SETUPINSTALL_SIGN_PASSWORD") \
            -in "$file" -out "$tmp" >/dev/null
    fi || { rm -f "$tmp"; die "signing $file failed"; }
    chmod --reference="$file" "$tmp" 2>/dev/null || true
    mv -f "$tmp" "$file"
    echo "signed: $file ($(stat -c %s "$file") bytes)"
}

# Verifies an installer and the 18 libraries it carries.
verify_all() {
    local exe=$1 work ca=() count=0 f
    [ -n "${2:-}" ] && ca=(-CAfile "$2")
    work=$(mktemp -d)
    trap 'rm -rf "$work"' RETURN
    wrestool -x --raw --type=SETUPFILES --name=130 "$exe" >"$work/7zDec.dll"
    wrestool -x --raw --type=SETUPFILES --name=132 "$exe" >"$work/Lang7z"
    7zz x -y -bso0 -bsp0 -o"$work" "$work/Lang7z" || die "no language pack in $exe"
    for f in "$exe" "$work/7zDec.dll" "$work"/Lang/*/SetupInstallLan.dll; do
        osslsigncode verify "${ca[@]}" -in "$f" >"$work/verify.txt" 2>&1 ||
            { cat "$work/verify.txt" >&2; die "NOT VERIFIED: ${f#$work/}"; }
        echo "verified: ${f#$work/} ($(grep -m1 'Calculated message digest' "$work/verify.txt" | sed 's/.*: *//;s/ *$//'))"
        count=$((count + 1))
    done
    # The executable, the decoder library and the 17 language libraries.
    [ $count = 19 ] || die "$((count - 1)) carried libraries verified, 18 expected"
}

if [ "${1:-}" = --verify ]; then
    [ $# -ge 2 ] || die "usage: $0 --verify SetupInstall.exe [CAFILE]"
    verify_all "$2" "${3:-}"
    exit 0
fi
check_env
if [ "${1:-}" = --build ]; then
    [ $# -ge 2 ] || die "usage: $0 --build DIR [CMAKE ARGS...]"
    dir=$2; shift 2
    "$here/scripts/deps.sh"
    cmake -S "$here" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$here/cmake/toolchain-i686.cmake" \
          -DCMAKE_BUILD_TYPE=Release -DSETUPINSTALL_SIGN_COMMAND="$self" "$@" >/dev/null
    log=$dir/signed-build.log
    cmake --build "$dir" --target SetupInstall -j "${SETUPINSTALL_JOBS:-$(nproc)}" >"$log" 2>&1 ||
        { tail -n 30 "$log" >&2; die "the build failed (whole output: $log)"; }
    grep '^signed:' "$log" || true
    sign_file "$dir/bin/SetupInstall.exe"
else
    [ $# -ge 1 ] || die "usage: $0 --build DIR [CMAKE ARGS...] | $0 FILE..."
    for f in "$@"; do sign_file "$f"; done
fi
