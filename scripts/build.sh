#!/usr/bin/env bash
# Builds both trees: build/i686 (the shipped SetupInstall.exe) and build/x64 (the test twin).
# Extra arguments go to cmake's configure step of both (for example -DSETUPINSTALL_PAYLOAD_DIR=...).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/deps.sh"
jobs=${SETUPINSTALL_JOBS:-$(nproc)}
for arch in i686 x64; do
    tc=$here/cmake/toolchain-$([ $arch = x64 ] && echo x86_64 || echo i686).cmake
    bdir=${SETUPINSTALL_BUILD_DIR:-$here/build}/$arch
    if [ ! -f "$bdir/Makefile" ] || [ $# -gt 0 ]; then
        cmake -S "$here" -B "$bdir" -DCMAKE_TOOLCHAIN_FILE="$tc" -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
    fi
    cmake --build "$bdir" -j "$jobs"
done
