#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Takes screenshots of the real Kestrix window under a virtual X server: OUTPUT (docs/window.png by
# default) at start-up, and OUTPUT with "-run" before ".png" after analysing a copy of the bundled
# recording through the real file dialog.
# Usage: scripts/screenshot.sh [BUILD_DIR] [OUTPUT.png]
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${1:-build}
output=${2:-docs/window.png}
program="$build_dir/app/kestrix"

if [ ! -x "$program" ]; then
    echo "screenshot: $program not found; build first (make build)" >&2
    exit 1
fi

needed=()
command -v Xvfb >/dev/null 2>&1 || needed+=(xvfb)
command -v xdotool >/dev/null 2>&1 || needed+=(xdotool)
command -v import >/dev/null 2>&1 || needed+=(imagemagick)
dpkg-query -W -f='${Status}' fonts-noto-cjk 2>/dev/null | grep -q "install ok installed" || needed+=(fonts-noto-cjk)
if [ "${#needed[@]}" -gt 0 ]; then
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${needed[@]}"
fi

# A free display number.
display_number=99
while [ -e "/tmp/.X11-unix/X$display_number" ] || [ -e "/tmp/.X$display_number-lock" ]; do
    display_number=$((display_number + 1))
done
export DISPLAY=":$display_number"

Xvfb "$DISPLAY" -screen 0 1400x900x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
app_pid=""
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

for _ in $(seq 50); do
    xdotool getmouselocation >/dev/null 2>&1 && break
    sleep 0.1
done

QT_QPA_PLATFORM=xcb "$program" &
app_pid=$!

window=""
for _ in $(seq 100); do
    window=$(xdotool search --name '^Kestrix$' 2>/dev/null | head -n 1 || true)
    [ -n "$window" ] && break
    sleep 0.1
done
if [ -z "$window" ]; then
    echo "screenshot: the Kestrix window did not appear" >&2
    exit 1
fi
sleep 1 # let the first paint finish

mkdir -p "$(dirname "$output")"
import -window "$window" "$output"
echo "screenshot: wrote $output"

# A run on the bundled recording: FFT has the focus at start, the dialog takes a typed path, and
# Enter closes the elapsed-time and completion messages.
work=$(mktemp -d)
cp examples/motor.csv "$work/motor.csv"
xdotool windowfocus "$window" 2>/dev/null || true
xdotool key Return
sleep 1.5
xdotool type --delay 10 "$work/motor.csv"
xdotool key Return
sleep 2
xdotool key Return
sleep 1
xdotool key Return
sleep 1
run_output="${output%.png}-run.png"
import -window "$window" "$run_output"
echo "screenshot: wrote $run_output"
rm -rf "$work"
