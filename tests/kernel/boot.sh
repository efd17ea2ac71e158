#!/bin/sh
# One boot of one of Debian's kernels under qemu for all kernel tests of that kernel:
#   boot.sh CACHE stable|backports RESULTS PROGRAM FS...
# The guest runs PROGRAM's cases of each FS; RESULTS gets FS.log and FS.rc and console.log.
# Fails only when the boot itself fails; each file system's entry judges its own result.
set -eu
cache=$1 which=$2 results=$(realpath -m "$3") program=$(realpath "$4")
shift 4
here=$(dirname "$(realpath "$0")")
command -v qemu-system-x86_64 >/dev/null ||
    { echo "qemu-system-x86_64 missing (package qemu-system-x86; scripts/setup.sh test)" >&2; exit 1; }
kernel=$("$here/prepare.sh" "$cache" "$which")

rm -rf "$results"
mkdir -p "$results"
echo "$*" >"$results/filesystems"
echo "$program" >"$results/program"
realpath "$kernel/modules" >"$results/modules"

# Software emulation with one vCPU: these machines offer no KVM that boots a stock kernel, and a
# second vCPU only slows TCG down on two cores.
start=$(date +%s)
timeout 1500 qemu-system-x86_64 -accel tcg -cpu max -smp 1 -m 2048 -nodefaults -no-user-config \
    -display none -no-reboot -serial "file:$results/console.log" -nic none \
    -kernel "$kernel/vmlinux" -initrd "$kernel/initramfs.gz" \
    -append "console=ttyS0 quiet panic=-1 dm_run=$here/guest.sh" \
    -virtfs local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap \
    -virtfs "local,path=$results,mount_tag=results,security_model=none" || true
echo "$(cat "$kernel/release"): boot and tests $(($(date +%s) - start)) s" | tee "$results/time"
grep -q '^DM-EXIT=' "$results/console.log" || {
    echo "the guest did not finish; its console:" >&2
    tail -n 40 "$results/console.log" >&2
    exit 1
}
