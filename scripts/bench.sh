#!/usr/bin/env bash
# The installer's performance figures, printed:
#   1. size: the shipped SetupInstall.exe, its payload resources, and the stub
#      (everything else), the stub by section and by resource type, and
#      7zDec.dll;
#   2. start-up: process start to the first layered update and to the window
#      being visible (ui_startup_benchmark, medians), of the x86_64 twin and of
#      the shipped i686 build (through WoW64);
#   3. the whole run's own work: wall time of complete installs on the sample
#      payload minus the fixed pauses of the sequence and of the closing;
#   4. extraction (unless --quick): scripts/bench-extract.sh.
#
#   scripts/bench.sh [--quick] [--before BUILD_DIR] [RUNS]
#
# --before names a second build folder (with i686/ and x64/ trees, configured
# from an earlier checkout, for example one made from `git archive main`): every
# figure is then taken for both, one after the other in the same run, on the
# same machine, so that a change is measured against what it replaces.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
quick=0 before=
while [ $# -gt 0 ]; do
    case $1 in
        --quick) quick=1; shift ;;
        --before) before=$(cd "$2" && pwd); shift 2 ;;
        *) break ;;
    esac
done
runs=${1:-3}
"$here/scripts/build.sh" >/dev/null
build=${SETUPINSTALL_BUILD_DIR:-$here/build}
trees=("$build")
[ -n "$before" ] && trees=("$before" "$build")
name() { if [ "$1" = "$before" ]; then echo before; else echo now; fi; }
for t in "${trees[@]}"; do
    for arch in i686 x64; do
        cmake --build "$t/$arch" --target SetupInstall si_7zdec ui_startup_benchmark -j "${SETUPINSTALL_JOBS:-2}" >/dev/null
    done
done
echo "machine: $(nproc) cores, $(awk '/MemTotal/{printf "%.0f GiB", $2/1048576}' /proc/meminfo), $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'); $(/usr/lib/wine/wine64 --version 2>/dev/null)"

echo "== 1. size (i686, shipped)"
for t in "${trees[@]}"; do
    echo "   -- $(name "$t"): $t/i686/bin"
    /usr/bin/python3 - "$t/i686/bin/SetupInstall.exe" "$t/i686/bin/7zDec.dll" <<'PY'
import os, sys, pefile
exe, dll = sys.argv[1], sys.argv[2]
pe = pefile.PE(exe)
names = {k: v[3:] for k, v in pefile.RESOURCE_TYPE.items() if isinstance(k, int)}
by_type, payload = {}, []
for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
    tname = str(t.name) if t.name else names.get(t.id, str(t.id))
    for n in t.directory.entries:
        for lang in n.directory.entries:
            size = lang.data.struct.Size
            if tname == "SETUPFILES":
                payload.append((n.id, size))
            else:
                by_type[tname] = by_type.get(tname, 0) + size
total = os.path.getsize(exe)
paid = sum(s for _, s in payload)
for rid, size in payload:
    print(f"   resource {rid}: {size} bytes")
print(f"   SetupInstall.exe {total} bytes = payload {paid} + stub {total - paid}")
parts = []
for s in pe.sections:
    sname = s.Name.rstrip(b"\0").decode()
    if s.SizeOfRawData:
        parts.append(f"{sname} {s.SizeOfRawData - (paid if sname == '.rsrc' else 0)}")
print("   stub by section (bytes in the file):", ", ".join(parts),
      f"(.rsrc without the payload), headers {pe.sections[0].PointerToRawData}")
print("   stub resources by type:", ", ".join(f"{k} {v}" for k, v in sorted(by_type.items(), key=lambda kv: -kv[1])))
print(f"   7zDec.dll {os.path.getsize(dll)} bytes")
PY
done

export SETUPINSTALL_WINE_DIR=$build/bench/wine
run="$here/scripts/wine-run.sh"
"$run" --teardown; "$run" --init
trap '"$run" --teardown >/dev/null 2>&1 || true' EXIT
export WINEPREFIX=$SETUPINSTALL_WINE_DIR/prefix
/usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\AppDefaults\SetupInstall.exe' /v Version /d win10 /f >/dev/null 2>&1

echo "== 2. start-up (x86_64 twin, then the shipped i686 build through WoW64)"
for arch in x64 i686; do
    for t in "${trees[@]}"; do
        echo "   -- $(name "$t"), $arch"
        "$run" "$(find "$t/$arch" -name ui_startup_benchmark.exe | head -n1)" 5 | sed 's/^/   /'
    done
done

echo "== 3. the whole run's own work ($runs complete installs, Windows 10 setting, x86_64 twin)"
# Fixed: 13.4 s of pauses in the sequence and 1 s before the window closes.
fixed=14.4
for i in $(seq "$runs"); do
    for t in "${trees[@]}"; do
        start=$(date +%s.%N)
        "$run" "$t/x64/bin/SetupInstall.exe" >/dev/null 2>&1 || true
        end=$(date +%s.%N)
        awk -v s="$start" -v e="$end" -v f="$fixed" -v n="$(name "$t")" \
            'BEGIN{printf "   run %d, %s: %.2f s, own work %.2f s\n", '"$i"', n, e-s, e-s-f}'
    done
done

if [ "$quick" = 0 ]; then
    echo "== 4. extraction"
    if [ -n "$before" ]; then
        SETUPINSTALL_BENCH_BEFORE=$before/x64 "$here/scripts/bench-extract.sh" 1
    else
        "$here/scripts/bench-extract.sh" 1
    fi
fi
