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
repository="$(cd "$(dirname "$0")/.." && pwd)"
source "$repository/scripts/fresh-root-lib.sh"

trap 'fresh_root_unmount "$root"' EXIT
fresh_root_make "$root" fresh-root-check

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
    fresh_root_run "$root" "cd /root/kestrix && $command" >"$log" 2>&1
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
