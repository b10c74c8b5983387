#!/bin/bash
# Runs inside the VM while its image is built: makes the two Wine prefix
# templates on the VM's own disk, ready for tests to copy.
#   /opt/setupinstall-vm/prefix-win32   32-bit Windows XP (WINEARCH=win32)
#   /opt/setupinstall-vm/prefix-win64   64-bit Windows (32-bit programs run in WoW64)
# Both get what a test prefix needs: no crash dialog, no window manager waits,
# Wine's fonts, and real folders instead of links to the Unix home.
set -u
base=/opt/setupinstall-vm
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

Xvfb :90 -screen 0 1024x768x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -e /tmp/.X11-unix/X90 ] && break; sleep 0.2; done
export DISPLAY=:90

make_prefix() {  # ARCH LOADER SERVER [VERSION]
    local arch=$1 wine=$2 server=$3 version=${4:-} t0=$SECONDS
    export WINEPREFIX=$base/prefix-$arch WINEARCH=$arch
    rm -rf "$WINEPREFIX"; mkdir -p "$base"
    "$server" -p </dev/null >/dev/null 2>&1
    "$wine" wineboot -i </dev/null >/dev/null 2>&1 || { echo "wineboot failed for $arch"; return 1; }
    # Every setting in one Wine start.
    {
        echo '@echo off'
        [ -n "$version" ] && echo "reg add HKCU\\Software\\Wine /v Version /t REG_SZ /d $version /f >nul"
        echo 'reg add HKCU\Software\Wine\WineDbg /v ShowCrashDialog /t REG_DWORD /d 0 /f >nul'
        echo 'reg add "HKCU\Software\Wine\X11 Driver" /v Managed /t REG_SZ /d N /f >nul'
        echo 'reg add "HKCU\Software\Wine\X11 Driver" /v Decorated /t REG_SZ /d N /f >nul'
    } | sed 's/$/\r/' >"$WINEPREFIX/drive_c/setup.cmd"
    "$wine" cmd /c 'C:\setup.cmd' </dev/null >/dev/null 2>&1
    rm -f "$WINEPREFIX/drive_c/setup.cmd"
    "$server" -k; "$server" -w
    cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" || return 1
    find "$WINEPREFIX/drive_c/users" -type l -print0 | while IFS= read -r -d '' link; do
        rm -f "$link" && mkdir -p "$link"
    done
    echo "prefix $arch: $((SECONDS - t0)) s, $(du -sh "$WINEPREFIX" | cut -f1)"
}

rc=0
make_prefix win32 /usr/lib/wine/wine /usr/lib/wine/wineserver32 winxp || rc=1
make_prefix win64 /usr/lib/wine/wine64 /usr/lib/wine/wineserver64 || rc=1
kill $xvfb
sync
exit $rc
