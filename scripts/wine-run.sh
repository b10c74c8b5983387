#!/usr/bin/env bash
# Runs a Windows program of a build tree under Wine.
#
#   wine-run.sh PROGRAM.exe [ARGS...]   run it (the prefix is made on first use)
#   wine-run.sh --init                  make the prefix and its display if missing
#   wine-run.sh --teardown              stop what --init started and remove the prefix
#
# The loader follows the build tree: wine64 for the x86_64 twin, the 32-bit
# loader for the shipped i686 tree. The prefix's architecture comes from
# SETUPINSTALL_WINEARCH: win64 (the default; the i686 tree then runs through
# WoW64, as on 64-bit Windows) or win32 (x86 Windows, made with the 32-bit
# loader). SETUPINSTALL_WINE_DIR names the folder that holds the prefix; by
# default BUILD/wine, or BUILD/wine32 for a win32 prefix. With
# SETUPINSTALL_WINE_TEMPLATE=<prefix>, --init copies that ready-made prefix
# instead of making a new one (its own architecture then counts).
#
# One throwaway prefix per folder, with one persistent wineserver and one Xvfb
# display, both started with stdio on /dev/null so that Wine's helper
# processes never hold a caller's pipe open. The program's own output goes
# through files for the same reason.
set -u
wine32=/usr/lib/wine/wine
wine64=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64

find_build_dir() {
    local d
    d=$(cd "$(dirname "$1")" 2>/dev/null && pwd) || return 1
    while [ "$d" != / ]; do
        [ -f "$d/CMakeCache.txt" ] && { echo "$d"; return 0; }
        d=$(dirname "$d")
    done
    return 1
}

mode=run
case "${1:-}" in
    --init) mode=init; shift ;;
    --teardown) mode=teardown; shift ;;
esac

arch=${SETUPINSTALL_WINEARCH:-win64}
case $arch in win32|win64) ;; *) echo "wine-run: SETUPINSTALL_WINEARCH must be win32 or win64" >&2; exit 2 ;; esac
if [ -z "${SETUPINSTALL_WINE_DIR:-}" ]; then
    if [ "$mode" = run ] && b=$(find_build_dir "$1"); then
        SETUPINSTALL_WINE_DIR=$b/$([ "$arch" = win32 ] && echo wine32 || echo wine)
    else
        echo "wine-run: set SETUPINSTALL_WINE_DIR" >&2; exit 2
    fi
fi
dir=$SETUPINSTALL_WINE_DIR
mkdir -p "$dir"
export WINEPREFIX=$dir/prefix WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="

# The loader: the 32-bit one for a 32-bit prefix and for the programs of the
# i686 tree (the prefix folder's tree, for --init), else wine64.
tree=$(find_build_dir "$([ "$mode" = run ] && echo "$1" || echo "$dir/prefix")") || tree=
loader() {
    if [ "$WINEARCH" = win32 ] ||
       { [ -n "$tree" ] && grep -q '^CMAKE_C_COMPILER:[A-Z]*=.*i686-' "$tree/CMakeCache.txt"; }; then
        echo "$wine32"
    else
        echo "$wine64"
    fi
}

teardown() {
    if [ -d "$WINEPREFIX" ]; then "$wineserver" -k >/dev/null 2>&1; "$wineserver" -w >/dev/null 2>&1; fi
    if [ -f "$dir/xvfb.pid" ]; then kill "$(cat "$dir/xvfb.pid")" 2>/dev/null; rm -f "$dir/xvfb.pid"; fi
    rm -rf "$WINEPREFIX" "$dir/display" "$dir/ready" "$dir/arch"
}

start_display() {
    local n
    for n in $(seq 91 140); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp </dev/null >/dev/null 2>&1 9>&- &
        echo $! >"$dir/xvfb.pid"
        for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
        if kill -0 "$(cat "$dir/xvfb.pid")" 2>/dev/null; then echo ":$n" >"$dir/display"; return 0; fi
    done
    echo "wine-run: no free X display" >&2; return 1
}

