#!/usr/bin/env bash
# Installs the package with apt-get, so that its dependencies are resolved for real, starts the
# installed program on a virtual display, clicks "Hilfe" and checks the page the browser is
# handed; then purges the package and checks that nothing of it is left.
#   install.sh <folder with the .deb> <source folder>
set -euo pipefail
deb=$(realpath "$1"/dateimark_*.deb) src=$2
status() { dpkg-query -W -f='${db:Status-Status}' dateimark 2>/dev/null || true; }
[[ $(id -u) -eq 0 ]] || { echo "SKIP: installing a package needs root"; exit 77; }
if [[ -n $(status) && $(status) != not-installed ]]; then
    echo "SKIP: dateimark is installed on this machine; the test leaves it alone"
    exit 77
fi
fail() { echo "FAIL: $*" >&2; exit 1; }
apt() { DEBIAN_FRONTEND=noninteractive apt-get -q -y -o DPkg::Lock::Timeout=300 "$@" >/dev/null; }

work=$(mktemp -d)
cleanup() {
    if [[ -n $(status) && $(status) != not-installed ]]; then apt purge dateimark; fi
    rm -rf "$work"
}
trap cleanup EXIT
trap "exit 1" INT TERM HUP
apt install "$deb"

# Stands in for the desktop's opener, which the program finds on the PATH; written whole, then
# renamed, so that the address is never read half.
mkdir "$work/bin"
printf '#!/bin/sh\nprintf %%s "$1" >"%s.part" && mv "%s.part" "%s"\n' \
    "$work/opened" "$work/opened" "$work/opened" >"$work/bin/xdg-open"
chmod +x "$work/bin/xdg-open"

poll() { # a command, until it succeeds or a minute has passed
    local end=$((SECONDS + 60))
    until "$@"; do ((SECONDS < end)) || return 1; sleep 0.1; done
}
session() {
    /usr/bin/dateimark &
    local program=$! window failure=""
    if ! window=$(poll xdotool search --onlyvisible --name '^Dateimark 2\.5$'); then
        failure="no window 'Dateimark 2.5'"
    else
        # "Hilfe" by its place: its access key Alt+I is shared with "Info", so it only moves
        # the focus. Frame "Steuerung" at 92,280 and the button at 308,44 in it, 53x21.
        xdotool mousemove --window "$window" --sync 426 334 click 1
        poll test -e "$work/opened" || failure="'Hilfe' opened nothing"
    fi
    kill $program
    [[ -z $failure ]] || { echo "FAIL: $failure" >&2; return 1; }
}
export work HOME=$work XDG_CONFIG_HOME=$work XDG_DATA_HOME=$work XDG_RUNTIME_DIR=$work
export PATH=$work/bin:$PATH
# At 96 dpi the window keeps its design size, which the click above relies on.
xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" bash -c "$(declare -f poll session); session"
opened=$(cat "$work/opened")
[[ $opened == file:///usr/lib/dateimark/dateimark.htm ]] || fail "'Hilfe' opened '$opened'"
cmp "${opened#file://}" "$src/assets/dateimark.htm" || fail "the page opened is not the help page"

files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print substr($6, 2) }')
apt purge dateimark
for f in $files /usr/lib/dateimark; do
    [[ ! -e $f && ! -L $f ]] || fail "$f is left behind after the purge"
done
