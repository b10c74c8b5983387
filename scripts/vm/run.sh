#!/usr/bin/env bash
# Runs one command inside the Debian VM (see image.sh) and returns its exit code.
#
#   run.sh [--share DIR]... [--local DIR]... [--timeout SECONDS] -- COMMAND [ARGS...]
#
# --share DIR   a host folder shared over 9p, mounted at the same absolute path
#               in the VM (default: this clone; --no-share: none)
# --local DIR   a folder (under a shared one) replaced in the VM by an empty
#               folder on the VM's own disk: faster than 9p, gone afterwards
# --timeout S   stop the VM after S seconds (default $SETUPINSTALL_VM_TIMEOUT or 3600)
#
# The command runs as root from the current folder (when shared), with the
# SETUPINSTALL_* variables of the caller; its output is shown as it comes.
# The VM boots its image read-only (changes go to a throw-away overlay), under
# qemu's TCG with at most 2 CPUs.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
shares=() locals=() no_share=
timeout=${SETUPINSTALL_VM_TIMEOUT:-3600}
while [ $# -gt 0 ]; do
    case $1 in
        --share) shares+=("$(cd "$2" && pwd)") || exit 2; shift 2 ;;
        --no-share) no_share=1; shift ;;
        --local) locals+=("$2"); shift 2 ;;
        --timeout) timeout=$2; shift 2 ;;
        --) shift; break ;;
        *) echo "usage: run.sh [--share DIR]... [--local DIR]... [--timeout S] -- COMMAND..." >&2; exit 2 ;;
    esac
done
[ $# -gt 0 ] || { echo "run.sh: no command" >&2; exit 2; }
if [ ${#shares[@]} -eq 0 ] && [ -z "$no_share" ]; then
    clone=$(git -C "$here" rev-parse --show-toplevel 2>/dev/null) && shares=("$clone")
fi

# The host's side of the VM (qemu, and debootstrap for the image), from Debian
# packages: a fresh machine has neither.
"$here/../deps.sh" --vm || { echo "run.sh: cannot install what the VM needs (scripts/deps.sh --vm)" >&2; exit 1; }

image=${SETUPINSTALL_VM_IMAGE:-}
if [ -z "$image" ]; then image=$("$here/image.sh") || exit 1; fi

job=$(mktemp -d /tmp/setupinstall-vm-job.XXXXXX)
qpid=
cleanup() {
    [ -n "$qpid" ] && kill "$qpid" 2>/dev/null
    rm -rf --one-file-system "$job"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

append="root=/dev/vda rw console=ttyS0 quiet loglevel=3 init=/usr/local/sbin/setupinstall-vm-init"
virtfs=(-virtfs "local,path=$job,mount_tag=sijob,security_model=none,id=sijob")
i=0
for d in "${shares[@]}"; do
    case $d in
        /) echo "run.sh: will not share /" >&2; exit 2 ;;
        *[[:space:]]*) echo "run.sh: a shared path may not contain spaces: $d" >&2; exit 2 ;;
    esac
    virtfs+=(-virtfs "local,path=$d,mount_tag=si$i,security_model=none,id=si$i")
    append+=" si.share=si$i:$d"; i=$((i + 1))
done
for d in "${locals[@]}"; do
    case $d in /*) ;; *) d=$PWD/$d ;; esac
    case $d in *[[:space:]]*) echo "run.sh: a local path may not contain spaces: $d" >&2; exit 2 ;; esac
    append+=" si.local=$d"
done

# The job: the caller's folder and SETUPINSTALL_* variables, then the command.
{
    echo ': >/run/si-job/started'
    printf 'cd %q 2>/dev/null || cd /\n' "$PWD"
    while IFS= read -r name; do printf 'export %s=%q\n' "$name" "${!name}"; done \
        < <(compgen -e | grep '^SETUPINSTALL_' | grep -v '^SETUPINSTALL_VM_')
    printf '%q ' "$@"; echo
} >"$job/cmd"
: >"$job/out"

snapshot=on
[ "${SETUPINSTALL_VM_WRITABLE:-}" = 1 ] && snapshot=off
start=$(date +%s.%N)
timeout -k 10 "$timeout" qemu-system-x86_64 \
    -accel tcg,thread=multi -smp "${SETUPINSTALL_VM_CPUS:-2}" -m "${SETUPINSTALL_VM_MEMORY:-3072}" \
    -cpu max,-smap -machine q35 -nodefaults -display none -no-reboot \
    -serial "file:$job/console.log" -monitor none \
    -kernel "$image/vmlinuz" -initrd "$image/initrd.img" -append "$append" \
    -drive "file=$image/root.img,format=raw,if=virtio,snapshot=$snapshot" \
    "${virtfs[@]}" </dev/null &
qpid=$!
# In the background, so that a signal reaches the traps at once.
tail -n +1 -f --pid="$qpid" "$job/out" 2>/dev/null &
wait "$qpid"; qrc=$?; qpid=
wait
end=$(date +%s.%N)

if [ -f "$job/started" ]; then
    boot=$(stat -c %.3Y "$job/started")
    awk -v s="$start" -v b="$boot" -v e="$end" \
        'BEGIN { printf "vm: boot %.0f s, job %.0f s, total %.0f s\n", b - s, e - b, e - s }' >&2
fi
if [ ! -s "$job/rc" ]; then
    [ $qrc -eq 124 ] && echo "vm: timed out after $timeout s" >&2
    echo "vm: the job did not finish (qemu exit code $qrc); the console's last lines:" >&2
    tail -n 30 "$job/console.log" >&2
    exit 125
fi
exit "$(cat "$job/rc")"
