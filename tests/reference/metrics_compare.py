#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""An independent check of kestrix-batch --average --metrics: converter test recordings (a tone with
harmonics at known levels and white noise of known power, coherently sampled and not) analysed here with
numpy alone (scipy.signal.welch's averaged spectrum, then the figures by their definitions: each
component the sum of its main lobe, harmonics folded below fs / 2, noise every other line to fs / 2),
and compared with the figures the program writes. Prints the largest difference of each case and fails
when any exceeds the bound; also checks both against the recording's construction. Exits 77 (skipped)
without numpy and scipy.

usage: metrics_compare.py PATH/TO/kestrix-batch
"""
import csv
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

RANGE = 5.0
VOLTS_PER_COUNT = RANGE / 32767
LOBE = {"rect": 1, "hann": 2, "hamming": 2, "blackmanharris": 4, "flattop": 5, "blackmanharris7": 7}
BLACKMAN_HARRIS_7 = [0.27105140069342, 0.43329793923448, 0.21812299954311, 0.06592544638803, 0.01081174209837,
                     0.00077658482522, 0.00001388721735]


def scipy_window(window, n):
    """The periodic window as scipy makes it (the 7-term Blackman-Harris from its cosine terms)."""
    if window == "blackmanharris7":
        return scipy.signal.windows.general_cosine(n, BLACKMAN_HARRIS_7, sym=False)
    names = {"rect": "boxcar", "hann": "hann", "hamming": "hamming", "blackmanharris": "blackmanharris",
             "flattop": "flattop"}
    return scipy.signal.get_window(names[window], n)
BOUND_DB = 0.01  # between the two computations of the same definitions


def recording(fs, samples, cycles_per_n, n, harmonics_dbc, noise_db, seed):
    """A -3 dBFS tone in 16-bit counts with harmonics at harmonics_dbc and noise noise_db below it."""
    rng = np.random.default_rng(seed)
    t = np.arange(samples)
    peak = 32767 * 10 ** (-3 / 20)
    x = peak * np.sin(2 * np.pi * cycles_per_n * t / n + 0.3)
    for order, dbc in enumerate(harmonics_dbc, start=2):
        x += peak * 10 ** (dbc / 20) * np.sin(2 * np.pi * order * cycles_per_n * t / n + 0.7 * order)
    sigma = peak / math.sqrt(2) * 10 ** (noise_db / 20)
    x += rng.normal(0.0, sigma, samples)
    return np.clip(np.rint(x), -32768, 32767).astype(np.int16), peak, sigma


def figures(volts, fs, n, window):
    """The figures by their definitions, on scipy's averaged power spectrum (V^2 per line, one-sided)."""
    _, p = scipy.signal.welch(volts, fs=fs, window=scipy_window(window, n), nperseg=n, noverlap=n // 2,
                              detrend=False, scaling="density")
    line = p * fs / n  # V^2 per line: a line's noise reads its power, a lobe's sum the tone's
    half = LOBE[window]
    roles = np.zeros(len(line), dtype=int)  # 0 noise, 1 fundamental, 2 harmonic, 3 excluded
    roles[: half + 1] = 3

    def claim(peak, role):
        lo, hi = max(peak - half, 0), min(peak + half, len(line) - 1)
        free = [k for k in range(lo, hi + 1) if roles[k] == 0]
        for k in free:
            roles[k] = role
        return sum(line[k] for k in free)

    k0 = half + 1 + int(np.argmax(line[half + 1:]))
    lo, hi = max(k0 - half, 0), min(k0 + half, len(line) - 1)
    centre = sum(k * line[k] for k in range(lo, hi + 1)) / sum(line[lo:hi + 1])
    fund = claim(k0, 1)
    harm = 0.0
    for order in range(2, 11):
        f = (order * centre * fs / n) % fs
        f = fs - f if f > fs / 2 else f
        m = int(round(f / (fs / n)))
        cand = [k for k in (m - 1, m, m + 1) if 0 <= k < len(line)]
        harm += claim(max(cand, key=lambda k: line[k]), 2)
    noise = line[roles == 0].sum()
    spur = line[(roles == 0) | (roles == 2)].max()
    sinad = 10 * math.log10(fund / (noise + harm))
    return {"SNR": 10 * math.log10(fund / noise), "THD": 10 * math.log10(harm / fund), "SINAD": sinad,
            "ENOB": (sinad - 1.76) / 6.02, "SFDR": 10 * math.log10(line[k0] / spur)}


