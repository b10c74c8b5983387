#!/usr/bin/env bash
# Installs what the build and the tests need, from Debian packages only, and
# unpacks the LZMA SDK (the C sources of Debian's 7zip source package).
# Idempotent and non-interactive: a second run does nothing.
#
#   deps.sh        what the build and the tests need
#   deps.sh --vm   only what the host needs for the VM fallback (scripts/vm/):
#                  where this kernel cannot run 32-bit code
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
deps_dir=${SETUPINSTALL_DEPS_DIR:-$here/build/_deps}

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }
# install_missing PACKAGE...: apt-get installs those not installed yet.
install_missing() {
    local p missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -gt 0 ] || return 0
    echo "deps: installing ${missing[*]}"
    as_root apt-get update -qq
    DEBIAN_FRONTEND=noninteractive as_root apt-get -o DPkg::Lock::Timeout=600 install -y -qq \
        --no-install-recommends "${missing[@]}" >/dev/null
}

# The VM fallback's host side: debootstrap and its keyring (image.sh), mkfs.ext4
# with -d (image.sh), qemu-system-x86_64 with its firmware and 9p shares
# (run.sh). Never needed where the probe passes, so installed only on demand.
if [ "${1:-}" = --vm ]; then
    install_missing debootstrap debian-archive-keyring e2fsprogs qemu-system-x86
    for tool in debootstrap mkfs.ext4 qemu-system-x86_64 chroot flock findmnt; do
        command -v "$tool" >/dev/null || PATH=$PATH:/usr/sbin:/sbin command -v "$tool" >/dev/null ||
            { echo "deps: $tool is still missing after the install" >&2; exit 1; }
    done
    exit 0
fi

# Wine's loaders come with their preloaders (wine64-preloader here,
# wine32-preloader:i386 below; packages that Wine only suggests). Without one,
# Wine reserves its fixed addresses only once the loader runs, after the kernel
# has put the loader's heap at a random spot up to 1 GB above it (0x7d000000):
# now and then that heap covers 0x7ffe0000, the shared user data page, and the
# process ends at once with exit code 1 ("failed to map the shared user data:
# c0000018", silent under WINEDEBUG=-all), about one 64-bit process start in a
# few thousand. The preloader reserves those addresses before anything else is
# mapped there.
packages=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools wine wine64 wine64-preloader
          xvfb xauth 7zip imagemagick icoutils python3-pefile googletest cmake
          make dpkg-dev xz-utils python3 locales x11-utils osslsigncode openssl
          # the screenshots' fonts: Japanese, Chinese, Korean and Cyrillic (Noto
          # Sans CJK), Thai (Loma), Cyrillic and Vietnamese (DejaVu Sans)
          fonts-noto-cjk fonts-tlwg-loma-ttf fonts-dejavu-core)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
updated=0
if [ ${#missing[@]} -gt 0 ]; then
    echo "deps: installing ${missing[*]}"
    as_root apt-get update -qq
    updated=1
    DEBIAN_FRONTEND=noninteractive as_root apt-get -o DPkg::Lock::Timeout=600 install -y -qq "${missing[@]}" >/dev/null
fi

# The 32-bit Wine loader, for the shipped i686 build (scripts/probe32.sh says
# whether this kernel runs it).
# With its preloader, as above.
i386_packages=(wine32:i386 wine32-preloader:i386)
i386_missing=()
for p in "${i386_packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || i386_missing+=("$p")
done
if [ ${#i386_missing[@]} -gt 0 ]; then
    echo "deps: installing ${i386_missing[*]}"
    dpkg --print-foreign-architectures | grep -qx i386 || as_root dpkg --add-architecture i386
    as_root apt-get update -qq
    DEBIAN_FRONTEND=noninteractive as_root apt-get -o DPkg::Lock::Timeout=600 install -y -qq \
        --no-install-recommends "${i386_missing[@]}" >/dev/null
fi

# A Japanese locale: one test runs the installer under code page 932, which
# Wine takes from the Unix locale.
if ! locale -a 2>/dev/null | grep -qix 'ja_JP\.utf-\?8'; then
    as_root localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi

# The LZMA SDK: C/ of the 7zip source package, unpacked once under deps_dir.
sdk="$deps_dir/lzma-sdk"
if [ ! -f "$sdk/C/7zDec.c" ]; then
    src_list=/etc/apt/sources.list.d/setupinstall-src.sources
    if ! apt-get source --print-uris 7zip >/dev/null 2>&1; then
        if [ -f /etc/apt/sources.list.d/debian.sources ]; then
            # the first stanza (the main archive), as deb-src
            awk 'BEGIN{RS=""} NR==1 {print; exit}' /etc/apt/sources.list.d/debian.sources |
                sed 's/^Types:.*/Types: deb-src/' | as_root tee "$src_list" >/dev/null
        fi
        if [ ! -s "$src_list" ]; then
            printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: bookworm\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' |
                as_root tee "$src_list" >/dev/null
        fi
        as_root apt-get update -qq
    fi
    work="$deps_dir/7zip-src"
    rm -rf "$work"; mkdir -p "$work"
    (cd "$work" && apt-get source --download-only -qq 7zip >/dev/null)
    orig=$(ls "$work"/7zip_*.orig.tar.* | head -n1)
    rm -rf "$sdk.tmp"; mkdir -p "$sdk.tmp"
    tar -xf "$orig" -C "$sdk.tmp"
    top=$(find "$sdk.tmp" -mindepth 1 -maxdepth 2 -type d -name C | head -n1)
    [ -n "$top" ] || { echo "deps: no C/ folder in $orig" >&2; exit 1; }
    rm -rf "$sdk"; mv "$(dirname "$top")" "$sdk"; rm -rf "$sdk.tmp" "$work"
    echo "deps: LZMA SDK at $sdk"
fi
