#!/usr/bin/env bash
# Builds the shipped (i686) tree a second time, in another folder, from the
# same sources and payload, and compares every shipped binary byte for byte:
# SetupInstall.exe, 7zDec.dll, the 17 language libraries and both archives.
#   repro-check.sh REFERENCE_TREE SCRATCH_TREE [--keep]
# --keep leaves the scratch tree for a later step (the signing check).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
ref=$1 scratch=$2 keep=${3:-}
payload=$(sed -n 's/^SETUPINSTALL_PAYLOAD_DIR:PATH=//p' "$ref/CMakeCache.txt")
rm -rf "$scratch"
cmake -S "$here" -B "$scratch" -DCMAKE_TOOLCHAIN_FILE="$here/cmake/toolchain-i686.cmake" \
      -DCMAKE_BUILD_TYPE=Release ${payload:+-DSETUPINSTALL_PAYLOAD_DIR="$payload"} >/dev/null
cmake --build "$scratch" --target SetupInstall -j "${SETUPINSTALL_JOBS:-2}" >/dev/null
files=(bin/SetupInstall.exe bin/7zDec.dll lang/Lang7z payload/SetupFiles7z)
while IFS= read -r f; do files+=("${f#$ref/}"); done < <(find "$ref/Lang" -name SetupInstallLan.dll | sort)
fail=0
for f in "${files[@]}"; do
    if cmp -s "$ref/$f" "$scratch/$f"; then echo "same: $f ($(stat -c %s "$ref/$f") bytes)"
    else echo "DIFFERS: $f"; fail=1; fi
done
[ "$keep" = --keep ] || rm -rf "$scratch"
echo "${#files[@]} files compared"
exit $fail
