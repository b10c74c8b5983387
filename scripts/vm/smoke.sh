#!/usr/bin/env bash
# Runs the shipped 32-bit SetupInstall.exe in the VM's two prefixes and checks
# what it did:
#
#   smoke.sh [SetupInstall.exe]      (default: build/i686/bin/SetupInstall.exe)
#
# On the host it starts the VM (run.sh) and runs itself there. In the VM, for
# a copy of the Windows XP x86 prefix and of the 64-bit one (WoW64): exit code
# 2, the target folder, the uninstall entry in the 32-bit registry view (and,
# under WoW64, not in the 64-bit one), the log's architecture, and no unpack
# folder left. The checks inside Windows run as one batched cmd script.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exe=$(realpath "${1:-$here/../../build/i686/bin/SetupInstall.exe}")
[ -f "$exe" ] || { echo "smoke: no $exe (build it with scripts/build.sh)" >&2; exit 2; }
templates=/opt/setupinstall-vm
[ -d "$templates" ] || exec "$here/run.sh" -- "$here/smoke.sh" "$exe"

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
Xvfb :91 -screen 0 1024x768x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
for _ in $(seq 100); do [ -e /tmp/.X11-unix/X91 ] && break; sleep 0.2; done
export DISPLAY=:91
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\KALVERON_FLASH'
failed=0

# smoke_case ARCH TARGET ARCH-IN-LOG [LOG LINE]
smoke_case() {
    local arch=$1 target=$2 os_arch=$3 extra=${4:-} t0=$SECONDS
    export WINEPREFIX=/var/tmp/smoke-$arch WINEARCH=$arch
    rm -rf "$WINEPREFIX"; cp -a "$templates/prefix-$arch" "$WINEPREFIX"
    local t_copy=$((SECONDS - t0)); t0=$SECONDS
    /usr/lib/wine/wineserver64 -p </dev/null >/dev/null 2>&1
    local out=/var/tmp/smoke-$arch.out
    timeout 900 /usr/lib/wine/wine "$exe" /log </dev/null >"$out" 2>&1
    local rc=$? t_run=$((SECONDS - t0))
    {
        echo '@echo off'
        echo "if exist \"$target\\Uninstall.exe\" (echo target=yes) else (echo target=no)"
        echo 'if exist "%APPDATA%\KalveronTemp" (echo unpack-folder=left) else (echo unpack-folder=gone)'
        for view in 32 64; do
            echo "reg query \"$key\" /reg:$view >nul 2>&1"
            echo "if errorlevel 1 (echo entry$view=no) else (echo entry$view=yes)"
        done
        echo 'type "%APPDATA%\InstallLog\Install.log"'
    } | sed 's/$/\r/' >"$WINEPREFIX/drive_c/smoke.cmd"
    local res
    res=$(/usr/lib/wine/wine cmd /c 'C:\smoke.cmd' </dev/null 2>/dev/null | tr -d '\r')
    /usr/lib/wine/wineserver64 -k; /usr/lib/wine/wineserver64 -w
    local want_entry64=no; [ "$arch" = win32 ] && want_entry64=yes   # one view only
    local verdict=ok why=
    [ $rc -eq 2 ] || why+=" exit=$rc"
    grep -qx target=yes <<<"$res" || why+=" no-target"
    grep -qx unpack-folder=gone <<<"$res" || why+=" unpack-folder-left"
    grep -qx entry32=yes <<<"$res" || why+=" no-entry32"
    grep -qx "entry64=$want_entry64" <<<"$res" || why+=" entry64-not-$want_entry64"
    grep -q "OS architecture is $os_arch" <<<"$res" || why+=" log-not-$os_arch"
    [ -z "$extra" ] || grep -q "$extra" <<<"$res" || why+=" log-not-'$extra'"
    [ -n "$why" ] && { verdict="FAILED:$why"; failed=1; }
    echo "smoke $arch: $verdict (exit code $rc; prefix copy ${t_copy} s, run ${t_run} s, checks $((SECONDS - t0 - t_run)) s; $target)"
    if [ -n "$why" ]; then grep -v '^$' <<<"$res" | tail -n 40; tail -n 20 "$out"; fi
}

smoke_case win32 'C:\Program Files\KALVERON\AX7R_1.0' x86 'OS type is xp'
smoke_case win64 'C:\Program Files (x86)\KALVERON\AX7R_1.0' x64
exit $failed
