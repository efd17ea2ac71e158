#!/usr/bin/env bash
# Runs a Windows test program under Wine, headless: run-wine.sh program.exe [arguments...]
# The prefix (WINEPREFIX, default: beside the program) is made once, under a lock, so that
# parallel runs do not make it twice. Exit code 77 (a skip for ctest) when Wine or the program
# is missing.
set -uo pipefail
exe=${1:?usage: run-wine.sh program.exe [arguments...]}
shift
wine=$(command -v wine64 || command -v wine || true)
[[ -n $wine && -f $exe ]] || { echo "skipped: ${wine:-wine} or $exe missing" >&2; exit 77; }

# No Mono, no Gecko. Wine takes the time zone and the user locale from the environment.
export WINEPREFIX=${WINEPREFIX:-$(dirname "$(realpath "$exe")")/wineprefix} WINEDEBUG=-all \
    WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64 TZ=${TZ:-Europe/Berlin} \
    LC_ALL=${LC_ALL:-de_DE.UTF-8}
# Console programs need no window system; a window's tests ask for one (WINE_WITH_DISPLAY=1).
if [[ ${WINE_WITH_DISPLAY:-} != 1 ]]; then
    WINEDLLOVERRIDES+=";winex11.drv,winewayland.drv="
    unset DISPLAY WAYLAND_DISPLAY
fi
mkdir -p "$WINEPREFIX"
(
    flock 9
    [[ -f $WINEPREFIX/system.reg ]] || { "$wine" wineboot --init >/dev/null 2>&1; wineserver -w; }
) 9>"$WINEPREFIX.lock"
"$wine" "$exe" "$@"
rc=$?
wineserver -w # the next run or an rm -rf must not race with this prefix's server
exit $rc
