#!/usr/bin/env bash
# Runs every benchmark; each prints its raw times and then one `name: value` line per figure.
set -euo pipefail
build=${1:-build}
for b in "$build"/bench/bench_*; do
    [[ -f $b && -x $b ]] || continue
    echo "== $(basename "$b")"
    "$b"
done
