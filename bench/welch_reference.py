#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The averaged spectrum of a recording the way a Python user computes it, for the benchmark's
comparison: load the recording (a WAV file with scipy.io.wavfile, one-column text of converter counts
with numpy.loadtxt), scale the counts to volts, take scipy.signal.welch with the given window, segment
length and overlap (no detrending, rms spectrum scaling), and save frequency and rms volts as CSV up to
fs / 2.56.

usage: welch_reference.py INPUT OUTPUT [--fs HZ] [--points N] [--overlap PERCENT] [--window NAME]
                          [--range VOLTS]
"""
import argparse
import math

import numpy as np
import scipy.io.wavfile
import scipy.signal


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("input")
    parser.add_argument("output")
    parser.add_argument("--fs", type=float, default=1024.0)
    parser.add_argument("--points", type=int, default=65536)
    parser.add_argument("--overlap", type=float, default=50.0)
    parser.add_argument("--window", default="hann")
    parser.add_argument("--range", type=float, default=5.0)
    args = parser.parse_args()

    if args.input.lower().endswith(".wav"):
        fs, counts = scipy.io.wavfile.read(args.input)
    else:
        fs, counts = args.fs, np.loadtxt(args.input)
    volts = counts * (args.range / 32767.0)
    noverlap = math.floor(args.points * args.overlap / 100.0)
    freqs, power = scipy.signal.welch(volts, fs=fs, window=args.window, nperseg=args.points, noverlap=noverlap,
                                      detrend=False, scaling="spectrum")
    lines = round(args.points / 2.56 + 1)
    np.savetxt(args.output, np.column_stack((freqs[:lines], np.sqrt(power[:lines]))), delimiter=",")


if __name__ == "__main__":
    main()
