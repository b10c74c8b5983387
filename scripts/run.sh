#!/usr/bin/env bash
# Builds SetupInstall.exe (build/i686/bin, the shipped 32-bit file) and its
# x86_64 twin, then runs the shipped file under Wine in a virtual display on
# the built payload, in a throwaway prefix (64-bit, so through WoW64, set to
# 64-bit Windows 10), and reports what it did. Where this machine runs no
# 32-bit code (scripts/probe32.sh) the twin runs instead, and it says so.
#   scripts/run.sh [--version win10|win81|win8|win7|winxp64] [--keep] [--exe FILE]
#   scripts/run.sh --matrix [--exe FILE]
# --exe runs FILE (a 32-bit one through WoW64) instead, without building.
# --matrix runs the installer once on every branch: Windows XP, 7 and 10 x86
# in 32-bit prefixes, XP x64, 7, 8.1 and 10 x64 through WoW64; then prints one
# table (tool and command line started, service started, uninstall entry,
# unpack folder removed, seconds, verdict).
# Exit status 0 only for a good install (every branch's, with --matrix): the
# target folder, the uninstall entry, the unpack folder removed and no error
# box; otherwise 1 and a one-line reason. The installer's own exit code is
# only reported.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
version=win10
keep=0
exe=""
matrix=0
while [ $# -gt 0 ]; do
    case "$1" in
        --version) version=$2; shift 2 ;;
        --keep) keep=1; shift ;;
        --exe) exe=$(realpath "$2"); shift 2 ;;
        --matrix) matrix=1; shift ;;
        *) echo "usage: $0 [--version V] [--keep] [--exe FILE] | --matrix [--exe FILE]" >&2; exit 2 ;;
    esac
done

build=${SETUPINSTALL_BUILD_DIR:-$here/build}
can32=1 why32=""
why32=$("$here/scripts/probe32.sh") || can32=0
if [ -z "$exe" ]; then
    "$here/scripts/build.sh"
    exe=$build/i686/bin/SetupInstall.exe
    if [ $can32 = 0 ]; then
        exe=$build/x64/bin/SetupInstall.exe
        echo "!! $why32"
        echo "!! RUNNING THE x86_64 TEST TWIN, NOT THE SHIPPED 32-BIT FILE: this machine cannot run 32-bit code"
    fi
fi
out=$build/run
mkdir -p "$out"
run="$here/scripts/wine-run.sh"
wine64=/usr/lib/wine/wine64

