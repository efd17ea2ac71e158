#!/usr/bin/env bash
# Runs a Windows test program under Wine, headless: run-wine.sh program.exe [arguments...]
# The prefix (WINEPREFIX, default: beside the program) is made on first use; its making is
# serialised with a lock so that parallel test runs do not make it twice. Exit code 77 when
# Wine or the program is missing, so that ctest reports a skip, not a pass.
set -uo pipefail

exe=${1:?usage: run-wine.sh program.exe [arguments...]}
shift

wine=$(command -v wine64 || command -v wine || true)
if [[ -z $wine || ! -f $exe ]]; then
    echo "skipped: ${wine:-wine} or $exe missing" >&2
    exit 77
fi

export WINEPREFIX=${WINEPREFIX:-$(dirname "$(realpath "$exe")")/wineprefix}
export WINEDEBUG=-all
# No Mono, no Gecko, no window system: the tests are console programs.
export WINEARCH=win64
# Console programs need no window system; a window's tests ask for one (WINE_WITH_DISPLAY=1).
if [[ ${WINE_WITH_DISPLAY:-} == 1 ]]; then
    export WINEDLLOVERRIDES="mscoree,mshtml="
else
    export WINEDLLOVERRIDES="mscoree,mshtml=;winex11.drv,winewayland.drv="
    unset DISPLAY WAYLAND_DISPLAY
fi
# Wine takes the time zone and the user locale from these when it starts.
export TZ=${TZ:-Europe/Berlin}
export LC_ALL=${LC_ALL:-de_DE.UTF-8}

mkdir -p "$WINEPREFIX"
(
    flock 9
    if [[ ! -f $WINEPREFIX/system.reg ]]; then
        echo "Making the Wine prefix $WINEPREFIX"
        "$wine" wineboot --init >/dev/null 2>&1
        wineserver -w
    fi
) 9>"$WINEPREFIX.lock"

"$wine" "$exe" "$@"
rc=$?
# Let the server of this prefix go, so that the next run or rm -rf does not race with it.
wineserver -w
exit $rc
