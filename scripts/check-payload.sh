#!/usr/bin/env bash
# Checks a setup payload folder (the folder that holds SetupFiles) against
# every Windows branch the installer serves, reading its configuration with
# the installer's own reader (payload_check.exe, built from the installer's
# code, run under Wine in a throwaway prefix). One line per problem: the path,
# what is wrong, and which branches it breaks; warnings (files no branch uses)
# do not fail. Exit 0 when there is no error, 1 otherwise.
#
#   scripts/check-payload.sh [--standins] DIR
#   scripts/check-payload.sh --checker EXE [--standins] DIR   (the build's form)
#
# Without --checker the checker of the shipped i686 tree is used (the x64
# twin's where this machine runs no 32-bit code), built first if missing.
# --standins: the programs are the build's stand-ins (one processor for all),
# so program architectures are not checked.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
checker="" standins=()
while [ $# -gt 1 ]; do
    case "$1" in
        --checker) checker=$2; shift 2 ;;
        --standins) standins=(--standins); shift ;;
        *) break ;;
    esac
done
if [ $# != 1 ] || [ ! -d "$1" ]; then
    echo "usage: $0 [--checker EXE] [--standins] DIR (the folder that holds SetupFiles)" >&2; exit 2
fi
dir=$(realpath "$1")

can32=1
"$here/scripts/probe32.sh" >/dev/null || can32=0
if [ -z "$checker" ]; then
    build=${SETUPINSTALL_BUILD_DIR:-$here/build}
    tree=$build/$([ $can32 = 1 ] && echo i686 || echo x64)
    checker=$tree/payload/payload_check.exe
    if [ ! -f "$tree/Makefile" ]; then "$here/scripts/build.sh" >/dev/null
    else cmake --build "$tree" --target si_payload_check >/dev/null; fi
fi
# An i386 checker (the i686 tree's) needs 32-bit code; the x64 tree then
# checks the same folder. The PE header's machine field: 014c is i386.
machine=$(od -An -tx2 -j$(( $(od -An -tu4 -j60 -N4 "$checker" | tr -d ' ') + 4 )) -N2 "$checker" | tr -d ' ')
if [ $can32 = 0 ] && [ "$machine" = 014c ]; then
    echo "payload check: NOT RUN by the i686 tree: this machine runs no 32-bit code ($("$here/scripts/probe32.sh")); the x64 tree checks the same payload"
    exit 0
fi

export SETUPINSTALL_WINE_DIR
SETUPINSTALL_WINE_DIR=$(mktemp -d "${TMPDIR:-/tmp}/payload-check.XXXXXX")
unset SETUPINSTALL_WINE_TEMPLATE SETUPINSTALL_WINEARCH
trap '"$here/scripts/wine-run.sh" --teardown; rm -rf "$SETUPINSTALL_WINE_DIR"' EXIT
"$here/scripts/wine-run.sh" "$checker" "${standins[@]}" "Z:$dir"
