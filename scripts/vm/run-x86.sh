#!/usr/bin/env bash
# Runs the i686 tree's tests in the Debian VM, for kernels that cannot run
# 32-bit code:
#
#   run-x86.sh /abs/path/to/build/i686 [CTEST ARGS...]     e.g. -L x86
#
# The source and build folders are shared at their own paths, so the tree's
# test files and its emulator (scripts/wine-run.sh) work unchanged. The tests
# copy a prefix made when the image was built (SETUPINSTALL_WINE_TEMPLATE).
# The tree's Wine test areas live on the VM's disk. Returns ctest's exit code.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-}
case $build in /*) ;; *) echo "usage: run-x86.sh /abs/path/to/i686-build-dir [ctest args]" >&2; exit 2 ;; esac
shift
[ -f "$build/CTestTestfile.cmake" ] || { echo "run-x86.sh: no tests in $build" >&2; exit 2; }

cache_value() { sed -n "s|^$1:[A-Z]*=||p" "$build/CMakeCache.txt" | head -n1; }
src=$(cache_value CMAKE_HOME_DIRECTORY)
shares=(--share "$src")
case $build/ in "$src"/*) ;; *) shares+=(--share "$build") ;; esac

# The tree's Wine test areas (one per prefix architecture) on the VM's disk.
locals=()
while IFS= read -r d; do
    [ -n "$d" ] && mkdir -p "$d" && locals+=(--local "$d")
done < <(sed -n 's|^SI_WINE[A-Z0-9]*_DIR:[A-Z]*=||p' "$build/CMakeCache.txt")
[ ${#locals[@]} -gt 0 ] || { mkdir -p "$build/wine"; locals=(--local "$build/wine"); }

# The ready-made prefix to copy: the 32-bit XP one for the x86 label, else
# the one SETUPINSTALL_WINEARCH names. A run of both kinds gets none (its
# prefixes are made as on the host).
arch=${SETUPINSTALL_WINEARCH:-}
prev=
for a in "$@"; do
    case $prev in -L|--label-regex) case $a in *x86*) arch=win32 ;; esac ;; esac
    case $a in -Lx86*|--label-regex=*x86*) arch=win32 ;; esac
    prev=$a
done
[ -n "$arch" ] && export SETUPINSTALL_WINE_TEMPLATE=${SETUPINSTALL_WINE_TEMPLATE:-/opt/setupinstall-vm/prefix-$arch}

echo "run-x86: the i686 tests run in the VM (prefix: ${SETUPINSTALL_WINE_TEMPLATE:-made by the tests})" >&2
cd "$build" && exec "$here/run.sh" "${shares[@]}" "${locals[@]}" -- \
    ctest --test-dir "$build" --output-on-failure "$@"
