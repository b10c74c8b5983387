#!/usr/bin/env bash
# Exit 0 when this machine can run the shipped 32-bit build under Wine: the
# kernel runs 32-bit code (a 93-byte static i386 program that exits 0) and the
# 32-bit Wine loader starts. Otherwise one line says why, and the exit is 1.
# SETUPINSTALL_FORCE_VM=1 reports "not supported" (forces the VM fallback).
set -u
if [ "${SETUPINSTALL_FORCE_VM:-0}" = 1 ]; then
    echo "probe32: 32-bit code not supported (forced by SETUPINSTALL_FORCE_VM=1)"; exit 1
fi
loader=/usr/lib/wine/wine
tmp=$(mktemp -d "${TMPDIR:-/tmp}/probe32.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
# ELF32 header, one loadable segment, then: mov eax,1; xor ebx,ebx; int 0x80
printf '\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80' >"$tmp/exit0"
chmod +x "$tmp/exit0"
if ! err=$("$tmp/exit0" 2>&1); then
    echo "probe32: this kernel does not run 32-bit code (${err:-non-zero exit})"; exit 1
fi
if [ ! -x "$loader" ]; then
    echo "probe32: no 32-bit Wine loader at $loader (package wine32:i386)"; exit 1
fi
if ! err=$(timeout 60 "$loader" --version 2>&1 </dev/null); then
    echo "probe32: the 32-bit Wine loader does not start: $(echo "$err" | head -n1)"; exit 1
fi
exit 0
