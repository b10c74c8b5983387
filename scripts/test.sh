#!/usr/bin/env bash
# Builds both trees and runs the suite in three lanes, each in fresh throwaway
# Wine prefixes that are removed at the end, and prints each lane's wall time:
#   twin   the x86_64 twin's whole suite under wine64
#   i686   the shipped i686 build's whole suite under the 32-bit loader, in a
#          64-bit prefix (WoW64, as on 64-bit Windows)
#   x86    the shipped build's x86 cases (ctest label x86) in 32-bit prefixes
# When this kernel cannot run 32-bit code (scripts/probe32.sh; forced with
# SETUPINSTALL_FORCE_VM=1), the twin runs here and the x86 cases in a virtual
# machine (scripts/vm/run-x86.sh), if that script is there.
# --fast runs the twin's unit tests alone (ctest label unit: in-process tests
# of the code, no installer run).
#
#   scripts/test.sh [--fast | --lane twin|i686|x86] [CTEST ARGS...]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
lanes=(twin i686 x86)
fast=()
case "${1:-}" in
    --lane)
        case "${2:-}" in twin|i686|x86) lanes=("$2") ;; *) echo "usage: $0 [--fast | --lane twin|i686|x86] [ctest args]" >&2; exit 2 ;; esac
        shift 2 ;;
    --fast) lanes=(twin) fast=(-L unit); shift ;;
esac
"$here/scripts/build.sh"
build=${SETUPINSTALL_BUILD_DIR:-$here/build}
build=$(cd "$build" && pwd)
run="$here/scripts/wine-run.sh"

summary=()
rc=0
# A whole lane that finds no test has failed (a tree configured without its
# tests); a filtered run may well match nothing in some lane.
strict=$([ $# -eq 0 ] && echo --no-tests=error || true)
# lane NAME TREE WINE_SUBDIR WINEARCH CTEST_ARGS...
lane() {
    local name=$1 bdir=$build/$2 start lane_rc=0
    export SETUPINSTALL_WINE_DIR=$bdir/$3 SETUPINSTALL_WINEARCH=$4
    shift 4
    echo "== lane $name: $bdir, $SETUPINSTALL_WINEARCH prefix"
    "$run" --teardown
    start=$(date +%s)
    (cd "$bdir" && ctest ${strict:+"$strict"} --output-on-failure -j "${SETUPINSTALL_JOBS:-2}" "$@") || lane_rc=$?
    "$run" --teardown
    summary+=("lane $name: $(( $(date +%s) - start )) s wall, $([ $lane_rc = 0 ] && echo passed || echo FAILED)")
    echo "${summary[-1]}"
    [ $lane_rc = 0 ] || rc=1
}

probe=0
why=$("$here/scripts/probe32.sh") || probe=1
if [ $probe = 1 ] && [ "${lanes[*]}" != twin ]; then
    echo "!!!!!!!!" >&2
    echo "!!!!!!!! $why" >&2
    echo "!!!!!!!! The shipped i686 build cannot run here: its suite is skipped, the x86 cases go to a VM." >&2
    echo "!!!!!!!!" >&2
fi
vm=$here/scripts/vm/run-x86.sh
for l in "${lanes[@]}"; do
    case $l/$probe in
        twin/*) lane twin x64 wine win64 ${fast[@]+"${fast[@]}"} "$@" ;;
        i686/0) lane i686 i686 wine win64 -LE x86 "$@" ;;
        x86/0) lane x86 i686 wine32 win32 -L x86 "$@" ;;
        i686/1) summary+=("lane i686: SKIPPED (no 32-bit code here)"); [ ${#lanes[@]} = 1 ] && rc=1 ;;
        x86/1)
            if [ -x "$vm" ]; then
                start=$(date +%s) vm_rc=0
                "$vm" "$build/i686" -L x86 "$@" || vm_rc=$?
                summary+=("lane x86 (VM): $(( $(date +%s) - start )) s wall, $([ $vm_rc = 0 ] && echo passed || echo FAILED)")
                [ $vm_rc = 0 ] || rc=1
            else
                summary+=("lane x86: SKIPPED (no $vm for the VM fallback)")
            fi ;;
    esac
done
printf '%s\n' "${summary[@]}"
exit $rc
