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

summary=()   # one line per lane, printed again at the end
not_run=()   # what did not run, and why
ran=0        # lanes that ran at least one test
failed=0     # lanes that ran and failed
# A whole lane that finds no test has failed (a tree configured without its
# tests); a filtered run may well match nothing in some lane.
strict=$([ $# -eq 0 ] && echo --no-tests=error || true)
# lane NAME TREE WINE_SUBDIR WINEARCH CTEST_ARGS...
lane() {
    local name=$1 bdir=$build/$2 start lane_rc=0 count
    export SETUPINSTALL_WINE_DIR=$bdir/$3 SETUPINSTALL_WINEARCH=$4
    shift 4
    count=$(cd "$bdir" && ctest -N "$@" 2>/dev/null | sed -n 's/^Total Tests: *//p') || count=
    echo "== lane $name: $bdir, $SETUPINSTALL_WINEARCH prefix, ${count:-0} test(s)"
    if [ "${count:-0}" = 0 ] && [ -z "$strict" ]; then
        summary+=("lane $name: no test matched")
        not_run+=("lane $name: no test matched the arguments")
        echo "${summary[-1]}"
        return 0
    fi
    "$run" --teardown
    start=$(date +%s)
    (cd "$bdir" && ctest ${strict:+"$strict"} --output-on-failure -j "${SETUPINSTALL_JOBS:-2}" "$@") || lane_rc=$?
    "$run" --teardown
    summary+=("lane $name: ${count:-0} test(s), $(( $(date +%s) - start )) s wall, $([ $lane_rc = 0 ] && echo passed || echo FAILED)")
    echo "${summary[-1]}"
    ran=$((ran + 1))
    [ $lane_rc = 0 ] || failed=$((failed + 1))
}

probe=0
why=$("$here/scripts/probe32.sh") || probe=1
if [ $probe = 1 ] && [ "${lanes[*]}" != twin ]; then
    echo "!!!!!!!!" >&2
    echo "!!!!!!!! $why" >&2
    echo "!!!!!!!! The shipped i686 build cannot run here: its suite is skipped, the x86 cases go to a VM." >&2
    echo "!!!!!!!!" >&2
fi
# The VM fallback installs what it needs itself (scripts/deps.sh --vm, called
# by scripts/vm/run.sh): debootstrap, qemu.
vm=$here/scripts/vm/run-x86.sh
for l in "${lanes[@]}"; do
    case $l/$probe in
        twin/*) lane twin x64 wine win64 ${fast[@]+"${fast[@]}"} "$@" ;;
        i686/0) lane i686 i686 wine win64 -LE x86 "$@" ;;
        x86/0) lane x86 i686 wine32 win32 -L x86 "$@" ;;
        i686/1)
            summary+=("lane i686: SKIPPED")
            not_run+=("lane i686 (the shipped build's whole suite, WoW64): ${why#probe32: }") ;;
        x86/1)
            if [ -x "$vm" ]; then
                echo "== lane x86 in the VM: $vm"
                start=$(date +%s) vm_rc=0
                "$vm" "$build/i686" -L x86 "$@" || vm_rc=$?
                summary+=("lane x86 (VM): $(( $(date +%s) - start )) s wall, $([ $vm_rc = 0 ] && echo passed || echo "FAILED (exit code $vm_rc)")")
                echo "${summary[-1]}"
                ran=$((ran + 1))
                [ $vm_rc = 0 ] || failed=$((failed + 1))
            else
                summary+=("lane x86: SKIPPED")
                not_run+=("lane x86 (the shipped build's x86 cases): ${why#probe32: }, and no $vm for the VM fallback")
            fi ;;
    esac
done
# The last lines: each lane, what did not run, the verdict. The exit status
# fails when a lane that ran failed, or when nothing ran at all.
echo
echo "== summary"
printf '%s\n' "${summary[@]}"
for n in ${not_run[@]+"${not_run[@]}"}; do echo "NOT RUN: $n"; done
if [ $failed -gt 0 ]; then
    echo "FAILED: $failed of $ran lane(s) that ran failed"; exit 1
elif [ $ran = 0 ]; then
    echo "FAILED: nothing ran"; exit 1
elif [ ${#not_run[@]} -gt 0 ]; then
    echo "PASSED, INCOMPLETE: $ran lane(s) passed, ${#not_run[@]} did not run (above)"
else
    echo "PASSED: $ran lane(s)"
fi
exit 0
