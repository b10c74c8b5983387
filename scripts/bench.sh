#!/usr/bin/env bash
# The installer's performance figures, printed:
#   1. size: the shipped SetupInstall.exe, its payload resources, and the stub
#      (everything else: code, skin, icon, dialogs, strings);
#   2. start-up: process start to the first layered update and to the window
#      being visible (ui_startup_benchmark, medians);
#   3. the whole run's own work: wall time of complete installs on the sample
#      payload minus the fixed pauses of the sequence and of the closing;
#   4. extraction (unless --quick): scripts/bench-extract.sh.
#   scripts/bench.sh [--quick] [RUNS]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
quick=0
[ "${1:-}" = --quick ] && { quick=1; shift; }
runs=${1:-3}
"$here/scripts/build.sh" >/dev/null
build=${SETUPINSTALL_BUILD_DIR:-$here/build}
exe=$build/i686/bin/SetupInstall.exe
echo "machine: $(nproc) cores, $(awk '/MemTotal/{printf "%.0f GiB", $2/1048576}' /proc/meminfo), $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'); $(/usr/lib/wine/wine64 --version 2>/dev/null)"

echo "== 1. size (i686, shipped)"
total=$(stat -c %s "$exe")
payload=$(wrestool -l "$exe" | sed -n "s/.*--type='SETUPFILES'.*size=\([0-9]*\)\]/\1/p" | awk '{s+=$1} END {print s}')
wrestool -l "$exe" | sed -n "s/.*--type='SETUPFILES' --name=\([0-9]*\).*size=\([0-9]*\)\]/   resource \1: \2 bytes/p"
echo "   SetupInstall.exe $total bytes = payload $payload + stub $((total - payload)) ($(awk "BEGIN{printf \"%.0f\", 100*($total-$payload)/$total}") % stub)"

export SETUPINSTALL_WINE_DIR=$build/bench/wine
run="$here/scripts/wine-run.sh"
"$run" --teardown; "$run" --init
trap '"$run" --teardown >/dev/null 2>&1 || true' EXIT
export WINEPREFIX=$SETUPINSTALL_WINE_DIR/prefix
/usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\AppDefaults\SetupInstall.exe' /v Version /d win10 /f >/dev/null 2>&1

echo "== 2. start-up (x86_64 twin under Wine)"
cmake --build "$build/x64" --target ui_startup_benchmark -j2 >/dev/null
"$run" "$(find "$build/x64" -name ui_startup_benchmark.exe | head -n1)" 5 | sed 's/^/   /'

echo "== 3. the whole run's own work ($runs complete installs, Windows 10 setting)"
# Fixed: 13.4 s of pauses in the sequence and 1 s before the window closes.
fixed=14.4
for i in $(seq "$runs"); do
    start=$(date +%s.%N)
    "$run" "$build/x64/bin/SetupInstall.exe" >/dev/null 2>&1 || true
    end=$(date +%s.%N)
    awk -v s="$start" -v e="$end" -v f="$fixed" 'BEGIN{printf "   run %d: %.2f s, own work %.2f s\n", '"$i"', e-s, e-s-f}'
done

if [ "$quick" = 0 ]; then
    echo "== 4. extraction"
    "$here/scripts/bench-extract.sh" 1
fi
