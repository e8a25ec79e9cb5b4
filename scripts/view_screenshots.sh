#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Screenshots of the real window under a virtual X server, driven by the keyboard as a user would: at
# start-up and after a run on the bundled recording (docs/window.png, docs/window-run.png); the
# spectrogram of the run-up recording opened with Ctrl+R (docs/view-spectrogram.png); the bundled
# recording's single block as the FFT run writes it (docs/view-single.png) and its average over the
# whole recording (docs/view-average.png), both at 4096 points on the logarithmic axis; the converter
# figures of a generated converter test tone (docs/view-metrics.png); the readout between two cursors
# on the bundled recording in orders of 1500 rpm (docs/view-delta.png); a generated accelerometer
# recording at 100 mV/g read as velocity with its condition measures (docs/view-velocity.png) and its
# envelope of 2 to 4 kHz with the bearing's defect frequency marked (docs/view-envelope.png); a
# generated pass-by recording in A-weighted third-octave bands with the cursor on its whine's band
# (docs/view-octave.png); the two-channel page of a generated shaker test, its pair chosen as it is
# opened, the cursor on a line (docs/view-transfer.png). Needs Xvfb and xdotool; the pictures are taken
# with kestrix_screen_grab (no other grabbing tool needed). The virtual display is the first free one
# from :99 (from :$VIEW_SCREENSHOTS_DISPLAY when set).
# Usage: scripts/view_screenshots.sh [BUILD_DIR] [OUTPUT_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${1:-build}
output=${2:-docs}
program="$build_dir/app/kestrix"
grab="$build_dir/tools/kestrix_screen_grab"
make_tone="$build_dir/examples/kestrix_make_converter_tone"
make_accelerometer="$build_dir/examples/kestrix_make_accelerometer"
make_pass_by="$build_dir/examples/kestrix_make_pass_by"
make_shaker="$build_dir/examples/kestrix_make_shaker"
for tool in "$program" "$grab" "$make_tone" "$make_accelerometer" "$make_pass_by" "$make_shaker"; do
    if [ ! -x "$tool" ]; then
        echo "view_screenshots: $tool not found; build first (make build)" >&2
        exit 1
    fi
done
for command in Xvfb xdotool; do
    command -v "$command" >/dev/null 2>&1 || { echo "view_screenshots: $command is needed" >&2; exit 1; }
done

display_number=${VIEW_SCREENSHOTS_DISPLAY:-99}
while [ -e "/tmp/.X11-unix/X$display_number" ] || [ -e "/tmp/.X$display_number-lock" ]; do
    display_number=$((display_number + 1))
done
export DISPLAY=":$display_number"
Xvfb "$DISPLAY" -screen 0 1600x1000x24 -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb_pid=$!
app_pid=""
work=$(mktemp -d)
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
for _ in $(seq 50); do
    xdotool getmouselocation >/dev/null 2>&1 && break
    sleep 0.1
done

cp examples/motor.csv examples/runup.wav "$work/"
"$make_tone" "$work/adc_tone.wav"
"$make_accelerometer" "$work/pump.wav"
"$make_pass_by" "$work/pass_by.wav"
"$make_shaker" "$work/shaker.csv"
window=""
geometry=""
start_app() {
    (cd "$work" && QT_QPA_PLATFORM=xcb exec "$OLDPWD/$program") &
    app_pid=$!
    window=""
    for _ in $(seq 100); do
        window=$(xdotool search --pid "$app_pid" --name '^Kestrix$' 2>/dev/null | head -n 1 || true)
        [ -n "$window" ] && break
        sleep 0.1
    done
    [ -n "$window" ] || { echo "view_screenshots: the Kestrix window did not appear" >&2; exit 1; }
    sleep 1
    geometry=$(xdotool getwindowgeometry "$window" | sed -n 's/.*Geometry: \([0-9]*\)x\([0-9]*\).*/\1 \2/p')
    # The window takes the keys (dialogs take them from there as they open).
    xdotool windowfocus "$window" 2>/dev/null || true
}
stop_app() {
    kill "$app_pid" 2>/dev/null || true
    wait "$app_pid" 2>/dev/null || true
    app_pid=""
}
keys() {
    for key in "$@"; do
        xdotool key "$key"
        sleep 0.15
    done
}
# Shortcuts reach only the active window: without a window manager the window is made active again
# after a dialog has closed.
refocus() {
    xdotool windowfocus "$window" 2>/dev/null || true
    sleep 0.3
}
shot() {
    sleep 1.5
    # shellcheck disable=SC2086 # the width and the height
    "$grab" "$output/$1" 0 0 $geometry
    echo "view_screenshots: wrote $output/$1"
}

# FFT has the focus: Enter starts it, the path is typed into Qt's dialog and taken, and Enter closes the
# elapsed-time and completion messages.
run_fft_on() {
    keys Return
    sleep 1.5
    xdotool type --delay 10 "$1"
    keys Return
    sleep 2
    keys Return
    sleep 1
    keys Return
}
# Ctrl+R, the path typed into the dialog; the window takes the keys again afterwards.
open_recording() {
    keys ctrl+r
    sleep 1.5
    xdotool type --delay 10 "$1"
    keys Return
    sleep "$2"
    refocus
}
click() {
    xdotool mousemove --window "$window" "$1" "$2" click 1
    sleep 0.4
}

