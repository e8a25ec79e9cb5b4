#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The averaged analysis on a full disk: a small tmpfs takes the outputs (--output-dir), at every size from
# one page (tmpfs reads a size of 0 as no limit) to a little more than the files need, in steps. At every
# size where they do not fit, kestrix-batch --average (with and without --metrics) must exit 3 with the
# failure's message, print no path, and leave under the final names either nothing (no earlier files) or
# the earlier files byte for byte, and no temporary file; where they fit it must exit 0 and write them.
#   sudo scripts/disk_full_check.sh [PATH/TO/kestrix-batch [STEP_BYTES]]     (root: it mounts tmpfs)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
batch=${1:-$root/build/cli/kestrix-batch}
step=${2:-16384}
work=$(mktemp -d)
mnt=$work/disk
mkdir -p "$mnt"
cleanup() {
    mountpoint -q "$mnt" && umount "$mnt"
    rm -rf "$work"
}
trap cleanup EXIT

# A recording of four 65536-point segments: a tone between lines and noise (deterministic).
awk 'BEGIN { srand(7); for (i = 0; i < 4 * 65536; ++i) printf "%d\n", 20000 * sin(2 * 3.14159265358979 * 1234.37 * i / 65536) + 100 * (rand() - 0.5) }' \
    >"$work/rec.csv"

failures=0
runs=0
# One run at one size: $1 the tmpfs size, $2 "metrics" or "", $3 "earlier" or "".
check() {
    local size=$1 metrics=$2 earlier=$3
    mount -t tmpfs -o "size=$size" tmpfs "$mnt"
    local names=(rec_AVG_SPC.csv)
    local args=(--average --points 65536 --fs 48000 --output-dir "$mnt")
    if [ "$metrics" = metrics ]; then
        names+=(rec_METRICS.csv)
        args+=(--metrics)
    fi
    if [ "$earlier" = earlier ]; then
        for name in "${names[@]}"; do
            printf 'earlier %s\r\n' "$name" >"$mnt/$name" 2>/dev/null || true
        done
    fi
    local before
    before=$(cd "$mnt" && for f in "${names[@]}"; do [ -e "$f" ] && printf '%s %s\n' "$f" "$(md5sum <"$f")"; done || true)
    local status=0
    "$batch" "${args[@]}" "$work/rec.csv" >"$work/out.txt" 2>"$work/err.txt" || status=$?
    local after leftovers verdict=ok
    after=$(cd "$mnt" && for f in "${names[@]}"; do [ -e "$f" ] && printf '%s %s\n' "$f" "$(md5sum <"$f")"; done || true)
    leftovers=$(find "$mnt" -name '.*.tmp' -o -name '.*.old' | wc -l)
    if [ "$status" -eq 0 ]; then
        [ "$(wc -l <"$work/out.txt")" -eq "${#names[@]}" ] || verdict="exit 0 without every path printed"
        for name in "${names[@]}"; do
            grep -q '^earlier' "$mnt/$name" 2>/dev/null && verdict="exit 0 with an earlier $name"
        done
    elif [ "$status" -eq 3 ]; then
        grep -q 'error 61 (Kestrix): Disk full' "$work/err.txt" || verdict="exit 3 without the disk-full message: $(cat "$work/err.txt")"
        [ -s "$work/out.txt" ] && verdict="a path printed although it failed"
        [ "$before" = "$after" ] || verdict="the files under the final names changed"
    else
        verdict="exit $status: $(cat "$work/err.txt")"
    fi
    [ "$leftovers" -eq 0 ] || verdict="$verdict; $leftovers temporary files left"
    umount "$mnt"
    runs=$((runs + 1))
    if [ "$verdict" != ok ]; then
        failures=$((failures + 1))
        echo "FAILED size=$size ${metrics:-spectrum} ${earlier:-fresh}: $verdict"
    fi
    echo "$size ${metrics:-spectrum} ${earlier:-fresh} exit=$status" >>"$work/log.txt"
}

# What the files need: one run on an unlimited tmpfs.
mount -t tmpfs tmpfs "$mnt"
"$batch" --average --points 65536 --fs 48000 --metrics --output-dir "$mnt" "$work/rec.csv" >/dev/null
needed=$(du -sb "$mnt" | cut -f1)
umount "$mnt"
top=$((needed + 3 * step))
echo "outputs need $needed bytes; sizes 1 .. $top in steps of $step bytes (tmpfs rounds up to 4096-byte pages)"
for ((size = 1; size <= top; size += step)); do
    for metrics in "" metrics; do
        for earlier in "" earlier; do
            check "$size" "$metrics" "$earlier"
        done
    done
done
echo "$runs runs: $(grep -c 'exit=3' "$work/log.txt") ended with exit 3 (disk full), $(grep -c 'exit=0' "$work/log.txt") with exit 0, $failures broke the rule"
[ "$failures" -eq 0 ]