# run_branch VERSION WINEARCH: one install in a fresh prefix of $out/wine
# (from the architecture's template under --matrix). Sets rc, seconds,
# error_box, timed_out, removed_after, target, entry, tool, service, reason.
run_branch() {
    local version=$1 t pid end appdata found key
    export SETUPINSTALL_WINE_DIR=$out/wine SETUPINSTALL_WINEARCH=$2
    "$run" --teardown
    "$run" --init
    export WINEPREFIX=$SETUPINSTALL_WINE_DIR/prefix DISPLAY=$(cat "$SETUPINSTALL_WINE_DIR/display")
    # A 32-bit prefix has no wine64; its own loader edits its registry.
    local reg=$wine64
    [ "$(cat "$SETUPINSTALL_WINE_DIR/arch")" = win32 ] && reg=/usr/lib/wine/wine
    "$reg" reg add 'HKCU\Software\Wine\AppDefaults\SetupInstall.exe' /v Version /t REG_SZ /d "$version" /f >/dev/null 2>&1
    # The sample's stand-in programs note each start here.
    local record=$out/standin-record.txt
    rm -f "$record" "$out/error-box.png"
    export SETUPINSTALL_STANDIN_RECORD="Z:$record"

    local shot=$out/screenshot.png start
    start=$(date +%s.%N)
    # wine-run's notes (an exit code with no output: the installer's normal 2
    # among them) are shown only when the verdict is not good.
    "$run" "$exe" /log 2>"$out/wine-run.err" &
    pid=$!
    # A screenshot once the window has been up for a while. An error box waits
    # for a click that never comes: seen on the display, it ends the run.
    error_box=0 timed_out=0
    local shot_taken=0 limit=${SETUPINSTALL_RUN_TIMEOUT:-180}
    for ((t = 0; t < limit * 2; t++)); do
        kill -0 $pid 2>/dev/null || break
        if [ $shot_taken = 0 ] && [ $t -ge 16 ]; then
            /usr/bin/import -window root -display "$DISPLAY" "$shot" 2>/dev/null || true; shot_taken=1
        fi
        if xwininfo -root -tree -display "$DISPLAY" 2>/dev/null | grep -q '"Error!!!"'; then
            error_box=1
            /usr/bin/import -window root -display "$DISPLAY" "$out/error-box.png" 2>/dev/null || true
            break
        fi
        sleep 0.5
    done
    if kill -0 $pid 2>/dev/null; then
        [ $error_box = 1 ] || timed_out=1
        /usr/lib/wine/wineserver64 -k >/dev/null 2>&1 || true
    fi
    rc=0; wait $pid || rc=$?
    end=$(date +%s.%N)
    seconds=$(awk "BEGIN{printf \"%.1f\", $end - $start}")
    appdata=$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming
    [ -d "$appdata" ] || appdata=$WINEPREFIX/drive_c/users/$(id -un)/Application\ Data
    unpack=$appdata/KalveronTemp
    # The exit-time removal runs in the background after the installer's end:
    # wait for the unpack folder to go, polling, up to a bound. An error box
    # or a time-out leaves it, so no wait then.
    local deadline
    removal_wait=${SETUPINSTALL_REMOVAL_WAIT:-10}
    removed_after=""
    if [ $error_box = 0 ] && [ $timed_out = 0 ]; then
        deadline=$(( $(date +%s) + removal_wait ))
        while [ -e "$unpack" ] && [ "$(date +%s)" -lt $deadline ]; do sleep 0.1; done
        [ -e "$unpack" ] || removed_after=$(awk "BEGIN{printf \"%.1f\", $(date +%s.%N) - $end}")
    fi
    # A 32-bit installer in a 64-bit prefix lands in the 32-bit views.
    target="$WINEPREFIX/drive_c/Program Files/KALVERON/AX7R_1.0"
    [ -d "$target" ] || [ ! -d "$WINEPREFIX/drive_c/Program Files (x86)/KALVERON" ] ||
        target="$WINEPREFIX/drive_c/Program Files (x86)/KALVERON/AX7R_1.0"
    entry=""
    for key in 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\KALVERON_FLASH' \
               'HKLM\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall\KALVERON_FLASH'; do
        if found=$("$reg" reg query "$key" 2>/dev/null); then entry=$(tr -d '\r' <<<"$found"); break; fi
    done
    # The starts the stand-ins noted: module path, command line, ... (tab-separated).
    tool=$(awk -F'\t' 'tolower($1) ~ /\\driverfiles\\/ {print $2}' "$record" 2>/dev/null | sed 's/%25/%/g' | head -n1)
    service=$(awk -F'\t' 'tolower($1) ~ /\\autoinstsvc\\/ {print $2}' "$record" 2>/dev/null | sed 's/%25/%/g' | head -n1)
    # The verdict: the first thing missing from a good install, on one line.
    reason=""
    if [ $error_box = 1 ]; then reason="an error box was shown (screenshot: $out/error-box.png)"
    elif [ $timed_out = 1 ]; then reason="the installer did not end within $limit s"
    elif [ ! -f "$target/Uninstall.exe" ] || [ ! -d "$target/UnLang" ] || [ ! -d "$target/DriverFiles" ] ||
         [ ! -d "$target/AutoInstSvc" ]; then reason="the target folder $target is missing or incomplete"
    elif ! grep -q 'UninstallString' <<<"$entry"; then reason="no uninstall entry KALVERON_FLASH"
    elif [ -e "$unpack" ]; then reason="the unpack folder $unpack was not removed"
    fi
    [ -z "$reason" ] || cat "$out/wine-run.err" >&2
}

