#!/usr/bin/env bash
# Runs the Windows window's tests under Wine in a virtual X server, then reads from Linux what
# Wine stored for a file the window marked hidden: both products see the same file.
set -uo pipefail
exe=${1:?usage: run-window-tests.sh win32_window_tests.exe}
keep_dir=$(mktemp -d)
trap 'rm -rf "$keep_dir"' EXIT
keep=$keep_dir/versteckt.txt
export DATEIMARK_KEEP_HIDDEN="Z:${keep//\//\\}"
WINE_WITH_DISPLAY=1 xvfb-run -a "$(dirname "$0")/../../run-wine.sh" "$exe" || exit $?
value=$(getfattr --only-values -n user.DOSATTRIB "$keep" 2>/dev/null | tr -d '\0')
echo "user.DOSATTRIB of the file marked hidden in the window: ${value:-none}"
[[ $value =~ ^0x[0-9a-fA-F]+$ ]] && (((value & 2) != 0)) ||
    { echo "H is not where Samba and the Linux side read it"; exit 1; }
