# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the fresh-root scripts: a fresh minimal Debian 12 root made with debootstrap (nothing but
# its minimal base), with /proc, /sys and /dev mounted in it, and unmounted again. Needs root,
# debootstrap and the network to a Debian mirror (KESTRIX_MIRROR, default deb.debian.org).

fresh_root_mounts=(proc sys dev dev/pts dev/shm)

# fresh_root_unmount ROOT
fresh_root_unmount() {
    local root="$1" i
    for ((i = ${#fresh_root_mounts[@]} - 1; i >= 0; i--)); do
        umount -l "$root/${fresh_root_mounts[$i]}" 2>/dev/null || true
    done
}

# fresh_root_make ROOT SCRIPT_NAME: ROOT made anew; exits with 2 where that cannot be done.
fresh_root_make() {
    local root="$1" name="$2"
    local mirror="${KESTRIX_MIRROR:-http://deb.debian.org/debian}"
    if [ "$(id -u)" -ne 0 ]; then
        echo "$name: must run as root (debootstrap and chroot)" >&2
        exit 2
    fi
    command -v debootstrap >/dev/null || { echo "$name: apt-get install debootstrap first" >&2; exit 2; }
    fresh_root_unmount "$root"
    rm -rf "$root"
    echo "$name: debootstrap bookworm (minbase) into $root"
    debootstrap --variant=minbase bookworm "$root" "$mirror" >"$root.debootstrap.log" 2>&1 ||
        { echo "$name: debootstrap failed, see $root.debootstrap.log" >&2; exit 2; }
    cp /etc/resolv.conf "$root/etc/resolv.conf"
    mount -t proc proc "$root/proc"
    mount -t sysfs sys "$root/sys"
    mount --bind /dev "$root/dev"
    mount --bind /dev/pts "$root/dev/pts"
    mount -t tmpfs shm "$root/dev/shm"
}

# fresh_root_run ROOT COMMAND: COMMAND run by bash in ROOT as root with a clean environment (and the
# variables given in fresh_root_env).
fresh_root_env=()
fresh_root_run() {
    local root="$1" command="$2"
    chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        LANG=C.UTF-8 "${fresh_root_env[@]}" bash -c "$command"
}
