#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""An independent check of kestrix-batch --average: the same recordings analysed by scipy.signal.welch
(and, for peak averaging, the maximum over scipy.signal.spectrogram's segments) with the same window,
segment length, overlap and detrending, compared line by line. Prints the largest relative difference of
each case and fails when any exceeds the bound. Exits 77 (skipped) without numpy and scipy.

usage: welch_compare.py PATH/TO/kestrix-batch
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

BOUND = 1e-9  # relative; the files carry 15 significant digits
RANGE = 5.0
WINDOWS = {"rect": "boxcar", "hann": "hann", "hamming": "hamming", "blackmanharris": "blackmanharris",
           "flattop": "flattop"}


def recording(samples, fs, seed):
    """Whole counts: tones on and between lines, an offset and noise."""
    rng = np.random.default_rng(seed)
    t = np.arange(samples) / fs
    x = 40.0 + rng.normal(0.0, 200.0, samples)
    for freq, peak in ((fs / 16, 6000.0), (fs / 7.3, 1500.0), (fs / 3.1, 300.0)):
        x += peak * np.sin(2 * np.pi * freq * t + 0.4)
    return np.clip(np.rint(x), -32768, 32767).astype(np.int16)


def reference(volts, fs, case):
    n = case["points"]
    noverlap = math.floor(n * case["overlap"] / 100.0)
    window = WINDOWS[case["window"]]
    detrend = "constant" if case["detrend"] == "mean" else False
    lines = round(n / 2.56 + 1)
    if case["averaging"] == "peak":
        _, _, seg = scipy.signal.spectrogram(volts, fs=fs, window=window, nperseg=n, noverlap=noverlap,
                                             detrend=detrend, scaling="spectrum", mode="psd")
        power_rms, density = seg.max(axis=1)[:lines], None
    else:
        _, power = scipy.signal.welch(volts, fs=fs, window=window, nperseg=n, noverlap=noverlap, detrend=detrend,
                                      scaling="spectrum")
        _, density = scipy.signal.welch(volts, fs=fs, window=window, nperseg=n, noverlap=noverlap,
                                        detrend=detrend, scaling="density")
        power_rms, density = power[:lines], density[:lines]
    rms = np.sqrt(power_rms)  # at 0 Hz the mean itself, above it the rms of each line
    peak = rms * math.sqrt(2.0)
    peak[0] = rms[0]
    units = {"rms": rms, "peak": peak, "pp": 2 * peak, "dbv": 20 * np.log10(rms)}
    if density is not None:
        units.update({"psd": density, "asd": np.sqrt(density)})
    return np.arange(lines) * fs / n, units[case["units"]]


def run_case(batch, folder, case):
    fs = case["fs"]
    counts = recording(case["samples"], fs, case["seed"])
    if case["form"] == "wav":
        path = os.path.join(folder, "rec.wav")
        scipy.io.wavfile.write(path, fs, counts)
        options = []
    elif case["form"] == "csv":
        path = os.path.join(folder, "rec.csv")
        with open(path, "w") as out:
            out.write("logger;7\nindex;accel;temp\n")
            for i, c in enumerate(counts):
                out.write(f"{i};{c};21.5\n")
        options = ["--fs", str(fs), "--column", "accel"]
    else:
        path = os.path.join(folder, "rec.txt")
        np.savetxt(path, counts, fmt="%d", newline="\r\n")
        options = ["--fs", str(fs)]
    options += ["--points", str(case["points"]), "--window", case["window"], "--overlap", str(case["overlap"]),
                "--averaging", case["averaging"], "--detrend", case["detrend"], "--units", case["units"]]
    # The file the program says it wrote (a column chosen by name names it: rec_col-accel_AVG_SPC.csv).
    written = subprocess.run([batch, "--average", *options, path], check=True, stdout=subprocess.PIPE, text=True)
    ours = np.loadtxt(written.stdout.splitlines()[0], delimiter=",", skiprows=1)
    freqs, values = reference(counts * (RANGE / 32767.0), fs, case)
    assert ours.shape == (len(freqs), 2), ours.shape
    freq_diff = np.max(np.abs(ours[:, 0] - freqs) / np.maximum(freqs, 1e-300))
    if case["units"] == "dbv":
        ratio, reference_volts = 10 ** ((ours[:, 1] - values) / 20), 10 ** (values / 20)
    else:
        ratio, reference_volts = ours[:, 1] / values, values
    # Lines at the level of rounding (none in these recordings, which all hold noise) are not compared.
    compared = np.abs(reference_volts) > 1e-10 * np.max(np.abs(reference_volts))
    value_diff = np.max(np.abs(ratio[compared] - 1))
    return max(freq_diff, value_diff)


CASES = [
    dict(form="text", fs=1000, samples=100000, points=1024, window="hann", overlap=50, averaging="mean",
         detrend="none", units="psd", seed=1),
    dict(form="text", fs=1024, samples=65536, points=2048, window="hamming", overlap=75, averaging="mean",
         detrend="mean", units="rms", seed=2),
    dict(form="wav", fs=8000, samples=200000, points=4096, window="blackmanharris", overlap=66.7,
         averaging="mean", detrend="none", units="asd", seed=3),
    dict(form="wav", fs=25600, samples=400000, points=65536, window="flattop", overlap=0, averaging="mean",
         detrend="none", units="pp", seed=4),
    dict(form="text", fs=2000, samples=50000, points=1024, window="rect", overlap=50, averaging="peak",
         detrend="none", units="rms", seed=5),
    dict(form="csv", fs=1000, samples=30000, points=1024, window="hann", overlap=50, averaging="mean",
         detrend="mean", units="dbv", seed=6),
    dict(form="wav", fs=48000, samples=300000, points=8192, window="hann", overlap=50, averaging="peak",
         detrend="mean", units="peak", seed=7),
]


def main():
    batch = sys.argv[1]
    worst = 0.0
    with tempfile.TemporaryDirectory() as folder:
        for case in CASES:
            diff = run_case(batch, folder, case)
            worst = max(worst, diff)
            label = ", ".join(f"{k}={v}" for k, v in case.items() if k not in ("seed", "samples"))
            print(f"{diff:.2e}  {label}")
    print(f"largest relative difference: {worst:.2e} (bound {BOUND:.0e})")
    return 0 if worst <= BOUND else 1


if __name__ == "__main__":
    sys.exit(main())
