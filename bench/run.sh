#!/usr/bin/env bash
# Runs every benchmark; each prints its raw times and then one `name: value` line per figure.
set -euo pipefail
build=${1:-build}
for b in "$build"/bench/bench_*; do
    [[ -f $b && -x $b ]] || continue
    echo "== $(basename "$b")"
    "$b"
done
# The Windows window's benchmarks, under Wine in a virtual X server.
for b in "$build"/windows/bench/bench_*.exe; do
    [[ -f $b ]] || continue
    echo "== $(basename "$b") (Wine)"
    if [[ $b == *netmount* ]]; then
        "$(dirname "$0")/win32netmount.sh" "$build" "$b"
        continue
    fi
    WINEPREFIX=$(realpath "$build")/wineprefix WINE_WITH_DISPLAY=1 \
        xvfb-run -a "$(dirname "$0")/../tests/run-wine.sh" "$b"
done
