#!/usr/bin/env bash
# The Windows package holds the program and its help page, and the program needs no DLL but
# the system's: it runs on a bare Windows.
set -euo pipefail
zip=${1:?usage: package.sh dateimark-…-windows-x64.zip}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
(cd "$dir" && cmake -E tar xf "$zip")
[[ $(ls "$dir") == $'dateimark.exe\ndateimark.htm' ]] || { echo "unexpected contents:"; ls "$dir"; exit 1; }
system='^(ADVAPI32|COMCTL32|GDI32|KERNEL32|msvcrt|ntdll|ole32|OLEAUT32|SHELL32|USER32|UxTheme)\.dll$'
x86_64-w64-mingw32-objdump -p "$dir/dateimark.exe" | sed -n 's/^\s*DLL Name: //p' | while read -r dll; do
    [[ $dll =~ $system ]] || { echo "needs a DLL that Windows does not have: $dll"; exit 1; }
done
echo "package ok: $(stat -c %s "$zip") bytes"
