#!/usr/bin/env bash
# The Windows window on a network drive under Wine: slowfs (the tests' FUSE passthrough, every
# call held 10 ms, the kernel's caches on for a second as CIFS keeps them) over 250 files in 5
# folders, seen in Wine as drive N: of type network. bench_win32netmount.exe runs twice: slowfs
# answering one call at a time (-s), then many; the second run prints the figures. Needs
# /dev/fuse and fusermount3. SLOWFS_OPTIONS replaces the mount options (caches off:
# attr_timeout=0,entry_timeout=0,negative_timeout=0,max_threads=64).
#   win32netmount.sh BUILD bench_win32netmount.exe
set -uo pipefail
build=$(realpath "$1")
exe=$2
slowfs=$build/tests/platform/slowfs
if [[ ! -w /dev/fuse ]] || ! command -v fusermount3 >/dev/null || [[ ! -x $slowfs ]]; then
    echo "bench_win32netmount: needs /dev/fuse, fusermount3 and $slowfs; not run"
    exit 0
fi
root=$(mktemp -d /tmp/dateimark-bench-win32netmount-XXXXXX)
trap 'fusermount3 -u "$root/netz" 2>/dev/null; rm -rf "$root"' EXIT
mkdir -p "$root/netz"

# A prefix of its own, whose drive N: is the mount; Wine takes a drive's type from the registry.
export WINEPREFIX=$build/wineprefix-netmount WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=$(command -v wine64 || command -v wine)
if [[ ! -f $WINEPREFIX/system.reg ]]; then
    (unset DISPLAY && "$wine" wineboot --init >/dev/null 2>&1)
    wineserver -w
fi
"$wine" reg add 'HKLM\Software\Wine\Drives' /v n: /d network /f >/dev/null 2>&1
wineserver -w
ln -sfn "$root/netz" "$WINEPREFIX/dosdevices/n:"

run() { # slowfs options, then the exe's arguments after the folder
    local options=$1
    shift
    rm -rf "$root/daten" # both runs set H on the same fresh files
    for d in 0 1 2 3 4; do
        mkdir -p "$root/daten/ordner$d"
        for f in $(seq 0 49); do echo x >"$root/daten/ordner$d/datei$f.txt"; done
    done
    "$slowfs" "$root/daten" "$root/netz" 10 -f $options \
        -o "${SLOWFS_OPTIONS:-max_threads=64}" 2>/dev/null &
    local pid=$!
    for _ in $(seq 250); do
        [[ $(stat -f -c %t "$root/netz") == 65735546 ]] && break
        sleep 0.02
    done
    # A failed row would wait for an answer in a message box.
    WINE_WITH_DISPLAY=1 timeout 900 xvfb-run -a "$(dirname "$0")/../tests/run-wine.sh" "$exe" \
        'N:\' "$@"
    fusermount3 -u "$root/netz"
    wait $pid
}
run -s >"$root/serial.txt"
grep -v '^serial ' "$root/serial.txt"
serial=$(sed -n 's/^serial //p' "$root/serial.txt")
[[ -n $serial ]] || { echo "bench_win32netmount: the run with one call at a time failed"; exit 1; }
run "" $serial
