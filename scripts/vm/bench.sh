#!/usr/bin/env bash
# Prints the VM's figures: how its cached image was built (step times), its
# size, one boot, and a prefix template copied to the VM's own disk against
# the 9p share (why run-x86.sh keeps the Wine test areas on the VM's disk).
#
#   bench.sh        (builds the image first if it is missing)
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
clone=$(cd "$here/../.." && pwd)
if [ ! -d /opt/setupinstall-vm ]; then
    image=$("$here/image.sh") || exit 1
    echo "image $image:"; sed 's/^/  /' "$image/timings"
    echo "  root.img $(du -h --apparent-size "$image/root.img" | cut -f1) sparse, $(du -h "$image/root.img" | cut -f1) used;" \
         "kernel+initrd $(du -ch "$image/vmlinuz" "$image/initrd.img" | tail -n1 | cut -f1)"
    mkdir -p "$clone/build"
    exec "$here/run.sh" --share "$clone" -- "$here/bench.sh"
fi

# In the VM.
t() { local t0; t0=$(date +%s.%N); "$@"; sync; awk -v a="$t0" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f s", b - a }'; }
nine=$clone/build/vm-bench-prefix
rm -rf "$nine"
echo "win32 template ($(du -sh /opt/setupinstall-vm/prefix-win32 | cut -f1)) copied:" \
     "to the VM's disk $(t cp -a /opt/setupinstall-vm/prefix-win32 /var/tmp/bench-prefix)," \
     "to 9p $(t cp -a /opt/setupinstall-vm/prefix-win32 "$nine")"
rm -rf "$nine"
