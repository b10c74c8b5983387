#!/usr/bin/env bash
# Runs a Windows program of the x86_64 twin under wine64.
#
#   wine-run.sh PROGRAM.exe [ARGS...]   run it (the prefix is made on first use)
#   wine-run.sh --init                  make the prefix and its display if missing
#   wine-run.sh --teardown              stop what --init started and remove the prefix
#
# One throwaway prefix per build tree (BUILD/wine/prefix), with one persistent
# wineserver and one Xvfb display, both started with stdio on /dev/null so that
# Wine's helper processes never hold a caller's pipe open. The program's own
# output goes through files for the same reason.
set -u
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

if [ -z "${SETUPINSTALL_WINE_DIR:-}" ]; then
    if [ "$mode" = run ] && b=$(find_build_dir "$1"); then
        SETUPINSTALL_WINE_DIR=$b/wine
    else
        echo "wine-run: set SETUPINSTALL_WINE_DIR" >&2; exit 2
    fi
fi
dir=$SETUPINSTALL_WINE_DIR
mkdir -p "$dir"
export WINEPREFIX=$dir/prefix WINEARCH=win64 WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="

teardown() {
    if [ -d "$WINEPREFIX" ]; then "$wineserver" -k >/dev/null 2>&1; "$wineserver" -w >/dev/null 2>&1; fi
    if [ -f "$dir/xvfb.pid" ]; then kill "$(cat "$dir/xvfb.pid")" 2>/dev/null; rm -f "$dir/xvfb.pid"; fi
    rm -rf "$WINEPREFIX" "$dir/display" "$dir/ready"
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
    start_display || return 1
    export DISPLAY=$(cat "$dir/display")
    "$wineserver" -p </dev/null >/dev/null 2>&1 9>&-
    "$wine64" cmd /c exit </dev/null >/dev/null 2>&1 9>&-
    "$wine64" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1 9>&-
    "$wine64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f </dev/null >/dev/null 2>&1 9>&-
    "$wine64" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f </dev/null >/dev/null 2>&1 9>&-
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
flock -u 9
exec 9>&-
export DISPLAY=$(cat "$dir/display")

out=$(mktemp "$dir/out.XXXXXX"); err=$(mktemp "$dir/err.XXXXXX")
"$wine64" "$@" </dev/null >"$out" 2>"$err"
rc=$?
cat "$out"; cat "$err" >&2
rm -f "$out" "$err"
exit $rc