mkdir -p "$output"
# The window at start-up, and after a run on the bundled recording at the start-up values; Enter
# starts FFT (it has the focus), takes the typed path, and closes the elapsed-time and completion
# messages.
start_app
shot window.png
run_fft_on "$work/motor.csv"
shot window-run.png
stop_app

# The run-up recording at the start-up values (1024 Hz, 1024 points), then the spectrogram page.
start_app
open_recording "$work/runup.wav" 2
keys ctrl+Next
shot view-spectrogram.png
stop_app

# 4096 points (the list, two entries down), back to FFT, run on the bundled recording; Enter closes
# the elapsed-time and completion messages.
start_app
keys Tab Tab Tab Down Down shift+Tab shift+Tab shift+Tab
run_fft_on "$work/motor.csv"
# The logarithmic axis: eleven Tabs from FFT lead to its check box.
keys Tab Tab Tab Tab Tab Tab Tab Tab Tab Tab Tab space
shot view-single.png
# The averaging list through its label's Alt+A, one entry down: the mean over the whole recording.
refocus
keys alt+a Down
shot view-average.png
stop_app

# The converter test tone (48 kHz from the file, 1024 points, Hann, mean) with its figures through
# the check box's Alt+M, on the dBV axis and the logarithmic frequency axis (Alt+L).
start_app
open_recording "$work/adc_tone.wav" 2.5
keys alt+m
sleep 1.5
keys alt+l
click 444 45 # the dBV axis
shot view-metrics.png
stop_app

# The bundled recording's run at the start-up values; 1500 rpm typed (Alt+N) puts the axis in orders;
# a click on the 25 Hz line, D for the reference there, a click on the 300 Hz gear mesh.
start_app
run_fft_on "$work/motor.csv"
refocus
keys alt+n
xdotool type --delay 10 1500
keys Return
click 444 45 # the dBV axis
click 540 300
keys d
click 949 300
xdotool mousemove --window "$window" 1200 700
shot view-delta.png
stop_app

# The accelerometer's recording at 16384 points (the list, four entries down): 100 mV/g typed (Alt+S),
# velocity (Alt+Q, two down), rms (Alt+U, two down), the condition measures (Alt+V), the logarithmic
# frequency axis (Alt+L).
start_app
keys Tab Tab Tab Down Down Down Down shift+Tab shift+Tab shift+Tab
open_recording "$work/pump.wav" 4
keys alt+s
xdotool type --delay 10 "100 mV/g"
keys Tab
sleep 2
keys alt+q Down Down
sleep 2
keys alt+u Down Down
sleep 2
keys alt+v
sleep 2
keys alt+l
shot view-velocity.png
# Then as recorded in g peak, the envelope (Alt+E: asked without a band it says so, and Enter on the
# message leads to the band) of 2 to 4 kHz, the defect frequency 87.3 Hz (Alt+F), a box dragged from
# 0 to 2000 Hz and a click on 4x.
keys alt+v alt+l alt+u Up alt+q Up Up
sleep 1.5
keys alt+e
sleep 1
keys Return
refocus
xdotool type --delay 10 2000
keys Tab
xdotool type --delay 10 4000
keys Return
sleep 4
keys alt+f
xdotool type --delay 10 87.3
keys Return
xdotool mousemove --window "$window" 506 160 mousedown 1
xdotool mousemove --window "$window" 600 300
xdotool mousemove --window "$window" 683 458 mouseup 1
sleep 0.5
click 613 210
xdotool mousemove --window "$window" 1200 700
shot view-envelope.png

# The pass-by recording on the octave page (Ctrl+PageDown twice), A weighting through the list's Alt+G
# (two entries up from Z), the band cursor put on the 2500 Hz band by the keys: five Tabs lead from the
# weighting to the bars, and the first Right puts the cursor on the lowest band, the 20 Hz one.
start_app
open_recording "$work/pass_by.wav" 2
keys ctrl+Next ctrl+Next
sleep 2
keys alt+g Up Up
sleep 3
keys Tab Tab Tab Tab Tab
for _ in $(seq 22); do
    xdotool key Right
done
shot view-octave.png

# The shaker test at its 2048 Hz (typed into the sampling frequency, the first field), opened with
# Ctrl+R: Enter takes the column and the pair offered (force in, acceleration out). The two-channel page
# (Ctrl+PgDown three times) with H2 (Alt+H) and the cursor on the line of the first mode.
start_app
click 250 28
keys ctrl+a
xdotool type --delay 10 2048
keys Tab
keys ctrl+r
sleep 1.5
xdotool type --delay 10 "$work/shaker.csv"
keys Return
sleep 1.5
keys Return
sleep 2
refocus
keys ctrl+Next ctrl+Next ctrl+Next
sleep 3
keys alt+h
click 592 300
xdotool mousemove --window "$window" 1200 700
shot view-transfer.png
stop_app
