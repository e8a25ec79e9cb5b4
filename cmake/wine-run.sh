#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a Windows program under Wine (64-bit only) for the tests of the Windows build: a Wine prefix of
# its own beside the build (made once, under a lock, as the first tests start together), no Wine
# diagnostics on standard error, and a Wine server kept for a while between the many short test runs.
set -euo pipefail
wine="${KESTRIX_WINE:-/usr/lib/wine/wine64}"
[ -x "$wine" ] || wine="$(command -v wine64 || command -v wine || true)"
[ -n "$wine" ] || { echo "wine-run: wine64 is not installed (apt-get install wine64)" >&2; exit 127; }
export WINEPREFIX="${WINEPREFIX:-${KESTRIX_WINEPREFIX:-$HOME/.cache/kestrix-wine}}"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
        flock 9
        if [ ! -f "$WINEPREFIX/system.reg" ]; then
            "$wine" wineboot --init >/dev/null 2>&1 || true
        fi
    ) 9>"$WINEPREFIX.lock"
fi
# A server of our own, detached from the caller's output: one that Wine starts by itself inherits the
# test's standard output, and the test runner would wait for it to exit. A second one started while one
# runs gives up at once.
server="$(dirname "$wine")/wineserver"
if [ -x "$server" ]; then
    "$server" -p30 </dev/null >/dev/null 2>&1 || true
fi
exec "$wine" "$@"
