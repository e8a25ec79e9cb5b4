// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "averaged_spectrum.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// The figures of a converter recording a tone, in the manner of the standard test methods for
// analog-to-digital converters, from an averaged power spectrum: the fundamental, its harmonics 2 to
// 10, the noise, and from them SNR, THD, SINAD, ENOB and SFDR.
namespace kestrix::engine {

// What a spectrum line was counted as.
enum class LineRole : std::uint8_t {
    Noise,
    Fundamental,
    Harmonic,
    Excluded, // 0 Hz and its main lobe
};

// Why figures mean nothing, where they do not.
enum class FiguresProblem : std::uint8_t {
    None,
    FundamentalOutside, // the fundamental asked for does not lie above 0 Hz and below fs / 2
    Overflow,           // a line's power in V^2 is not a finite number (the values or the range too large)
    NoTone,             // the fundamental's power is 0: nothing to measure
};

// One harmonic as found.
struct HarmonicFigure
{
    int intOrder = 0;         // 2 to 10
    double dblFreq = 0.0;     // Hz, where it appears: folded back below fs / 2
    std::int32_t lngLine = 0; // its peak line
    double dblPower = 0.0;    // V^2 (mean square), the lines of its main lobe summed
    double dblDbc = 0.0;      // dB relative to the fundamental
};

// What the figures are computed from: the one-sided squared magnitudes |X[k]|^2 (counts^2) of the
// windowed N-point transform, averaged over the segments, for every line k from 0 to N / 2.
struct ToneSpectrum
{
    std::span<const double> dblPower;  // N / 2 + 1 lines
    std::int32_t lngNumSamp = 0;       // N, a power of two
    double dblSquareSum = 0.0;         // sum of the window's w[n]^2
    std::int32_t lngLobeHalfWidth = 1; // lines of the window's main lobe on each side of its peak
    double dblSampFreq = 0.0;          // Hz
    double dblVoltsPerCount = 0.0;     // V: input range / 32767
    std::optional<WindowKind> window;  // for the leakage figures; none: they stay 0
};

struct ToneFigures
{
    FiguresProblem problem = FiguresProblem::None; // when not None, only the roles hold anything
    double dblFundamentalFreq = 0.0;               // Hz, refined between lines (the power-weighted centre of its lobe)
    std::int32_t lngFundamentalLine = 0;
    double dblFundamentalPower = 0.0; // V^2 (mean square)
    double dblFundamentalPeak = 0.0;  // V, the amplitude sqrt(2 P)
    std::vector<HarmonicFigure> harmonics;
    double dblHarmonicPower = 0.0; // V^2, harmonics 2 to 10 together
    double dblNoisePower = 0.0;    // V^2, every noise line from 0 Hz to fs / 2
    std::int32_t lngNoiseLines = 0;
    double dblSnr = 0.0;                 // dB: fundamental over noise
    double dblThd = 0.0;                 // dB: harmonics over fundamental (negative)
    double dblSinad = 0.0;               // dB: fundamental over noise and harmonics
    double dblEnob = 0.0;                // bits: (SINAD - 1.76) / 6.02
    double dblFullScaleCorrection = 0.0; // dB: 20 log10(full scale / amplitude)
    double dblEnobFullScale = 0.0;       // bits: ENOB with the correction added to SINAD
    double dblSfdr = 0.0;                // dB: the fundamental's peak line over the highest other line
    double dblSpurFreq = 0.0;            // Hz: that highest other line
    double dblNoiseFloorPerLine = 0.0;   // V^2: the mean noise line
    double dblNoiseDensity = 0.0;        // V^2/Hz: the mean noise line over the line spacing
    // The window's leakage beyond the counted lobe (power over the lobe's): for a tone half-way between
    // lines (the limit of what the figures can read with this window), and for this tone, whose place
    // off its peak line (-0.5 .. 0.5 lines) is found from the window's response and the two highest lines.
    double dblLeakageLimit = 0.0;
    double dblToneOffset = 0.0;
    double dblLeakage = 0.0;
    // This tone's leakage exceeds the rest of the noise found: SNR, SINAD and ENOB read the window.
    bool blnLeakageAboveNoise = false;
    std::vector<LineRole> roles; // per line, 0 to N / 2
};

// The figures of the tone in spectrum: the fundamental is the highest line above 0 Hz and its main lobe
// (or, given dblFundamentalHz, the highest line within the main lobe around that frequency); each
// component's power is the sum over its line and its main lobe on each side, each line counted once
// (the fundamental's first, then the harmonics in order); harmonics above fs / 2 are looked for where
// they fold back to. dblFullScaleVolts is the converter's full scale (its input range, peak). Refuses
// nothing: a spectrum without any tone gives figures of 0 power (and infinite ratios); the caller checks
// ToneSpectrum's sizes (dblPower with N / 2 + 1 lines, N >= 4 * lngLobeHalfWidth). Figures that would mean
// nothing state their problem instead (and read no line out of the spectrum, whatever is asked): a
// fundamental asked for outside 0 .. fs / 2, powers beyond the double range, no power at the fundamental.
ToneFigures computeToneFigures(const ToneSpectrum& spectrum, double dblFullScaleVolts,
                               std::optional<double> dblFundamentalHz = std::nullopt);

// The figures of an averaging made to half the rate (AverageSettings::blnToHalfRate).
ToneFigures toneFiguresOf(const AveragedPower& average, double dblSampFreq, double dblVoltsPerCount,
                          double dblFullScaleVolts, std::optional<double> dblFundamentalHz = std::nullopt);

// One figure as a line of a table: its name, its value and its unit.
struct FigureRow
{
    std::string strName;
    double dblValue = 0.0;
    std::string strUnit;
};

// The figures as rows, in the order a reader wants them: the fundamental, SNR, THD, SINAD, ENOB (and at
// full scale, with the correction), SFDR and its spur, the noise, then each harmonic's frequency and level.
std::vector<FigureRow> figureRows(const ToneFigures& figures);

// What the figures were measured with.
struct FigureSettings
{
    AverageSettings settings;
    std::int64_t lngSegments = 0;
    std::int32_t lngSampFreq = 0; // Hz
    double dblRange = 0.0;        // V, the converter's input range
    std::int64_t lngSamples = 0;
};

// A figure's value as the files write numbers: the general number text; "nan", and "inf" and "-inf"
// for infinities (no noise, no spur).
std::string figureValueText(double dblValue);

// One line of the figures' table as text.
struct FigureLine
{
    std::string strName;
    std::string strValue;
    std::string strUnit;
};

// The lines of the figures' file after its heading: figureRows with their values as the files write
// numbers (infinities "inf" and "-inf", "nan"), a warning where leakageWarning gives one, then the
// settings (window, N, overlap, segments, averaging, detrend, fs, range, samples) in the same form.
std::vector<FigureLine> figureTable(const ToneFigures& figures, const FigureSettings& measured);

// The warning of figures whose tone leaks more beyond the counted lobe than the noise found, naming the
// window; empty when there is none.
std::string leakageWarning(const ToneFigures& figures, WindowKind window);

} // namespace kestrix::engine
