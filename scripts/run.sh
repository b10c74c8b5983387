#!/usr/bin/env bash
# Builds SetupInstall.exe (build/i686/bin, the shipped 32-bit file) and its
# x86_64 twin, then runs the twin under Wine in a virtual display on the
# sample payload, in a throwaway prefix, and reports what it did.
#   scripts/run.sh [--version win10|win81|win7|winxp64] [--keep] [--exe FILE]
# --exe runs FILE (a 32-bit one through WoW64) instead, without building.
# Exit status 0 only for a good install: the target folder, the uninstall
# entry, the unpack folder removed and no error box; otherwise 1 and a
# one-line reason. The installer's own exit code is only reported.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
version=win10
keep=0
exe=""
while [ $# -gt 0 ]; do
    case "$1" in
        --version) version=$2; shift 2 ;;
        --keep) keep=1; shift ;;
        --exe) exe=$(realpath "$2"); shift 2 ;;
        *) echo "usage: $0 [--version V] [--keep] [--exe FILE]" >&2; exit 2 ;;
    esac
done

build=${SETUPINSTALL_BUILD_DIR:-$here/build}
if [ -z "$exe" ]; then "$here/scripts/build.sh"; exe=$build/x64/bin/SetupInstall.exe; fi
export SETUPINSTALL_WINE_DIR=$build/run/wine
run="$here/scripts/wine-run.sh"
"$run" --teardown
"$run" --init
export WINEPREFIX=$SETUPINSTALL_WINE_DIR/prefix DISPLAY=$(cat "$SETUPINSTALL_WINE_DIR/display")
wine64=/usr/lib/wine/wine64
"$wine64" reg add 'HKCU\Software\Wine\AppDefaults\SetupInstall.exe' /v Version /t REG_SZ /d "$version" /f >/dev/null 2>&1

out=$build/run
mkdir -p "$out"
shot=$out/screenshot.png
rm -f "$out/error-box.png"
start=$(date +%s.%N)
"$run" "$exe" /log &
pid=$!
# A screenshot once the window has been up for a while. An error box waits for
# a click that never comes: seen on the display, it ends the run.
error_box=0 shot_taken=0 limit=${SETUPINSTALL_RUN_TIMEOUT:-180}
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
timed_out=0
if kill -0 $pid 2>/dev/null; then
    [ $error_box = 1 ] || timed_out=1
    /usr/lib/wine/wineserver64 -k >/dev/null 2>&1 || true
fi
rc=0; wait $pid || rc=$?
end=$(date +%s.%N)
appdata=$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming
# The exit-time removal runs in the background after the installer's end: wait
# for the unpack folder to go, polling, up to a bound (then the verdict says it
# is still there). An error box or a time-out leaves it, so no wait then.
removal_wait=${SETUPINSTALL_REMOVAL_WAIT:-10}
removed_after=""
if [ $error_box = 0 ] && [ $timed_out = 0 ]; then
    deadline=$(( $(date +%s) + removal_wait ))
    while [ -e "$appdata/KalveronTemp" ] && [ "$(date +%s)" -lt $deadline ]; do sleep 0.1; done
    [ -e "$appdata/KalveronTemp" ] || removed_after=$(awk "BEGIN{printf \"%.1f\", $(date +%s.%N) - $end}")
fi
# A 32-bit installer in this 64-bit prefix lands in the 32-bit views.
target="$WINEPREFIX/drive_c/Program Files/KALVERON/AX7R_1.0"
[ -d "$target" ] || [ ! -d "$WINEPREFIX/drive_c/Program Files (x86)/KALVERON" ] ||
    target="$WINEPREFIX/drive_c/Program Files (x86)/KALVERON/AX7R_1.0"
entry=""
for key in 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\KALVERON_FLASH' \
           'HKLM\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall\KALVERON_FLASH'; do
    if found=$("$wine64" reg query "$key" 2>/dev/null); then entry=$(tr -d '\r' <<<"$found"); break; fi
done
# The verdict: the first thing missing from a good install, on one line.
reason=""
if [ $error_box = 1 ]; then reason="an error box was shown (screenshot: $out/error-box.png)"
elif [ $timed_out = 1 ]; then reason="the installer did not end within $limit s"
elif [ ! -f "$target/Uninstall.exe" ] || [ ! -d "$target/UnLang" ] || [ ! -d "$target/DriverFiles" ] ||
     [ ! -d "$target/AutoInstSvc" ]; then reason="the target folder $target is missing or incomplete"
elif ! grep -q 'UninstallString' <<<"$entry"; then reason="no uninstall entry KALVERON_FLASH"
elif [ -e "$appdata/KalveronTemp" ]; then reason="the unpack folder $appdata/KalveronTemp was not removed"
fi
echo
shipped=$build/i686/bin/SetupInstall.exe
[ -f "$shipped" ] && echo "== SetupInstall.exe (shipped, i686): $shipped, $(stat -c %s "$shipped") bytes"
echo "== ran $exe as Windows '$version': installer exit code $rc (2 after a normal end), $(awk "BEGIN{printf \"%.1f\", $end - $start}") s"
echo "== screenshot mid-run: $shot"
echo "== installed folder: $target"
if [ -d "$target" ]; then (cd "$target" && find . | sort | sed 's/^/   /'); else echo "   (missing)"; fi
echo "== uninstall entry:"
if [ -n "$entry" ]; then echo "$entry" | sed 's/^/   /'; else echo "   (missing)"; fi
if [ -e "$appdata/KalveronTemp" ]; then echo "== unpack folder still present (waited up to $removal_wait s after the end)"
elif [ -n "$removed_after" ]; then echo "== unpack folder removed, $removed_after s after the installer ended"
else echo "== unpack folder removed"; fi
echo "== install log: $appdata/InstallLog/Install.log"
if [ "$keep" = 0 ]; then cp "$appdata/InstallLog/Install.log" "$out/Install.log" 2>/dev/null || true; "$run" --teardown; echo "   (copied to $out/Install.log; prefix removed)"; fi

if [ -n "$reason" ]; then echo "FAILED: $reason"; exit 1; fi
echo "OK: installed"
