#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Proves the Debian package on a fresh minimal Debian 12 root made with debootstrap: installs
# build/kestrix_*_amd64.deb with apt (which brings exactly the dependencies it states), runs
# kestrix-batch on a recording made by the bundled generator (the classic run's five files, then
# --average), starts kestrix offscreen and then in a real X window (a virtual X server on this machine,
# whose screen is saved as a picture), and removes the package again: no file of it left, and once the
# dependencies it brought are removed too, the same packages as before. Needs root, debootstrap, the
# network to a Debian mirror and a built tree (make build package).
#
#   scripts/package-check.sh [ROOT_FOLDER] [SCREENSHOT.png]   (defaults: /tmp/kestrix-package-root,
#                                                              ROOT_FOLDER.png)
set -uo pipefail

root="${1:-/tmp/kestrix-package-root}"
screenshot="${2:-$root.png}"
repository="$(cd "$(dirname "$0")/.." && pwd)"
build="$repository/build"
source "$repository/scripts/fresh-root-lib.sh"

package=$(ls "$build"/kestrix_*_amd64.deb 2>/dev/null | head -n 1)
generator="$build/examples/kestrix_make_recording"
if [ -z "$package" ] || [ ! -x "$generator" ]; then
    echo "package-check: build the package first (make package)" >&2
    exit 2
fi
# What shows and grabs the window on this machine (and debootstrap itself).
needed=()
command -v debootstrap >/dev/null || needed+=(debootstrap)
command -v Xvfb >/dev/null || needed+=(xvfb)
command -v xdotool >/dev/null || needed+=(xdotool)
command -v import >/dev/null || needed+=(imagemagick)
if [ "${#needed[@]}" -gt 0 ] && [ "$(id -u)" -eq 0 ]; then
    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${needed[@]}" >/dev/null
fi

xvfb_pid=""
cleanup() {
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    umount -l "$root/tmp/.X11-unix" 2>/dev/null || true
    fresh_root_unmount "$root"
}
trap cleanup EXIT
fresh_root_make "$root" package-check

failures=0
step() { # step DESCRIPTION COMMAND: runs COMMAND in the root, shows its output, counts a failure
    echo "package-check: $1"
    fresh_root_run "$root" "$2" 2>&1 | sed 's/^/    /'
    local status=${PIPESTATUS[0]}
    if [ "$status" -ne 0 ]; then
        echo "package-check: FAILED ($status): $1"
        failures=$((failures + 1))
    fi
    return "$status"
}

cp "$package" "$root/root/"
mkdir -p "$root/root/meas"
"$generator" >"$root/root/meas/motor.csv"
fresh_root_run "$root" "dpkg-query -W -f='\${Package}\n' | sort" >"$root.before"

step "apt install ./$(basename "$package")" \
    "cd /root && apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq ./$(basename "$package") >/tmp/apt.log 2>&1 \
     || { tail -20 /tmp/apt.log; exit 1; }; dpkg-query -W -f='\${Package} \${Version} \${Status}\n' kestrix; \
     echo \"\$(grep -c '^Setting up' /tmp/apt.log) packages set up\"" || exit 1
fresh_root_run "$root" "dpkg -L kestrix" >"$root.files"

step "kestrix-batch: the five files of the classic run" \
    "cd /root/meas && kestrix-batch motor.csv && for f in motor_SPC.csv motor_BAND_SPC.csv motor_BAND_WAVE.csv motor_BAND.wav motor.wav; do
         test -s \$f || { echo \"\$f missing\"; exit 1; }; done && head -n 3 motor_SPC.csv && sed -n '27p' motor_SPC.csv"
step "kestrix-batch --average" \
    "cd /root/meas && kestrix-batch --average --points 4096 motor.csv && head -c 160 motor_AVG_SPC.csv && echo"
step "man pages and documentation" \
    "zcat /usr/share/man/man1/kestrix-batch.1.gz | head -n 3 && ls /usr/share/doc/kestrix"

step "kestrix offscreen: the window opens and stays until it is ended" \
    "QT_QPA_PLATFORM=offscreen timeout 5 kestrix >/tmp/offscreen.log 2>&1; status=\$?; cat /tmp/offscreen.log;
     [ \$status -eq 124 ] && echo 'still running after 5 s (ended by timeout)'"

# The window on a virtual X server of this machine, its socket lent to the root.
display=99
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1400x900x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
mkdir -p "$root/tmp/.X11-unix"
mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"
fresh_root_env=(DISPLAY=":$display" QT_QPA_PLATFORM=xcb)
fresh_root_run "$root" "kestrix >/tmp/x11.log 2>&1" &
kestrix_run=$!
window=""
for _ in $(seq 100); do
    window=$(DISPLAY=":$display" xdotool search --onlyvisible --name '^Kestrix$' 2>/dev/null | head -n 1)
    [ -n "$window" ] && break
    sleep 0.1
done
if [ -n "$window" ]; then
    sleep 1
    DISPLAY=":$display" import -window root "$screenshot"
    echo "package-check: the window is shown (X window $window, $(DISPLAY=":$display" xdotool getwindowgeometry "$window" | tail -n 1 | tr -s ' ')); screen saved as $screenshot"
else
    echo "package-check: FAILED: no window named Kestrix appeared"
    cat "$root/tmp/x11.log"
    failures=$((failures + 1))
fi
fresh_root_env=()
fresh_root_run "$root" "pkill -x kestrix" >/dev/null 2>&1
wait "$kestrix_run" 2>/dev/null
umount -l "$root/tmp/.X11-unix"

step "apt purge kestrix, then the dependencies it brought" \
    "DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq kestrix >/dev/null && \
     DEBIAN_FRONTEND=noninteractive apt-get autoremove --purge -y -qq >/dev/null && \
     dpkg-query -W -f='\${Status}\n' kestrix 2>&1 | sed 's/^/kestrix: /'"
left=0
while read -r path; do
    if [ -f "$root$path" ] || [ -L "$root$path" ]; then
        echo "    left behind: $path"
        left=$((left + 1))
    fi
done <"$root.files"
fresh_root_run "$root" "dpkg-query -W -f='\${Package}\n' | sort" >"$root.after"
if [ "$left" -eq 0 ] && diff -u "$root.before" "$root.after" >/dev/null; then
    echo "package-check: removed: none of its $(wc -l <"$root.files") paths is a file any more, and the root has" \
        "the same $(wc -l <"$root.after") packages as before the install"
else
    echo "package-check: FAILED: $left files left; packages changed:"
    diff -u "$root.before" "$root.after" | sed 's/^/    /'
    failures=$((failures + 1))
fi

echo "package-check: $failures failed"
[ "$failures" -eq 0 ]
