#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Independent numpy/scipy computations of what the analyses of recordings give in physical units: the
condition measures, the averaged spectrum as velocity or displacement with its band RMS, and the envelope
spectrum. They share nothing with the program's code: the envelope is taken by a different method (a
brick-wall band-pass of the whole recording in one transform, scipy's Hilbert transform, the edges cut off),
so agreement checks the design, not a copy of it.

Run alone, it checks its own cores against the truths of generated signals (exit 0, or 77 without numpy
and scipy); the batch's comparisons import it.
"""
import math
import sys

try:
    import numpy as np
    import scipy.signal
    import scipy.stats
except ImportError:
    print("numpy or scipy missing: skipped")
    sys.exit(77)

G = 9.80665  # m/s² per g
WINDOWS = {"rect": "boxcar", "hann": "hann", "hamming": "hamming", "blackmanharris": "blackmanharris",
           "flattop": "flattop"}


def levels(values):
    """rms (mean included), peak, peak-to-peak, crest factor, kurtosis (Pearson's) and mean of a record."""
    values = np.asarray(values, dtype=float)
    rms = math.sqrt(float(np.mean(values ** 2)))
    peak = float(np.max(np.abs(values)))
    return {"rms": rms, "peak": peak, "peak-to-peak": float(np.ptp(values)), "crest factor": peak / rms,
            "kurtosis": float(scipy.stats.kurtosis(values, fisher=False, bias=True)), "mean": float(np.mean(values))}


def welch_lines(values, fs, points, window, overlap, detrend=False):
    """The one-sided power per line (scipy's 'spectrum' scaling: a tone's rms squared on its line) and the
    density, to fs / 2.56, with the frequencies."""
    noverlap = math.floor(points * overlap / 100.0)
    kwargs = dict(fs=fs, window=WINDOWS[window], nperseg=points, noverlap=noverlap, detrend=detrend)
    freq, power = scipy.signal.welch(values, scaling="spectrum", **kwargs)
    _, density = scipy.signal.welch(values, scaling="density", **kwargs)
    lines = round(points / 2.56 + 1)
    return freq[:lines], power[:lines], density[:lines]


def quantity_gain(freq, quantity, unit_si, highpass):
    """Each line's factor from the recorded acceleration (unit_si m/s² per unit) to velocity in mm/s or
    displacement in µm; 0 below the high-pass frequency and at 0 Hz."""
    omega = 2 * np.pi * freq
    gain = np.zeros_like(freq)
    keep = (freq >= highpass) & (freq > 0)
    if quantity == "velocity":
        gain[keep] = unit_si * 1e3 / omega[keep]
    elif quantity == "displacement":
        gain[keep] = unit_si * 1e6 / omega[keep] ** 2
    else:
        gain[:] = 1.0
    return gain


def band_rms(freq, power, window_values, low, high):
    """The RMS of the lines from low to high: each line's power over the window's noise bandwidth in lines."""
    w = np.asarray(window_values)
    enbw_lines = len(w) * np.sum(w ** 2) / np.sum(w) ** 2
    inside = (freq >= low) & (freq <= high)
    return math.sqrt(float(np.sum(power[inside])) / enbw_lines)


def envelope(values, fs, low, high, cut):
    """The magnitude of the analytic signal of the recording band-passed to low..high by zeroing its
    transform outside the band; cut samples dropped at each end (where the brick wall rings)."""
    spectrum = np.fft.rfft(values)
    freq = np.fft.rfftfreq(len(values), 1.0 / fs)
    spectrum[(freq < low) | (freq > high)] = 0.0
    band = np.fft.irfft(spectrum, len(values))
    return np.abs(scipy.signal.hilbert(band))[cut:len(values) - cut]


def self_check():
    fs, points = 10186, 4096
    t = np.arange(points * 12) / fs
    accel_g = 10.0 * np.sin(2 * np.pi * 159.155 * t)  # 10 g peak at 1000 rad/s
    freq, power, _ = welch_lines(accel_g, fs, points, "flattop", 50.0)
    line = int(np.argmax(power))
    for quantity, truth in (("acceleration", 7.0711), ("velocity", 69.344), ("displacement", 69.344)):
        rms = math.sqrt(power[line]) * quantity_gain(freq, quantity, G, 10.0)[line]
        assert abs(rms / truth - 1) < 1e-3, (quantity, rms)
    window = scipy.signal.get_window("flattop", points)
    vel_power = power * quantity_gain(freq, "velocity", G, 10.0) ** 2
    assert abs(band_rms(freq, vel_power, window, 10.0, 1000.0) / 69.344 - 1) < 1e-3

    sine = levels(np.sin(2 * np.pi * np.arange(48000) / 48.0))
    assert abs(sine["crest factor"] - math.sqrt(2)) < 1e-9 and abs(sine["kurtosis"] - 1.5) < 1e-9
    noise = levels(np.random.default_rng(3).normal(0.0, 1.0, 1 << 22))
    assert abs(noise["kurtosis"] - 3.0) < 0.05

    fs, a, m, fm = 8192, 1.0, 0.5, 50.0
    t = np.arange(points * 20) / fs
    am = a * (1 + m * np.cos(2 * np.pi * fm * t)) * np.cos(2 * np.pi * 2000.0 * t)
    env = envelope(am, fs, 1500.0, 2500.0, 2048)
    freq, power, _ = welch_lines(env, fs, points, "hann", 50.0, detrend="constant")
    line = int(np.argmax(power[8:])) + 8
    assert abs(freq[line] - fm) <= fs / points and abs(math.sqrt(2 * power[line]) / (a * m) - 1) < 0.01
    print("the reference cores hold their truths")


if __name__ == "__main__":
    self_check()
