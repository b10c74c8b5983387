#!/usr/bin/env bash
# Extraction benchmark. Builds 7zDec.dll, the LZMA SDK's own extractor
# (sdk_7zdec.exe, from the same SDK sources) and bench_extract.exe in the
# x86_64 twin, makes an archive of about 150 MB from generated data (text,
# random data, PE executables for BCJ2; a few thousand files) in a temporary
# folder, and prints:
#   - under Wine: ExtractFiles against the SDK extractor on that archive, in the
#     same run (time, throughput, peak memory, ratio), and the SDK's decode-only test;
#   - natively: `7zz t` on the same archive (decode only), default threads and one.
# Both extractions are then compared with the source tree.
#
#   scripts/bench-extract.sh [ROUNDS]       (default 2 rounds of each)
#
# With SETUPINSTALL_BENCH_BEFORE=<x64 build tree of an earlier checkout> the
# Wine pair runs for that tree too, first, on the same archive (scripts/bench.sh --before).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
rounds=${1:-2}
bdir=${SETUPINSTALL_BUILD_DIR:-$here/build}/x64
[ -f "$bdir/CMakeCache.txt" ] || "$here/scripts/build.sh"
before=${SETUPINSTALL_BENCH_BEFORE:-}
for tree in $before "$bdir"; do
    cmake --build "$tree" --target bench_extract -j "${SETUPINSTALL_JOBS:-2}" >/dev/null
done

work=$(mktemp -d "${TMPDIR:-/tmp}/si-bench-extract.XXXXXX")
export SETUPINSTALL_WINE_DIR=$work/wine
cleanup() { "$here/scripts/wine-run.sh" --teardown >/dev/null 2>&1 || true; rm -rf "$work"; }
trap cleanup EXIT

echo "== generating the data in $work/data"
/usr/bin/env python3 - "$work/data" <<'EOF'
import os, random, sys
root = sys.argv[1]
rng = random.Random(7)
folders = [f"pkg{p:02d}/{s}" for p in range(60) for s in ("", "bin", "doc", "data/raw")]
def put(data, name):
    path = os.path.join(root, rng.choice(folders), name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
words = "driver adapter wireless setup install packet channel inf catalog service config " \
        "registry uninstall language version signal antenna firmware module status".split()
lines = [(" ".join(rng.choice(words) for _ in range(rng.randint(4, 14))) + "\r\n").encode() for _ in range(20000)]
def text(size):
    out, n = [], 0
    while n < size:
        line = rng.choice(lines); out.append(line); n += len(line)
    return b"".join(out)[:size]
for i in range(2600):                      # compressible: about 55 MB
    put(text(int(rng.lognormvariate(9.3, 1.0)) + 200), f"notes{i:04d}.txt")
for i in range(900):                       # incompressible: about 36 MB
    put(rng.randbytes(int(rng.lognormvariate(10.0, 1.0)) + 100), f"blob{i:04d}.bin")
for i in range(3):                         # large incompressible: 24 MB
    put(rng.randbytes(8 << 20), f"image{i}.img")
for i in range(40):                        # empty files
    put(b"", f"empty{i:02d}.dat")
pe_dir = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows"   # x86-64 PE code: BCJ2's input
budget = 40 << 20
for name in sorted(os.listdir(pe_dir)):
    path = os.path.join(pe_dir, name)
    size = os.path.getsize(path)
    if not name.endswith((".dll", ".exe")) or size > (4 << 20) or size > budget:
        continue
    with open(path, "rb") as f:
        put(f.read(), name)
    budget -= size
EOF
echo "   $(find "$work/data" -type f | wc -l) files, $(find "$work/data" -mindepth 1 -type d | wc -l) folders, $(du -sm "$work/data" | cut -f1) MB"

echo "== compressing (7zz a -t7z -mx=9 -ms=on -mf=BCJ2 -m0=LZMA)"
start=$(date +%s)
(cd "$work/data" && LC_ALL=C.UTF-8 7zz a -t7z -mx=9 -ms=on -mf=BCJ2 -m0=LZMA "$work/bench.7z" '*' >/dev/null)
echo "   $(( $(stat -c %s "$work/bench.7z") / 1048576 )) MiB in $(( $(date +%s) - start )) s;" \
     "methods: $(7zz l -slt "$work/bench.7z" | sed -n 's/^Method = \(.*BCJ2.*\)/\1/p' | sort -u | paste -sd';')"

echo "== native 7zz t (decode only, no files written)"
/usr/bin/env python3 - "$work/bench.7z" "$(du -sb "$work/data" | cut -f1)" <<'EOF'
import resource, subprocess, sys, time
archive, size = sys.argv[1], int(sys.argv[2])
for label, extra in (("7zz t", []), ("7zz t -mmt=1", ["-mmt=1"])):
    best = None
    for _ in range(2):
        start = time.perf_counter()
        subprocess.run(["7zz", "t", *extra, archive], stdout=subprocess.DEVNULL, check=True)
        took = time.perf_counter() - start
        best = took if best is None else min(best, took)
    rss = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss / 1024
    print(f"   {label:<14} {best:7.2f} s  {size / 1048576 / best:7.1f} MiB/s  (peak RSS of any 7zz so far {rss:.0f} MiB)")
EOF

echo "== under Wine: ExtractFiles (7zDec.dll) against the SDK's 7zMain ($rounds rounds each)"
winpath() { local p=${1//\//\\}; echo "Z:$p"; }
outs=()
for tree in $before "$bdir"; do
    out=$work/out$([ "$tree" = "$bdir" ] || echo -before)
    outs+=("$out")
    mkdir -p "$out"
    [ -n "$before" ] && echo "   -- $([ "$tree" = "$bdir" ] && echo now || echo before): $tree"
    "$here/scripts/wine-run.sh" "$tree/bench/bench_extract.exe" "$(winpath "$work/bench.7z")" \
        "$(winpath "$out")" "$(winpath "$tree/bin/7zDec.dll")" \
        "$(winpath "$tree/bench/sdk_7zdec.exe")" "$rounds" | sed 's/^/   /'
done

echo "== comparing the extractions with the source tree"
status=0
for out in "${outs[@]}"; do
    for side in dll sdk; do
        if diff -r "$work/data" "$out/$side" >/dev/null; then echo "   ${out##*/}/$side: identical"
        else echo "   ${out##*/}/$side: DIFFERENT"; status=1; fi
        rm -rf "${out:?}/$side"
    done
done
exit $status
