#!/usr/bin/env bash
# Builds SetupInstall.exe (build/i686/bin, the shipped 32-bit file) and its
# x86_64 twin, then runs the twin under Wine in a virtual display on the
# sample payload, in a throwaway prefix, and reports what it did.
#   scripts/run.sh [--version win10|win81|win7|winxp64] [--keep]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
version=win10
keep=0
while [ $# -gt 0 ]; do
    case "$1" in
        --version) version=$2; shift 2 ;;
        --keep) keep=1; shift ;;
        *) echo "usage: $0 [--version V] [--keep]" >&2; exit 2 ;;
    esac
done

"$here/scripts/build.sh"
build=${SETUPINSTALL_BUILD_DIR:-$here/build}
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
start=$(date +%s.%N)
"$run" "$build/x64/bin/SetupInstall.exe" /log &
pid=$!
# A screenshot once the window has been up for a while.
sleep 8
/usr/bin/import -window root -display "$DISPLAY" "$shot" 2>/dev/null || true
rc=0; wait $pid || rc=$?
end=$(date +%s.%N)
"$wine64" cmd /c exit >/dev/null 2>&1  # lets the background removal finish
sleep 2

appdata=$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming
target="$WINEPREFIX/drive_c/Program Files/KALVERON/AX7R_1.0"
echo
echo "== SetupInstall.exe (shipped, i686): $build/i686/bin/SetupInstall.exe, $(stat -c %s "$build/i686/bin/SetupInstall.exe") bytes"
echo "== ran the x86_64 twin as Windows '$version': exit code $rc, $(awk "BEGIN{printf \"%.1f\", $end - $start}") s"
echo "== screenshot mid-run: $shot"
echo "== installed folder: $target"
if [ -d "$target" ]; then (cd "$target" && find . | sort | sed 's/^/   /'); else echo "   (missing)"; fi
echo "== uninstall entry:"
"$wine64" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\KALVERON_FLASH' 2>/dev/null | tr -d '\r' | sed 's/^/   /' || echo "   (missing)"
echo "== unpack folder $( [ -e "$appdata/KalveronTemp" ] && echo "still present" || echo "removed")"
echo "== install log: $appdata/InstallLog/Install.log"
if [ "$keep" = 0 ]; then cp "$appdata/InstallLog/Install.log" "$out/Install.log" 2>/dev/null || true; "$run" --teardown; echo "   (copied to $out/Install.log; prefix removed)"; fi
exit $rc