def program_figures(batch, path, fs, n, window):
    """The program's figures; the 7-term Blackman-Harris window is its default with --metrics."""
    chosen = [] if window == "blackmanharris7" else ["--window", window]
    subprocess.run([batch, "--average", "--metrics", "--points", str(n)] + chosen + ["--overlap", "50",
                    "--fs", str(fs), "--range", str(RANGE), path], check=True, capture_output=True)
    metrics = os.path.splitext(path)[0] + "_METRICS.csv"
    with open(metrics, newline="") as f:
        return {row["name"]: float(row["value"]) for row in csv.DictReader(f) if row["name"] in
                ("SNR", "THD", "SINAD", "ENOB", "SFDR")}


def main():
    batch = sys.argv[1]
    fs = 48000
    cases = [
        # window, N, cycles per N (a whole number is coherent), harmonics (dBc), noise (dB below the tone),
        # whether the figures must match the construction: off a line, Hann's leakage past its main lobe
        # counts as noise by the definitions, so there only the two computations are compared.
        ("rect", 8192, 1001, (-60, -70, -80), -70, True),
        ("hann", 8192, 1001, (-60, -70, -80), -70, True),
        ("flattop", 8192, 1001, (-60, -70, -80), -70, True),
        ("hann", 8192, 1234.37, (-60, -70, -80), -70, False),
        ("blackmanharris", 16384, 3001.61, (-50, -65), -80, False),
        ("blackmanharris", 16384, 3001, (-50, -65), -80, True),
        # The default window with --metrics: its leakage lies far below the noise, so a tone between lines
        # reads its construction too.
        ("blackmanharris7", 16384, 3001.61, (-50, -65), -80, True),
        ("blackmanharris7", 16384, 2468.74, (-60, -70, -80), -70, True),
    ]
    worst = 0.0
    with tempfile.TemporaryDirectory() as folder:
        for index, (window, n, cycles, harmonics, noise_db, built) in enumerate(cases):
            counts, peak, sigma = recording(fs, 64 * n, cycles, n, harmonics, noise_db, seed=index)
            path = os.path.join(folder, f"case{index}.wav")
            scipy.io.wavfile.write(path, fs, counts)
            mine = figures(counts.astype(float) * VOLTS_PER_COUNT, fs, n, window)
            theirs = program_figures(batch, path, fs, n, window)
            diff = max(abs(mine[k] - theirs[k]) * (6.02 if k == "ENOB" else 1.0) for k in mine)
            worst = max(worst, diff)
            # And both against the construction: the tone's power over the noise's and the harmonics'.
            snr = 10 * math.log10((peak ** 2 / 2) / sigma ** 2)
            thd = 10 * math.log10(sum(10 ** (d / 10) for d in harmonics))
            print(f"{window:16s} N={n:5d} cycles={cycles:8.2f}: largest difference {diff:.2e} dB; "
                  f"SNR {theirs['SNR']:.3f} (built {snr:.3f}), THD {theirs['THD']:.3f} (built {thd:.3f})")
            if built and (abs(theirs["SNR"] - snr) > 0.15 or abs(theirs["THD"] - thd) > 0.15):
                print("  far from the construction")
                return 1
    print(f"largest difference over all cases: {worst:.2e} dB (bound {BOUND_DB} dB)")
    return 0 if worst <= BOUND_DB else 1


if __name__ == "__main__":
    sys.exit(main())
