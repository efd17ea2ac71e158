#!/usr/bin/env bash
# Builds the Debian package from the build folder and checks what it holds, its dependencies,
# and what lintian and AppStream say of it.
#   contents.sh <build folder> <output folder> <icon size>...
set -euo pipefail
build=$1 out=$2
shift 2
rm -rf "$out" && mkdir -p "$out"
cpack --config "$build/CPackConfig.cmake" -B "$out" >/dev/null
deb=$(echo "$out"/dateimark_*.deb)
fail() { echo "FAIL: $*" >&2; exit 1; }

# The mode's first four letters and the path (with a link's target) of every entry.
listing=$(dpkg-deb -c "$deb" | sed -E 's/^(.{4})\S* +(\S+ +){4}/\1 /')
expected=("-rwx ./usr/lib/dateimark/dateimark" "-rw- ./usr/lib/dateimark/dateimark.htm"
          "lrwx ./usr/bin/dateimark -> ../lib/dateimark/dateimark"
          "-rw- ./usr/share/applications/dateimark.desktop"
          "-rw- ./usr/share/kio/servicemenus/dateimark-attributes.desktop"
          "-rw- ./usr/share/nemo/actions/dateimark.nemo_action"
          "-rw- ./usr/share/file-manager/actions/dateimark-attributes.desktop"
          "-rw- ./usr/share/metainfo/org.example.dateimark.metainfo.xml"
          "-rw- ./usr/share/man/man1/dateimark.1.gz" "-rw- ./usr/share/doc/dateimark/copyright")
for size in "$@"; do expected+=("-rw- ./usr/share/icons/hicolor/${size}x$size/apps/dateimark.png"); done
for line in "${expected[@]}"; do
    grep -qxF -- "$line" <<<"$listing" || fail "not in the package: $line"
done

# The Qt, OpenSSL, Kerberos and keyring libraries come from shlibdeps; the font from our own list. Samba's
# client library is no longer one of them.
depends=$(dpkg-deb -f "$deb" Depends)
for p in libqt6widgets6 libssl3 libgssapi-krb5-2 libsecret-1-0 fonts-liberation2; do
    [[ ", $depends," == *", $p"[\ ,]* ]] || fail "Depends lacks $p: $depends"
done
[[ $depends != *libsmbclient* ]] || fail "Depends still names libsmbclient: $depends"
[[ $(dpkg-deb -f "$deb" Section) == utils ]] || fail "section is not utils"

# The first upload to no archive closes no bug; every other warning is new and should be seen.
lintian --fail-on error,warning --suppress-tags initial-upload-closes-no-bugs "$deb" ||
    fail "lintian"
# The tree as installed: the metainfo file together with the desktop entry and icons it names.
dpkg-deb -x "$deb" "$out/root"
appstreamcli validate-tree --no-net "$out/root" || fail "appstreamcli"

# desktop-file-validate takes none of the context menus' formats: each must read as a key file (no
# doubled group or key), name the action in German and hand over the selection.
python3 - "$out/root/usr/share" <<'EOF' || fail "a context menu is wrong"
import configparser, sys
for path, group in [("kio/servicemenus/dateimark-attributes.desktop", "Desktop Action setAttributes"),
                    ("nemo/actions/dateimark.nemo_action", "Nemo Action"),
                    ("file-manager/actions/dateimark-attributes.desktop", "Desktop Entry")]:
    keys = configparser.ConfigParser(interpolation=None, strict=True, delimiters="=")
    keys.read_file(open(f"{sys.argv[1]}/{path}", encoding="utf-8"))
    execs = {g["Exec"] for g in keys.values() if "Exec" in g}
    assert keys[group]["Name[de]"] == "Attribute mit Dateimark setzen" and execs, path
    assert execs <= {"dateimark %U", "dateimark %F"}, path
EOF
