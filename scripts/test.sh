#!/usr/bin/env bash
# Builds both trees and runs the whole suite on the x86_64 twin under Wine,
# in a fresh throwaway prefix that is removed at the end.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/build.sh"
bdir=${SETUPINSTALL_BUILD_DIR:-$here/build}/x64
export SETUPINSTALL_WINE_DIR=$bdir/wine
"$here/scripts/wine-run.sh" --teardown
start=$(date +%s)
rc=0
(cd "$bdir" && ctest --output-on-failure -j "${SETUPINSTALL_JOBS:-2}" "$@") || rc=$?
"$here/scripts/wine-run.sh" --teardown
echo "suite wall time: $(( $(date +%s) - start )) s"
exit $rc
