#!/bin/sh
# Readies one of Debian's kernels for a boot under qemu, cached in CACHE:
#   prepare.sh CACHE stable      the kernel of the installed linux-image-amd64 (Debian 12: 6.1)
#   prepare.sh CACHE backports   bookworm-backports' linux-image-amd64, fetched, never installed
# Leaves CACHE/<which>/{release,vmlinux,initramfs.gz,modules}, where modules holds
# lib/modules/<release> (for the guest's own modprobe), and prints the folder.
set -eu
cache=$(realpath -m "$1")
which=$2
here=$(dirname "$(realpath "$0")")
out=$cache/$which
[ "$out/initramfs.gz" -nt "$here/init" ] && [ -s "$out/vmlinux" ] && { echo "$out"; exit 0; }
mkdir -p "$out"
export PATH="$PATH:/usr/sbin:/sbin"

case $which in
stable)
    release=$(dpkg-query -W -f='${Depends}' linux-image-amd64 | sed -n 's/^linux-image-\([^ ,]*\).*/\1/p')
    [ -n "$release" ] || { echo "linux-image-amd64 is not installed" >&2; exit 1; }
    vmlinuz=/boot/vmlinuz-$release
    modules=/
    ;;
backports)
    # A private apt state: only Debian's own archive, nothing of the machine's apt changes.
    apt=$cache/apt
    mkdir -p "$apt/lists/partial" "$apt/archives/partial"
    cat >"$apt/sources.list" <<EOF
deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm-backports main
EOF
    set -- -o Dir::Etc::SourceList="$apt/sources.list" -o Dir::Etc::SourceParts=/dev/null \
        -o Dir::State::Lists="$apt/lists" -o Dir::Cache::Archives="$apt/archives" \
        -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache= -o APT::Default-Release=
    # apt's download user cannot write into a build folder
    [ "$(id -u)" != 0 ] || set -- "$@" -o APT::Sandbox::User=root
    if [ ! -d "$out/root/lib/modules" ]; then
        apt-get "$@" -q update >&2
        image=$(apt-cache "$@" depends linux-image-amd64 |
            sed -n 's/^ *Depends: \(linux-image-[^ ]*\).*/\1/p' | head -n 1)
        [ -n "$image" ] || { echo "no kernel in bookworm-backports" >&2; exit 1; }
        (cd "$apt" && apt-get "$@" -q download "$image" >&2)
        dpkg-deb -x "$apt"/"$image"_*.deb "$out/root.part"
        rm -f "$apt"/*.deb
        depmod -b "$out/root.part" "$(ls "$out/root.part/lib/modules")"
        mv "$out/root.part" "$out/root"
    fi
    release=$(ls "$out/root/lib/modules")
    vmlinuz=$out/root/boot/vmlinuz-$release
    modules=$out/root
    ;;
*) echo "usage: $0 CACHE stable|backports" >&2; exit 2 ;;
esac

# The uncompressed kernel boots in half the time under TCG (PVH entry): find the compressed
# payload after the set-up code, as the kernel's own extract-vmlinux does.
if [ ! -s "$out/vmlinux" ]; then
    for pair in 'xz:\xfd7zXZ\x00' 'zstd:\x28\xb5\x2f\xfd' 'gzip:\x1f\x8b\x08'; do
        tool=${pair%%:*}
        for at in $(LC_ALL=C grep -obUaP "${pair#*:}" "$vmlinuz" | cut -d: -f1); do
            tail -c +$((at + 1)) "$vmlinuz" | $tool -dc 2>/dev/null >"$out/vmlinux.part" || true
            if [ "$(head -c 4 "$out/vmlinux.part" | od -An -c | tr -d ' ')" = '177ELF' ]; then
                mv "$out/vmlinux.part" "$out/vmlinux"
                break 2
            fi
        done
    done
    rm -f "$out/vmlinux.part"
fi
[ -s "$out/vmlinux" ] || { echo "no kernel image found in $vmlinuz" >&2; exit 1; }

# A small initramfs: static busybox, the modules that reach the machine's root over 9p, and
# the init that boots into it.
work=$out/initramfs.d
rm -rf "$work"
mkdir -p "$work/bin" "$work/lib/modules"
cp /bin/busybox "$work/bin/busybox"
cp "$here/init" "$work/init"
for module in $(modprobe -d "$modules" -S "$release" -a --show-depends \
    virtio_pci 9pnet_virtio 9p overlay loop | sed -n 's/^insmod \([^ ]*\).*/\1/p' | awk '!seen[$0]++'); do
    [ -e "$module" ] || module=$modules/$module
    plain=$(basename "$module" .xz)
    plain=$(basename "$plain" .zst)
    case $module in
    *.xz) xz -dc "$module" ;;
    *.zst) zstd -qdc "$module" ;;
    *) cat "$module" ;;
    esac >"$work/lib/modules/$plain"
    echo "/lib/modules/$plain" >>"$work/lib/modules/order"
done
(cd "$work" && find . | cpio -o -H newc --quiet | gzip -1) >"$out/initramfs.gz"
rm -rf "$work"
echo "$release" >"$out/release"
[ "$modules" = / ] && ln -sfn / "$out/modules" || ln -sfn root "$out/modules"
echo "$out"
