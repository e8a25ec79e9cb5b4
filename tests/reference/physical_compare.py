#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""kestrix-batch --average with a sensor against physical_reference.py's numpy/scipy computations, on a
generated accelerometer recording (100 mV/g): the spectrum as acceleration, velocity and displacement, the
condition measures and band RMS of --levels, and the envelope spectrum of --envelope.

Usage: physical_compare.py KESTRIX_BATCH (exit 0 when they agree, 77 without numpy and scipy).
"""
import math
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import physical_reference as ref  # noqa: E402  (exits 77 without numpy and scipy)

np = ref.np
import scipy.io.wavfile  # noqa: E402

FS, POINTS, RANGE, VOLTS_PER_G = 8192, 8192, 5.0, 0.1
CARRIER, MODULATION, DEPTH = 2000.0, 37.0, 0.5


def recording():
    """Counts of an accelerometer: 25 Hz and 50 Hz, a carrier at 2 kHz modulated at 37 Hz, and noise."""
    t = np.arange(FS * 24) / FS
    rng = np.random.default_rng(19)
    g = (0.3 * np.sin(2 * np.pi * 25 * t) + 0.1 * np.sin(2 * np.pi * 50 * t + 0.4) +
         0.8 * (1 + DEPTH * np.cos(2 * np.pi * MODULATION * t)) * np.cos(2 * np.pi * CARRIER * t) +
         0.02 * rng.normal(size=len(t)))
    return np.round(g * VOLTS_PER_G * 32767 / RANGE).astype(np.int16)


def run(batch, path, *options):
    written = subprocess.run([batch, "--average", "--points", str(POINTS), "--sensitivity", "100 mV/g", *options,
                              path], check=True, stdout=subprocess.PIPE, text=True).stdout.splitlines()
    kinds = {"_AVG_SPC.csv": "AVG", "_LEVELS.csv": "LEVELS", "_ENV_SPC.csv": "ENV"}
    return {kind: name for name in written for suffix, kind in kinds.items() if name.endswith(suffix)}


def spectrum(name):
    return np.loadtxt(name, delimiter=",", skiprows=1)[:, 1]


def rows(name):
    values = {}
    with open(name, encoding="utf-8") as table:
        next(table)
        for line in table:
            field, value, _ = line.rstrip("\r\n").rsplit(",", 2)
            values[field] = float(value)
    return values


def main():
    batch = sys.argv[1]
    counts = recording()
    g = counts * (RANGE / 32767.0) / VOLTS_PER_G
    worst = {}
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "pump.wav")
        scipy.io.wavfile.write(path, FS, counts)
        freq, power, _ = ref.welch_lines(g, FS, POINTS, "hann", 50.0)
        window = scipy.signal.get_window("hann", POINTS)
        for quantity in ("acceleration", "velocity", "displacement"):
            files = run(batch, path, "--quantity", quantity, "--levels")
            gain = ref.quantity_gain(freq, quantity, ref.G, 10.0)
            truth = np.sqrt(power) * gain
            ours = spectrum(files["AVG"])
            compared = truth > 1e-9 * truth.max()
            worst["spectrum " + quantity] = float(np.max(np.abs(ours[compared] / truth[compared] - 1)))
            assert np.all(ours[~compared] < 1e-6 * truth.max()), quantity
            measured = rows(files["LEVELS"])
            for field, value in ref.levels(g).items():
                worst["levels " + field] = max(worst.get("levels " + field, 0.0),
                                               abs(measured[field] - value) / max(abs(value), 1e-300))
            low, high = (10.0, 1000.0) if quantity == "velocity" else (0.0, FS / 2.56)
            band = ref.band_rms(freq, power * gain ** 2, window, low, high)
            name = next(field for field in measured if field.startswith("band rms"))
            worst["band rms " + quantity] = abs(measured[name] / band - 1)
        # The envelope: a brick-wall band-pass and scipy's Hilbert transform against the program's FIR.
        files = run(batch, path, "--units", "peak", "--envelope", "1500", "2500")
        env = ref.envelope(g, FS, 1500.0, 2500.0, 4096)
        _, env_power, _ = ref.welch_lines(env, FS, POINTS, "hann", 50.0, detrend="constant")
        env_peak = np.sqrt(env_power) * math.sqrt(2)
        ours = spectrum(files["ENV"])
        line = int(np.argmax(ours[2:])) + 2
        assert line == int(np.argmax(env_peak[2:])) + 2, line
        worst["envelope line"] = abs(ours[line] / env_peak[line] - 1)
        worst["envelope vs A m"] = abs(ours[line] / (0.8 * DEPTH) - 1)
    limits = {"envelope line": 1e-2, "envelope vs A m": 1e-2}
    failed = False
    for check, value in worst.items():
        limit = limits.get(check, 1e-9)
        print(f"{check}: {value:.3g} (limit {limit:g})")
        failed |= not value <= limit
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
