#!/usr/bin/env bash
# Installs the Debian packages a build needs, only those that are missing.
#   setup.sh run    what building and starting the program needs
#   setup.sh test   plus everything the test suite uses (Windows build, Wine, Samba, ntfs-3g,
#                   and Debian's kernels under qemu for the kernel file-system tests)
#   setup.sh bench  what the benchmarks need
#   setup.sh package  what `make package` needs to build the Debian package
#   setup.sh windows  what `make windows` needs to build the Windows program
set -euo pipefail
mode=${1:-run}

# googletest too: configuring the build includes its sources whatever is built.
pkgs=(cmake ninja-build g++ make qt6-base-dev qt6-translations-l10n libgl-dev fonts-liberation2
      fonts-dejavu-core googletest libssl-dev libsecret-1-dev libkrb5-dev pkg-config)
case "$mode" in
test)
    pkgs+=(locales tzdata attr xauth xvfb desktop-file-utils
           g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev wine wine64
           samba smbclient ntfs-3g clang libclang-rt-14-dev xdg-utils
           dpkg-dev lintian appstream xdotool python3
           qemu-system-x86 linux-image-amd64 busybox-static kmod cpio e2fsprogs mtools dosfstools
           exfatprogs cifs-utils dbus gnome-keyring libsecret-tools gvfs-backends gvfs-fuse
           libglib2.0-bin fuse3 libfuse3-dev samba-ad-dc samba-ad-provision krb5-user iproute2)
    ;;
bench) pkgs+=(locales tzdata attr findutils xauth xvfb g++-mingw-w64-x86-64-posix
              mingw-w64-x86-64-dev wine wine64 samba smbclient fuse3 libfuse3-dev) ;;
package) pkgs+=(dpkg-dev) ;;
windows) pkgs+=(g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev) ;;
run) ;;
*) echo "usage: $0 run|test|bench|package|windows" >&2; exit 2 ;;
esac

missing=()
for p in "${pkgs[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ $status == "install ok installed" ]] || missing+=("$p")
done

sudo=""
if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi

if ((${#missing[@]})); then
    echo "Installing missing packages: ${missing[*]}"
    $sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The tests pin a German locale; the base image ships none generated.
if [[ $mode != run ]] && ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
    echo "Generating the locale de_DE.UTF-8"
    $sudo localedef -i de_DE -c -f UTF-8 de_DE.UTF-8
fi

# The kernel tests also boot bookworm-backports' kernel, fetched (never installed) into the build
# folder once.
if [[ $mode == test ]]; then
    root=$(cd "$(dirname "$0")/.." && pwd)
    echo "Fetching the kernels for the kernel tests into $root/build/kernel"
    "$root/tests/kernel/prepare.sh" "$root/build/kernel" stable >/dev/null
    "$root/tests/kernel/prepare.sh" "$root/build/kernel" backports >/dev/null
fi
