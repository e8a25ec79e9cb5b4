#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""An independent check of the frequency response analysis: two-channel recordings (text columns and sound
file channels) analysed by kestrix-batch --transfer (which writes BASE_FRF.csv) and by scipy.signal.welch, csd
and coherence with the same window, segment length, overlap and detrending. Gxx, Gyy, Gxy, H1, H2 and the
coherence are compared line by line. Prints the largest relative difference of each case and fails when any
exceeds the bound. Exits 77 (skipped) without numpy and scipy.

usage: transfer_compare.py PATH/TO/kestrix-batch
"""
import math
import os
import subprocess
import sys
import tempfile

try:
    import numpy as np
    import scipy.io.wavfile
    import scipy.signal
except ImportError:
    print("numpy or scipy missing: skipped")
    sys.exit(77)

BOUND = 1e-9  # relative; the file carries 15 significant digits
RANGE = 5.0
WINDOWS = {"rect": "boxcar", "hann": "hann", "hamming": "hamming", "blackmanharris": "blackmanharris",
           "flattop": "flattop"}


def channels(samples, seed, output_noise):
    """Whole counts: white noise with an offset as the input, the input through a resonant filter, a gain
    and a small delay plus independent noise as the output."""
    rng = np.random.default_rng(seed)
    x = 25.0 + rng.normal(0.0, 3000.0, samples)
    b, a = [0.2, 0.1, -0.05], [1.0, -1.2, 0.72]
    y = -7.0 + np.roll(scipy.signal.lfilter(b, a, x), 3) + rng.normal(0.0, output_noise, samples)
    return (np.clip(np.rint(x), -32768, 32767).astype(np.int16),
            np.clip(np.rint(y), -32768, 32767).astype(np.int16))


def write_recording(folder, case, x, y):
    """The file and the batch's options that choose its two signals."""
    if case["form"] == "wav":
        path = os.path.join(folder, "rec.wav")
        # Channel 1 holds the output, 2 the input, 3 a bystander: the numbers must be honoured.
        scipy.io.wavfile.write(path, case["fs"], np.stack([y, x, x // 2], axis=1))
        return path, ["--input", "2", "--output", "1"]
    path = os.path.join(folder, "rec.csv")
    with open(path, "w") as out:
        out.write("rig;12\ntime;force;accel\n")
        for i, (xi, yi) in enumerate(zip(x, y)):
            out.write(f"{i / case['fs']};{xi};{yi}\n")
    return path, ["--fs", str(case["fs"]), "--input", "force", "--output", "3"]


def reference(x_eu, y_eu, case):
    n = case["points"]
    args = dict(fs=case["fs"], window=WINDOWS[case["window"]], nperseg=n,
                noverlap=math.floor(n * case["overlap"] / 100.0),
                detrend="constant" if case["detrend"] == "mean" else False)
    _, pxx = scipy.signal.welch(x_eu, **args)
    _, pyy = scipy.signal.welch(y_eu, **args)
    freqs, pxy = scipy.signal.csd(x_eu, y_eu, **args)
    _, cxy = scipy.signal.coherence(x_eu, y_eu, **args)
    lines = round(n / 2.56 + 1)
    return {"freq": freqs[:lines], "gxx": pxx[:lines], "gyy": pyy[:lines], "gxy": pxy[:lines],
            "h1": (pxy / pxx)[:lines], "h2": (pyy / np.conj(pxy))[:lines], "coherence": cxy[:lines]}


def relative(ours, theirs):
    return np.max(np.abs(ours - theirs) / np.abs(theirs))


def run_case(tool, folder, case):
    x, y = channels(case["samples"], case["seed"], case["noise"])
    path, options = write_recording(folder, case, x, y)
    (x_unit, x_volts), (y_unit, y_volts) = case["units"]
    options += ["--points", str(case["points"]), "--window", case["window"], "--overlap", str(case["overlap"]),
                "--detrend", case["detrend"], "--input-sensitivity", f"{x_volts} V/({x_unit})",
                "--output-sensitivity", f"{y_volts} V/({y_unit})"]
    subprocess.run([tool, "--transfer", *options, path], check=True, stdout=subprocess.DEVNULL)
    frf = os.path.splitext(path)[0] + "_FRF.csv"
    with open(frf, "rb") as raw:
        content = raw.read()
    assert content.endswith(b"\r\n") and content.count(b"\n") == content.count(b"\r\n"), "CR LF after every line"
    heading = content.split(b"\r\n")[0].decode()
    # An empty field is a value that does not exist on its line (nan here).
    ours = np.genfromtxt(frf, delimiter=",", skip_header=1)
    volts = RANGE / 32767.0
    ref = reference(x * volts / x_volts, y * volts / y_volts, case)
    assert ours.shape == (len(ref["freq"]), 9), ours.shape
    step = case["points"] - math.floor(case["points"] * case["overlap"] / 100.0)
    segments = (case["samples"] - case["points"]) // step + 1
    assert f",segments={segments}," in heading, heading
    assert f"|H1| ({y_unit}/{x_unit})" in heading, heading
    # Lines at the level of rounding (0 Hz with the mean removed and no window) are not compared; on those
    # the estimates that divide by them may be left empty.
    used = (ref["gxx"] > 1e-10 * np.max(ref["gxx"])) & (ref["gyy"] > 1e-10 * np.max(ref["gyy"]))
    assert not np.any(np.isnan(ours[used])), "an empty field on a line that holds power"
    assert ours[0, 0] == 0 and relative(ours[1:, 0], ref["freq"][1:]) < BOUND, "frequencies"
    phase = np.deg2rad(ours[used, 2])
    assert np.all((ours[used, 2] > -180.0) & (ours[used, 2] <= 180.0)), "the phase wrapped to (-180, 180]"
    turns = (ours[used, 3] - ours[used, 2]) / 360.0
    assert np.all(np.abs(turns - np.round(turns)) < 1e-9), "the unwrapped phase is the wrapped one plus whole turns"
    return {
        "H1": relative(ours[used, 1] * np.exp(1j * phase), ref["h1"][used]),
        "H2": relative(ours[used, 4] * np.exp(1j * phase), ref["h2"][used]),
        "coherence": relative(ours[used, 5], ref["coherence"][used]),
        "Gxx": relative(ours[used, 6], ref["gxx"][used]),
        "Gyy": relative(ours[used, 7], ref["gyy"][used]),
        "Gxy": relative(ours[used, 8] * np.exp(1j * phase), ref["gxy"][used]),
    }


CASES = [
    dict(form="csv", fs=1000, samples=60000, points=1024, window="hann", overlap=50, detrend="none", noise=300.0,
         units=(("N", 0.0225), ("g", 0.1)), seed=1),
    dict(form="csv", fs=2048, samples=40000, points=2048, window="hamming", overlap=75, detrend="mean", noise=30.0,
         units=(("V", 1.0), ("V", 1.0)), seed=2),
    dict(form="wav", fs=8000, samples=150000, points=4096, window="blackmanharris", overlap=66.7, detrend="none",
         noise=1000.0, units=(("Pa", 0.05), ("m/s²", 0.0102)), seed=3),
    dict(form="wav", fs=25600, samples=300000, points=16384, window="flattop", overlap=0, detrend="mean",
         noise=100.0, units=(("V", 1.0), ("g", 1.0)), seed=4),
    dict(form="csv", fs=1024, samples=20000, points=1024, window="rect", overlap=50, detrend="mean", noise=3000.0,
         units=(("V", 1.0), ("V", 1.0)), seed=5),
]


def main():
    tool = sys.argv[1]
    worst = 0.0
    with tempfile.TemporaryDirectory() as folder:
        for case in CASES:
            diffs = run_case(tool, folder, case)
            worst = max(worst, max(diffs.values()))
            label = ", ".join(f"{k}={v}" for k, v in case.items() if k in ("form", "points", "window", "overlap",
                                                                              "detrend"))
            print(f"{max(diffs.values()):.2e}  {label}  (" +
                  ", ".join(f"{k} {v:.1e}" for k, v in diffs.items()) + ")")
    print(f"largest relative difference: {worst:.2e} (bound {BOUND:.0e})")
    return 0 if worst <= BOUND else 1


if __name__ == "__main__":
    sys.exit(main())
