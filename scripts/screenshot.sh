#!/usr/bin/env bash
# Takes the README's screenshot: the real program in a virtual X server, as a user sees it.
# Needs xvfb and imagemagick. Usage: scripts/screenshot.sh [build folder] [output png]
set -euo pipefail
build=${1:-build}
out=${2:-assets/screenshot.png}
shot=$(mktemp --suffix=.png)
export LC_ALL=de_DE.UTF-8
xvfb-run -a -s "-screen 0 800x600x24" bash -c "
    '$build/src/dateimark' & pid=\$!
    for i in \$(seq 50); do sleep 0.1; done
    import -window root '$shot'
    kill \$pid"
# The window sits alone on the black screen: cut it out.
convert "$shot" -trim +repage "$out"
rm -f "$shot"
echo "$out"
