#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a Windows program under Wine (64-bit only) for the tests of the Windows build: a Wine prefix of
# Kestrix's own (made once), no Wine diagnostics on standard error, and a Wine server kept for a while
# between the many short test runs.
set -euo pipefail
wine="${KESTRIX_WINE:-/usr/lib/wine/wine64}"
[ -x "$wine" ] || wine="$(command -v wine64 || command -v wine || true)"
[ -n "$wine" ] || { echo "wine-run: wine64 is not installed (apt-get install wine64)" >&2; exit 127; }
# Wine keeps links to the user's folders in the prefix: it needs a home even where the caller set none.
export HOME="${HOME:-$(getent passwd "$(id -u)" | cut -d: -f6)}"
export WINEPREFIX="${WINEPREFIX:-${KESTRIX_WINEPREFIX:-$HOME/.cache/kestrix-wine}}"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
# Wine starts its own services (services.exe and others) with the first program a new Wine server
# serves, and they inherit that program's output: the test runner would wait for them to end. So a new
# server is started here, under a lock, with a first program whose output goes nowhere; the lock's
# descriptor is closed for all of them, or they would hold the lock for as long as they run.
server="$(dirname "$wine")/wineserver"
mkdir -p "$(dirname "$WINEPREFIX")"
(
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        "$wine" wineboot --init </dev/null >/dev/null 2>&1 9>&- || true
    fi
    if "$server" -p30 </dev/null >/dev/null 2>&1 9>&-; then
        "$wine" wineboot </dev/null >/dev/null 2>&1 9>&- || true
    fi
) 9>"$WINEPREFIX.lock"
exec "$wine" "$@"