if [ $matrix = 1 ]; then
    # One ready-made prefix per architecture, copied for each branch.
    templates=$out/templates
    rm -rf "$templates"
    rows=("branch	tool and command line started	service started	uninstall entry	unpack folder removed	seconds	verdict")
    failed=0
    for row in "XP x86:winxp:win32" "7 x86:win7:win32" "10 x86:win10:win32" \
               "XP x64:winxp64:win64" "7 x64:win7:win64" "8.1 x64:win81:win64" "10 x64:win10:win64"; do
        IFS=: read -r branch v arch <<<"$row"
        if [ $arch = win32 ] && [ $can32 = 0 ]; then
            rows+=("$branch	-	-	-	-	-	NOT RUN: this machine runs no 32-bit code"); continue
        fi
        if [ ! -d "$templates/$arch" ]; then
            (unset SETUPINSTALL_WINE_TEMPLATE
             SETUPINSTALL_WINE_DIR=$templates/make-$arch SETUPINSTALL_WINEARCH=$arch "$run" --init
             # Its wineserver gone first: the registry is on disk before the copy.
             export WINEPREFIX=$templates/make-$arch/prefix
             /usr/lib/wine/wineserver64 -k >/dev/null 2>&1; /usr/lib/wine/wineserver64 -w >/dev/null 2>&1
             cp -a "$WINEPREFIX" "$templates/$arch"
             SETUPINSTALL_WINE_DIR=$templates/make-$arch "$run" --teardown)
        fi
        export SETUPINSTALL_WINE_TEMPLATE=$templates/$arch
        run_branch "$v" "$arch"
        "$run" --teardown
        rows+=("$branch	${tool:-(none)}	${service:-(none)}	$(grep -q UninstallString <<<"$entry" && echo yes || echo no)	$([ -n "$removed_after" ] && echo "yes, ${removed_after} s after the end" || echo no)	$seconds	$([ -z "$reason" ] && echo OK || echo "FAILED: $reason")")
        [ -z "$reason" ] || failed=$((failed + 1))
    done
    rm -rf "$templates"
    echo
    echo "== $exe, $(stat -c %s "$exe") bytes, on every branch:"
    printf '%s\n' "${rows[@]}" | column -t -s '	'
    if [ $failed != 0 ]; then echo "FAILED: $failed branch(es)"; exit 1; fi
    echo "OK: installed on every branch that ran"
    exit 0
fi

run_branch "$version" win64
echo
shipped=$build/i686/bin/SetupInstall.exe
[ -f "$shipped" ] && echo "== SetupInstall.exe (shipped, i686): $shipped, $(stat -c %s "$shipped") bytes"
echo "== ran $exe as Windows '$version': installer exit code $rc (2 after a normal end), $seconds s"
echo "== screenshot mid-run: $out/screenshot.png"
echo "== driver install tool started: ${tool:-(not seen)}"
echo "== service program started: ${service:-(not seen)}"
echo "== installed folder: $target"
if [ -d "$target" ]; then (cd "$target" && find . | sort | sed 's/^/   /'); else echo "   (missing)"; fi
echo "== uninstall entry:"
if [ -n "$entry" ]; then echo "$entry" | sed 's/^/   /'; else echo "   (missing)"; fi
if [ -e "$unpack" ]; then echo "== unpack folder still present (waited up to $removal_wait s after the end)"
elif [ -n "$removed_after" ]; then echo "== unpack folder removed, $removed_after s after the installer ended"
else echo "== unpack folder removed"; fi
echo "== install log: $(dirname "$unpack")/InstallLog/Install.log"
if [ "$keep" = 0 ]; then
    cp "$(dirname "$unpack")/InstallLog/Install.log" "$out/Install.log" 2>/dev/null || true
    "$run" --teardown; echo "   (copied to $out/Install.log; prefix removed)"
fi

if [ -n "$reason" ]; then echo "FAILED: $reason"; exit 1; fi
echo "OK: installed"
