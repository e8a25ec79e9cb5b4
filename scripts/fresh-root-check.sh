#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Proves the README's two quick-start commands on a fresh minimal Debian 12: builds a root with
# debootstrap (nothing but its minimal base: no make, cmake or compiler), clones this repository's
# HEAD into it, runs "./make.sh demo" and then "./make.sh test" inside it as root, and reports each
# exit status. Needs root, debootstrap and the network to a Debian mirror.
#
#   scripts/fresh-root-check.sh [ROOT_FOLDER]     (default: /tmp/kestrix-fresh-root, made anew)
set -uo pipefail

root="${1:-/tmp/kestrix-fresh-root}"
mirror="${KESTRIX_MIRROR:-http://deb.debian.org/debian}"
repository="$(cd "$(dirname "$0")/.." && pwd)"

if [ "$(id -u)" -ne 0 ]; then
    echo "fresh-root-check: must run as root (debootstrap and chroot)" >&2
    exit 2
fi
command -v debootstrap >/dev/null || { echo "fresh-root-check: apt-get install debootstrap first" >&2; exit 2; }

mounts=(proc sys dev dev/pts dev/shm)
unmount_all() {
    for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
        umount -l "$root/${mounts[$i]}" 2>/dev/null || true
    done
}
trap unmount_all EXIT

unmount_all
rm -rf "$root"
echo "fresh-root-check: debootstrap bookworm (minbase) into $root"
debootstrap --variant=minbase bookworm "$root" "$mirror" >"$root.debootstrap.log" 2>&1 ||
    { echo "fresh-root-check: debootstrap failed, see $root.debootstrap.log" >&2; exit 2; }
cp /etc/resolv.conf "$root/etc/resolv.conf"
mount -t proc proc "$root/proc"
mount -t sysfs sys "$root/sys"
mount --bind /dev "$root/dev"
mount --bind /dev/pts "$root/dev/pts"
mount -t tmpfs shm "$root/dev/shm"

for tool in make cmake g++ c++ gcc ninja; do
    if chroot "$root" sh -c "command -v $tool" >/dev/null 2>&1; then
        echo "fresh-root-check: $tool is already in the fresh root: not a fair test" >&2
        exit 2
    fi
done

git clone -q --no-local "$repository" "$root/root/kestrix"
git -C "$root/root/kestrix" log --oneline -1

run_in_root() {
    local command="$1"
    local log="$root.$(echo "$command" | tr -c 'a-z' '_').log"
    local started=$SECONDS
    chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        LANG=C.UTF-8 bash -c "cd /root/kestrix && $command" >"$log" 2>&1
    local status=$?
    echo "fresh-root-check: '$command' exited with $status after $((SECONDS - started)) s (log: $log)"
    tail -n 5 "$log" | sed 's/^/    /'
    return $status
}

run_in_root "./make.sh demo"
demo_status=$?
run_in_root "./make.sh test"
test_status=$?
echo "fresh-root-check: demo $demo_status, test $test_status"
[ $demo_status -eq 0 ] && [ $test_status -eq 0 ]