init() {
    [ -f "$dir/ready" ] && kill -0 "$(cat "$dir/xvfb.pid" 2>/dev/null)" 2>/dev/null && return 0
    teardown
    WINEARCH=$arch
    if [ -n "${SETUPINSTALL_WINE_TEMPLATE:-}" ]; then
        cp -a "$SETUPINSTALL_WINE_TEMPLATE" "$WINEPREFIX" || { echo "wine-run: cannot copy $SETUPINSTALL_WINE_TEMPLATE" >&2; return 1; }
        grep -q '^#arch=win32' "$WINEPREFIX/system.reg" && WINEARCH=win32 || WINEARCH=win64
    fi
    export WINEARCH
    echo "$WINEARCH" >"$dir/arch"
    start_display || return 1
    export DISPLAY=$(cat "$dir/display")
    # A 32-bit prefix is made by the 32-bit loader; a 64-bit one by wine64
    # (with the 32-bit loader installed it gets its WoW64 half as well).
    local maker=$wine64
    [ "$WINEARCH" = win32 ] && maker=$wine32
    "$wineserver" -p </dev/null >/dev/null 2>&1 9>&-
    "$maker" cmd /c exit </dev/null >/dev/null 2>&1 9>&-
    [ -d "$WINEPREFIX/drive_c/windows/system32" ] || { echo "wine-run: $maker made no $WINEARCH prefix" >&2; return 1; }
    # Crashes exit at once; no window manager waits at window destruction.
    printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]\r\n"ShowCrashDialog"=dword:00000000\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n"Managed"="N"\r\n"Decorated"="N"\r\n' >"$WINEPREFIX/drive_c/setupinstall-test.reg"
    "$maker" reg import 'C:\setupinstall-test.reg' </dev/null >/dev/null 2>&1 9>&-
    rm -f "$WINEPREFIX/drive_c/setupinstall-test.reg"
    cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null
    # Wine links the user's shell folders (Desktop, Documents, Templates, ...)
    # to the Unix home folder: made real folders, no test can reach the home.
    find "$WINEPREFIX/drive_c/users" -type l -print0 | while IFS= read -r -d '' link; do
        rm -f "$link" && mkdir -p "$link"
    done
    touch "$dir/ready"
}

# The lock's descriptor must never reach a long-lived child (wineserver,
# Xvfb): the lock would be held for as long as that child lives.
exec 9>"$dir/lock"
case $mode in
    teardown) flock 9; teardown; exit 0 ;;
    init) flock 9; init; exit $? ;;
esac

flock 9
init || exit 1
# A prefix keeps the architecture it was made with (recorded by --init).
export WINEARCH=$(cat "$dir/arch")
wine=$(loader)
flock -u 9
exec 9>&-
export DISPLAY=$(cat "$dir/display")

out=$(mktemp "$dir/out.XXXXXX"); err=$(mktemp "$dir/err.XXXXXX")
t0=$(date +%s.%N)
"$wine" "$@" </dev/null >"$out" 2>"$err"
rc=$?
cat "$out"; cat "$err" >&2
# A program that fails without a word may never have run: say so, with the
# time it took and the time of day, to line it up with other logs. Without
# its preloader a Wine process now and then dies this way before it runs
# (exit code 1; scripts/deps.sh installs the preloaders).
if [ $rc != 0 ] && [ ! -s "$out" ] && [ ! -s "$err" ]; then
    echo "wine-run: $(basename "$1") ended with exit code $rc after $(awk "BEGIN{printf \"%.3f\", $(date +%s.%N) - $t0}") s, at $(date +%T.%3N), printing nothing ($wine, $WINEPREFIX)" >&2
    [ -e "$wine-preloader" ] || echo "wine-run: no $wine-preloader here: see scripts/deps.sh" >&2
fi
rm -f "$out" "$err"
exit $rc
