#!/bin/sh
# PID 1 of the guest: runs the kernel tests of each file system named in RESULTS/filesystems,
# leaves FS.log and FS.rc in RESULTS, says DM-EXIT=<status> on the console and powers off.
results=$1
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
export HOME=/root TMPDIR=/dm-tmp LC_ALL=C.UTF-8 TZ=UTC
# A scratch space of its own: a tmpfs over /tmp would hide the build when it lies under /tmp.
mkdir -p /dm-tmp
mount -t tmpfs -o size=1g tmpfs /dm-tmp
mount -t tmpfs tmpfs /run
mkdir -p /run/lock
# Drivers and ciphers load on demand from the kernel's own modules.
release=$(uname -r)
modules=$(cat "$results/modules")
if [ "$modules" != / ]; then
    mkdir -p "/lib/modules/$release"
    mount --bind "$modules/lib/modules/$release" "/lib/modules/$release"
fi
echo /sbin/modprobe >/proc/sys/kernel/modprobe
ip link set lo up 2>/dev/null || busybox ip link set lo up
hostname dateimark-guest

status=0
for fs in $(cat "$results/filesystems"); do
    start=$(date +%s)
    "$(cat "$results/program")" --gtest_filter="$fs.*" >"$results/$fs.log" 2>&1
    rc=$?
    echo "$fs: $(($(date +%s) - start)) s in the guest" >>"$results/$fs.log"
    echo "$rc" >"$results/$fs.rc"
    [ "$rc" = 0 ] || status=1
done
sync
echo "DM-EXIT=$status"
busybox poweroff -f
