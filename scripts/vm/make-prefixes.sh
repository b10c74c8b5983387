#!/bin/bash
# Runs inside the VM while its image is built: makes the two Wine prefix
# templates on the VM's own disk, ready for tests to copy.
#   /opt/setupinstall-vm/prefix-win32   32-bit Windows XP (WINEARCH=win32)
#   /opt/setupinstall-vm/prefix-win64   64-bit Windows (32-bit programs run in WoW64)
# Both get what a test prefix needs: no crash dialog, no window manager waits,
# Wine's fonts, and real folders instead of links to the Unix home.
set -u
base=/opt/setupinstall-vm
wine32=/usr/lib/wine/wine
server=/usr/lib/wine/wineserver64
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

Xvfb :90 -screen 0 1024x768x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -e /tmp/.X11-unix/X90 ] && break; sleep 0.2; done
export DISPLAY=:90

make_prefix() {  # ARCH MAKER [VERSION]
    local arch=$1 maker=$2 version=${3:-} t0=$SECONDS
    export WINEPREFIX=$base/prefix-$arch WINEARCH=$arch
    rm -rf "$WINEPREFIX"; mkdir -p "$base"
    # No persistent server: waiting for it to end waits for the whole set-up,
    # the WoW64 half of a 64-bit prefix included (slow under emulation).
    "$maker" wineboot -i </dev/null >/dev/null 2>&1
    "$server" -w
    # Every setting in one Wine start, by the 32-bit loader: it also proves
    # that 32-bit programs run in the prefix.
    {
        echo '@echo off'
        [ -n "$version" ] && echo "reg add HKCU\\Software\\Wine /v Version /t REG_SZ /d $version /f >nul"
        echo 'reg add HKCU\Software\Wine\WineDbg /v ShowCrashDialog /t REG_DWORD /d 0 /f >nul'
        echo 'reg add "HKCU\Software\Wine\X11 Driver" /v Managed /t REG_SZ /d N /f >nul'
        echo 'reg add "HKCU\Software\Wine\X11 Driver" /v Decorated /t REG_SZ /d N /f >nul'
    } | sed 's/$/\r/' >"$WINEPREFIX/drive_c/setup.cmd"
    "$wine32" cmd /c 'C:\setup.cmd' </dev/null >/dev/null 2>&1
    local rc=$?
    if [ $rc -ne 0 ]; then  # once more after an update of the prefix
        "$maker" wineboot -u </dev/null >/dev/null 2>&1; "$server" -w
        "$wine32" cmd /c 'C:\setup.cmd' </dev/null >/dev/null 2>&1; rc=$?
    fi
    rm -f "$WINEPREFIX/drive_c/setup.cmd"
    "$server" -w
    [ $rc -eq 0 ] || { echo "prefix $arch: 32-bit programs do not run (exit code $rc)"; return 1; }
    cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" || return 1
    find "$WINEPREFIX/drive_c/users" -type l -print0 | while IFS= read -r -d '' link; do
        rm -f "$link" && mkdir -p "$link"
    done
    echo "prefix $arch: $((SECONDS - t0)) s, $(du -sh "$WINEPREFIX" | cut -f1)"
}

rc=0
make_prefix win32 "$wine32" winxp || rc=1
make_prefix win64 /usr/lib/wine/wine64 || rc=1
kill $xvfb
sync
exit $rc
