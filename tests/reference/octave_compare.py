#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""An independent check of the engine's fractional-octave band levels: white and pink noise recordings
analysed by the engine (through kestrix_octave_levels, Z weighting) and by scipy, each band filtered
at the full sampling frequency with scipy.signal.butter's Butterworth band-pass of the same class
(order 6 a side, -3 dB on the band edges, bilinear transform with prewarping) as second-order sections,
its mean square taken over the whole recording. The engine runs each band at a decimated rate; the two
must agree within the class 1 tolerance at the midband (0.4 dB). Prints the largest difference of each
case. Exits 77 (skipped) without numpy and scipy.

usage: octave_compare.py PATH/TO/kestrix_octave_levels
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

BOUND = 0.4  # dB
RANGE = 5.0  # V full scale, the engine's default
FS = 48000
SECONDS = 12


def noise(kind, seed):
    """16-bit counts of white noise, or of pink noise (white noise shaped -3 dB an octave in frequency)."""
    rng = np.random.default_rng(seed)
    samples = FS * SECONDS
    white = rng.normal(0.0, 1.0, samples)
    if kind == "pink":
        spectrum = np.fft.rfft(white)
        freqs = np.fft.rfftfreq(samples, 1.0 / FS)
        freqs[0] = freqs[1]
        white = np.fft.irfft(spectrum / np.sqrt(freqs / 1000.0), samples)
    counts = white / np.max(np.abs(white)) * 20000.0
    return np.rint(counts).astype(np.int16)


def engine_bands(tool, path, bands_per_octave):
    out = subprocess.run([tool, "--octave", str(bands_per_octave), path], check=True, capture_output=True,
                         text=True).stdout
    lines = out.split("\n\n")[0].strip().splitlines()[1:]
    result = []
    for line in lines:
        nominal, midband, lower, upper, leq, rms = line.split(",")
        result.append((nominal, float(lower), float(upper), float(rms)))
    return result


def reference_rms(volts, lower, upper):
    sos = scipy.signal.butter(6, [lower, upper], btype="bandpass", fs=FS, output="sos")
    return math.sqrt(np.mean(scipy.signal.sosfilt(sos, volts) ** 2))


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    tool = sys.argv[1]
    failed = False
    with tempfile.TemporaryDirectory() as folder:
        for kind, seed in (("white", 1), ("pink", 2)):
            counts = noise(kind, seed)
            path = os.path.join(folder, kind + ".wav")
            scipy.io.wavfile.write(path, FS, counts)
            volts = counts.astype(np.float64) * RANGE / 32767.0
            for bands_per_octave in (1, 3):
                worst = (0.0, "")
                for nominal, lower, upper, rms in engine_bands(tool, path, bands_per_octave):
                    difference = 20.0 * math.log10(rms / reference_rms(volts, lower, upper))
                    if abs(difference) > abs(worst[0]):
                        worst = (difference, nominal)
                    if abs(difference) > BOUND:
                        print(f"{kind} 1/{bands_per_octave} octave, band {nominal} Hz: {difference:+.3f} dB")
                        failed = True
                print(f"{kind} noise, 1/{bands_per_octave} octave: largest difference {worst[0]:+.3f} dB "
                      f"(band {worst[1]} Hz)")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
