#!/usr/bin/env bash
# Builds (once) the Debian VM image that runs 32-bit Wine where the host kernel
# cannot, and prints the folder that holds it:
#
#   image.sh            build if missing, then print the image folder
#   image.sh --path     print the folder only (it may not exist yet)
#
# The image is a debootstrap of bookworm with Wine (32 and 64 bit), Xvfb, fonts,
# cmake, and the kernel and initrd of linux-image-amd64 (IA32 emulation). Its two
# Wine prefixes (win32 set to Windows XP, and win64) are made inside the VM
# because a host without 32-bit support cannot run 32-bit Wine.
#
# It is cached outside the clone, under $SETUPINSTALL_VM_CACHE
# (/var/cache/setupinstall-vm), in a folder named after a hash of the files the
# image is made from (its recipe), so a changed recipe builds a new image. One
# build at a time (flock); a finished image is never modified.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cache=${SETUPINSTALL_VM_CACHE:-/var/cache/setupinstall-vm}

# The recipe: what goes into the image. run.sh, smoke.sh and the README may
# change without a rebuild.
recipe=(image.sh guest-init make-prefixes.sh)
hash=$(cd "$here" && cat "${recipe[@]}" | sha256sum | cut -c1-16)
image=$cache/$hash
[ "${1:-}" = --path ] && { echo "$image"; exit 0; }
[ -f "$image/ready" ] && { echo "$image"; exit 0; }

if [ "$(id -u)" -ne 0 ]; then exec sudo -E "$0" "$@"; fi

mkdir -p "$cache"
exec 8>"$cache/build.lock"
flock 8
[ -f "$image/ready" ] && { echo "$image"; exit 0; }

packages=(linux-image-amd64 initramfs-tools kmod udev procps iproute2 util-linux
          wine wine64 wine32:i386 xvfb xauth
          fonts-wine fonts-dejavu-core fonts-noto-cjk fonts-thai-tlwg locales
          cmake 7zip imagemagick icoutils python3-pefile)

sources=/etc/apt/sources.list.d/debian.sources
mirror=$(awk '/^URIs:/ {print $2; exit}' "$sources" 2>/dev/null || true)
mirror=${mirror:-http://deb.debian.org/debian}
keyring=/usr/share/keyrings/debian-archive-keyring.gpg

# Downloaded packages are kept across builds (not part of any image).
debs=$cache/debs
work=$image.tmp
root=$work/root
log=$work/build.log
mounted=()
unmount_all() {
    local m
    for m in "${mounted[@]}"; do umount "$m" 2>/dev/null || umount -l "$m" 2>/dev/null || true; done
    mounted=()
}
# Removes the work folder only when nothing is mounted below it.
remove_work() {
    unmount_all
    if findmnt -rn -o TARGET | grep -q "^$work/"; then
        echo "vm image: mounts left under $work, not removing it" >&2; return 1
    fi
    rm -rf --one-file-system "$work"
}
trap 'unmount_all' EXIT
# Left-overs of interrupted builds.
for stale in "$cache"/*.tmp; do
    [ -e "$stale" ] || continue
    work=$stale; remove_work || exit 1
done
work=$image.tmp
mkdir -p "$work"
echo "vm image: building $image (log: $log)" >&2

t0=$(date +%s)
step() { echo "$(( $(date +%s) - t0 )) s: $*" | tee -a "$work/timings" >&2; }

step "debootstrap bookworm from $mirror"
mkdir -p "$debs"
debootstrap --arch=amd64 --variant=minbase --keyring="$keyring" --cache-dir="$debs" bookworm "$root" "$mirror" >>"$log" 2>&1 ||
    { tail -n 30 "$log" >&2; exit 1; }

step "packages"
if [ -f "$sources" ]; then cp "$sources" "$root/etc/apt/sources.list.d/debian.sources"; rm -f "$root/etc/apt/sources.list"; fi
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"; chmod 755 "$root/usr/sbin/policy-rc.d"
# The initrd must find the virtio disk; the shares' modules come along.
mkdir -p "$root/usr/share/initramfs-tools/modules.d"
printf '%s\n' virtio_pci virtio_blk ext4 9pnet_virtio 9p >"$root/usr/share/initramfs-tools/modules.d/setupinstall-vm"
mount -t proc proc "$root/proc"; mounted+=("$root/proc")
mount --bind "$debs" "$root/var/cache/apt/archives"; mounted+=("$root/var/cache/apt/archives")
in_root() { chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive LC_ALL=C "$@"; }
{
    in_root dpkg --add-architecture i386 &&
    in_root apt-get update &&
    in_root apt-get install -y --no-install-recommends "${packages[@]}"
} >>"$log" 2>&1 || { tail -n 30 "$log" >&2; exit 1; }
echo ja_JP.UTF-8 UTF-8 >"$root/etc/locale.gen"; echo de_DE.UTF-8 UTF-8 >>"$root/etc/locale.gen"
in_root locale-gen >>"$log" 2>&1
unmount_all
rm -f "$root/usr/sbin/policy-rc.d"
rm -rf --one-file-system "$root/var/lib/apt/lists/"*
install -m 755 "$here/guest-init" "$root/usr/local/sbin/setupinstall-vm-init"
install -D -m 755 "$here/make-prefixes.sh" "$root/usr/local/lib/setupinstall-vm/make-prefixes.sh"
echo setupinstall-vm >"$root/etc/hostname"
printf '/dev/vda / ext4 rw,noatime 0 1\n' >"$root/etc/fstab"
cp "$root"/boot/vmlinuz-* "$work/vmlinuz"
cp "$root"/boot/initrd.img-* "$work/initrd.img"

step "root filesystem image"
# Room for the prefixes and for the copies the tests make (sparse on the host).
mkfs.ext4 -q -F -L setupinstall-vm -d "$root" "$work/root.img" 16G >>"$log" 2>&1 ||
    { tail -n 30 "$log" >&2; exit 1; }
rm -rf --one-file-system "$root"

step "Wine prefixes (in the VM)"
SETUPINSTALL_VM_IMAGE=$work SETUPINSTALL_VM_WRITABLE=1 \
    "$here/run.sh" --no-share --timeout 3600 -- /usr/local/lib/setupinstall-vm/make-prefixes.sh >>"$log" 2>&1 ||
    { tail -n 40 "$log" >&2; exit 1; }

step "done: $(du -sh --apparent-size "$work/root.img" | cut -f1) apparent, $(du -sh "$work/root.img" | cut -f1) used"
touch "$work/ready"
mv "$work" "$image"
# Images of older recipes are no longer used.
for old in "$cache"/*/ready; do
    [ -e "$old" ] || continue
    d=$(dirname "$old")
    [ "$d" != "$image" ] && rm -rf --one-file-system "$d"
done
echo "$image"
