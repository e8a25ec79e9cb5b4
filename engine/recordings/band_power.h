// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "averaged_spectrum.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

// The power of a band of a one-sided spectrum and the readout between two cursors, from the values a
// spectrum shows. Every spectrum the program makes is a windowed transform of N samples, read in some
// units; each line's value is turned back into the mean-square volts (V^2) it stands for, so that
// summing lines gives the power of the band:
//   - |X[k]|^2 (counts^2, windowed N-point transform, window w): P[k] = s |X[k]|^2 v^2 / (N sum w^2),
//     with v volts per count and s = 2 above 0 Hz and below N / 2 (the mirror line), 1 at 0 Hz and N / 2;
//   - rms, peak, peak-to-peak, dBV: P[k] = rms^2 / B, B the window's equivalent noise bandwidth in lines
//     (WindowFigures::dblNoiseBandwidth; 1 without a window), rms = peak / sqrt 2 above 0 Hz, = peak at
//     0 Hz, the peak-to-peak value twice the peak and dBV 20 log10 rms;
//   - PSD (V^2/Hz) and ASD (V/sqrt(Hz)): P[k] = PSD * df, df the line spacing in Hz.
// White noise of variance s^2 then gives each line 2 s^2 / N and a tone of peak A the power A^2 / 2
// summed over its main lobe, whatever the window: a band's sum is its true power.
namespace kestrix::engine {

// How a plotted spectrum's values stand for power.
struct LineScale
{
    SpectrumUnits units = SpectrumUnits::Rms;
    double dblDeltaFreq = 1.0;      // Hz between lines, > 0
    double dblNoiseBandwidth = 1.0; // the window's equivalent noise bandwidth, lines (>= 1); 1 for none
    bool blnClassicZero = false;    // 0 Hz read as the classic spectrum file reads it (4c for a constant c)
    double dblDbReference = 1.0;    // what 0 dB stands for in the values' unit (> 0): 1 for dBV
};

// The classic run's spectrum (the _SPC.csv file): peak-to-peak volts (4 |X| / N times the volts per count
// on every line, 0 Hz included) of one block without a window, lines dblDeltaFreq Hz apart.
LineScale classicLineScale(double dblDeltaFreq);

// The mean-square volts (V^2) line k stands for, its value dblValue read in scale's units. 0 for a
// value that stands for no power (0 V, the dBV floor dblDbvFloor, a negative or NaN value).
double linePower(double dblValue, std::size_t k, const LineScale& scale);

// The mean-square volts of every line from |X[k]|^2 in counts^2 (k from 0; N / 2 + 1 lines reach half
// the rate, fewer are fine): lngNumSamp = N (> 0), dblSquareSum = sum of w[n]^2 (> 0), dblVoltsPerCount
// in V. dblOut has the size of dblPower.
void linePowersOfTransform(std::span<const double> dblPower, std::int32_t lngNumSamp, double dblSquareSum,
                           double dblVoltsPerCount, std::span<double> dblOut);

// The power (V^2) of the lines lngFirst to lngLast of dblValues, both included, in either order,
// clipped to the lines there are: the sum of linePower. 0 for no values.
double bandPower(std::span<const double> dblValues, std::size_t lngFirst, std::size_t lngLast, const LineScale& scale);

// The mean-square volts (V^2) of a tone standing on line k whose value there is dblValue: the line's
// power times the window's noise bandwidth in lines, since a window spreads a tone's power over its main
// lobe and a band's sum counts the line it stands on for 1 / that bandwidth. The tone's own amplitude
// (rms) squared for the amplitude units; for the densities PSD * df * bandwidth.
double tonePower(double dblValue, std::size_t k, const LineScale& scale);

// The level of a value in dB as its units read it: 20 log10 for the amplitudes (V), 10 log10 for PSD
// (V^2/Hz), the value itself in dBV. -infinity for 0 (and the dBV floor); NaN for a negative amplitude.
double levelDb(double dblValue, SpectrumUnits units);

// What the readout between two cursors A and B on one spectrum gives.
struct CursorDelta
{
    double dblFreqA = 0.0;            // Hz
    double dblFreqB = 0.0;            // Hz
    double dblValueA = 0.0;           // in the spectrum's units
    double dblValueB = 0.0;           // in the spectrum's units
    double dblDeltaFreq = 0.0;        // Hz: B - A
    double dblDeltaLevel = 0.0;       // dB: level of B - level of A (levelDb; +-infinity or NaN at 0 V)
    std::size_t lngBandLines = 0;     // lines from A to B, both included
    std::optional<double> dblBandRms; // V: the root of bandPower from A to B; none without a scale
    // V: the root of the sum of tonePower at A and at B (once where they are one line): the two lines read
    // as tones standing on them, as a user adds two tones; none without a scale.
    std::optional<double> dblToneSumRms;
};

// The readout of cursors on lines lngA and lngB (< the lines of dblFreq and dblValues, which have the
// same size) of a spectrum: frequencies in Hz, values in scale's units (amplitudes in V when there is
// no scale: the level difference is then 20 log10 of their ratio and the band's RMS is not known).
CursorDelta cursorDelta(std::span<const double> dblFreq, std::span<const double> dblValues, std::size_t lngA,
                        std::size_t lngB, const std::optional<LineScale>& scale);

} // namespace kestrix::engine
