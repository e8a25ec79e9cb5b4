// SPDX-License-Identifier: GPL-3.0-or-later
#include "tone_figures.h"

#include "band_power.h"
#include "engine/run/number_text.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>

namespace kestrix::engine {

namespace {

constexpr int intLastHarmonic = 10;

double decibels(double dblRatio)
{
    return 10.0 * std::log10(dblRatio);
}

// The spectrum as mean-square volts per line: a line's worth of white noise and a whole tone's lobe
// read their true power.
std::vector<double> linePowers(const ToneSpectrum& spectrum)
{
    std::vector<double> dblLine(spectrum.dblPower.size());
    linePowersOfTransform(spectrum.dblPower, spectrum.lngNumSamp, spectrum.dblSquareSum, spectrum.dblVoltsPerCount,
                          dblLine);
    return dblLine;
}

// The highest line from lngFirst to lngLast, both held within the spectrum (a range beyond it gives its
// nearest line).
std::size_t highestLine(const std::vector<double>& dblLine, std::int64_t lngFirst, std::int64_t lngLast)
{
    const std::int64_t lngEnd = std::ssize(dblLine) - 1;
    const auto lngFrom = static_cast<std::size_t>(std::clamp<std::int64_t>(lngFirst, 0, lngEnd));
    const auto lngTo =
        static_cast<std::size_t>(std::clamp<std::int64_t>(lngLast, static_cast<std::int64_t>(lngFrom), lngEnd));
    std::size_t lngBest = lngFrom;
    for (std::size_t k = lngFrom; k <= lngTo; ++k) {
        if (dblLine[k] > dblLine[lngBest]) {
            lngBest = k;
        }
    }
    return lngBest;
}

// Gives the lines of the main lobe around lngPeak that are still unclaimed to role; their power.
double claimLobe(const std::vector<double>& dblLine, std::vector<LineRole>& roles, std::size_t lngPeak,
                 std::int32_t lngHalfWidth, LineRole role)
{
    double dblPower = 0.0;
    const auto lngFirst = static_cast<std::int64_t>(lngPeak) - lngHalfWidth;
    for (std::int64_t k = std::max<std::int64_t>(lngFirst, 0);
         k <= std::min<std::int64_t>(static_cast<std::int64_t>(lngPeak) + lngHalfWidth, std::ssize(dblLine) - 1); ++k) {
        const auto j = static_cast<std::size_t>(k);
        if (roles[j] == LineRole::Noise) {
            roles[j] = role;
            dblPower += dblLine[j];
        }
    }
    return dblPower;
}

// The power-weighted centre of the lobe around lngPeak, in lines.
double lobeCentre(const std::vector<double>& dblLine, std::size_t lngPeak, std::int32_t lngHalfWidth)
{
    double dblWeight = 0.0;
    double dblMoment = 0.0;
    const auto lngFirst = static_cast<std::int64_t>(lngPeak) - lngHalfWidth;
    for (std::int64_t k = std::max<std::int64_t>(lngFirst, 0);
         k <= std::min<std::int64_t>(static_cast<std::int64_t>(lngPeak) + lngHalfWidth, std::ssize(dblLine) - 1); ++k) {
        dblWeight += dblLine[static_cast<std::size_t>(k)];
        dblMoment += static_cast<double>(k) * dblLine[static_cast<std::size_t>(k)];
    }
    return dblWeight > 0.0 ? dblMoment / dblWeight : static_cast<double>(lngPeak);
}

// A frequency folded into 0 .. fs / 2, where a sampled tone of that frequency appears.
double foldedFrequency(double dblFreq, double dblSampFreq)
{
    double dblFolded = std::fmod(dblFreq, dblSampFreq);
    if (dblFolded > dblSampFreq / 2) {
        dblFolded = dblSampFreq - dblFolded;
    }
    return dblFolded;
}

void findHarmonics(const ToneSpectrum& spectrum, const std::vector<double>& dblLine, ToneFigures& figures)
{
    const double dblDeltaFreq = spectrum.dblSampFreq / spectrum.lngNumSamp;
    for (int intOrder = 2; intOrder <= intLastHarmonic; ++intOrder) {
        const double dblFreq = foldedFrequency(intOrder * figures.dblFundamentalFreq, spectrum.dblSampFreq);
        const auto lngExpected = static_cast<std::int64_t>(std::llround(dblFreq / dblDeltaFreq));
        // The refined fundamental puts a harmonic within a line of where it shows.
        const std::size_t lngPeak = highestLine(dblLine, lngExpected - 1, lngExpected + 1);
        HarmonicFigure harmonic;
        harmonic.intOrder = intOrder;
        harmonic.dblFreq = dblFreq;
        harmonic.lngLine = static_cast<std::int32_t>(lngPeak);
        harmonic.dblPower = claimLobe(dblLine, figures.roles, lngPeak, spectrum.lngLobeHalfWidth, LineRole::Harmonic);
        harmonic.dblDbc = decibels(harmonic.dblPower / figures.dblFundamentalPower);
        figures.dblHarmonicPower += harmonic.dblPower;
        figures.harmonics.push_back(harmonic);
    }
}

void sumNoise(const ToneSpectrum& spectrum, const std::vector<double>& dblLine, ToneFigures& figures)
{
    double dblSpur = 0.0;
    for (std::size_t k = 0; k < dblLine.size(); ++k) {
        if (figures.roles[k] == LineRole::Noise) {
            figures.dblNoisePower += dblLine[k];
            ++figures.lngNoiseLines;
        }
        const bool blnOther = figures.roles[k] != LineRole::Fundamental && figures.roles[k] != LineRole::Excluded;
        if (blnOther && dblLine[k] > dblSpur) {
            dblSpur = dblLine[k];
            figures.dblSpurFreq = static_cast<double>(k) * spectrum.dblSampFreq / spectrum.lngNumSamp;
        }
    }
    figures.dblSfdr = decibels(dblLine[static_cast<std::size_t>(figures.lngFundamentalLine)] / dblSpur);
    if (figures.lngNoiseLines > 0) {
        figures.dblNoiseFloorPerLine = figures.dblNoisePower / figures.lngNoiseLines;
        figures.dblNoiseDensity = figures.dblNoiseFloorPerLine / (spectrum.dblSampFreq / spectrum.lngNumSamp);
    }
}

// Where the tone lies off its peak line, in lines (-0.5 .. 0.5): the window's response gives the ratio of
// the higher neighbour to the peak for every place, rising from a tone on the line to one half-way, and
// the measured ratio is found on it by bisection.
double toneOffset(const std::vector<double>& dblLine, std::size_t lngPeak, WindowKind window, std::int32_t lngNumSamp)
{
    const double dblLeft = lngPeak > 0 ? dblLine[lngPeak - 1] : 0.0;
    const double dblRight = lngPeak + 1 < dblLine.size() ? dblLine[lngPeak + 1] : 0.0;
    const double dblRatio = std::sqrt(std::max(dblLeft, dblRight) / dblLine[lngPeak]);
    const auto ratioAt = [&](double dblOffset) {
        return windowResponse(window, lngNumSamp, 1.0 - dblOffset) / windowResponse(window, lngNumSamp, dblOffset);
    };
    double dblLow = 0.0;
    double dblHigh = 0.5;
    for (int i = 0; i < 50; ++i) {
        const double dblMiddle = (dblLow + dblHigh) / 2;
        (ratioAt(dblMiddle) < dblRatio ? dblLow : dblHigh) = dblMiddle;
    }
    return dblRight >= dblLeft ? dblLow : -dblLow;
}

void findLeakage(const ToneSpectrum& spectrum, const std::vector<double>& dblLine, ToneFigures& figures)
{
    if (!spectrum.window) {
        return;
    }
    const auto lngPeak = static_cast<std::size_t>(figures.lngFundamentalLine);
    figures.dblLeakageLimit = leakageBeyondLobe(*spectrum.window, spectrum.lngNumSamp, 0.5);
    figures.dblToneOffset = toneOffset(dblLine, lngPeak, *spectrum.window, spectrum.lngNumSamp);
    figures.dblLeakage = leakageBeyondLobe(*spectrum.window, spectrum.lngNumSamp, figures.dblToneOffset);
    const double dblLeaked = figures.dblLeakage * figures.dblFundamentalPower;
    figures.blnLeakageAboveNoise = dblLeaked > figures.dblNoisePower - dblLeaked;
}

} // namespace

ToneFigures computeToneFigures(const ToneSpectrum& spectrum, double dblFullScaleVolts,
                               std::optional<double> dblFundamentalHz)
{
    assert(spectrum.dblPower.size() == static_cast<std::size_t>(spectrum.lngNumSamp / 2 + 1));
    const std::int32_t lngHalf = spectrum.lngLobeHalfWidth;
    const double dblDeltaFreq = spectrum.dblSampFreq / spectrum.lngNumSamp;
    ToneFigures figures;
    figures.roles.assign(spectrum.dblPower.size(), LineRole::Noise);
    // Asked for beyond half the rate, the fundamental would be looked for past the spectrum's end.
    if (dblFundamentalHz && !(*dblFundamentalHz > 0.0 && *dblFundamentalHz < spectrum.dblSampFreq / 2)) {
        figures.problem = FiguresProblem::FundamentalOutside;
        return figures;
    }
    const std::vector<double> dblLine = linePowers(spectrum);
    if (!std::all_of(dblLine.begin(), dblLine.end(), [](double dblPower) { return std::isfinite(dblPower); })) {
        figures.problem = FiguresProblem::Overflow;
        return figures;
    }
    claimLobe(dblLine, figures.roles, 0, lngHalf, LineRole::Excluded);

    std::size_t lngPeak = 0;
    if (dblFundamentalHz) {
        const auto lngGiven = static_cast<std::int64_t>(std::llround(*dblFundamentalHz / dblDeltaFreq));
        lngPeak = highestLine(dblLine, std::max<std::int64_t>(lngGiven - lngHalf, lngHalf + 1), lngGiven + lngHalf);
    } else {
        lngPeak = highestLine(dblLine, lngHalf + 1, std::ssize(dblLine) - 1);
    }
    figures.lngFundamentalLine = static_cast<std::int32_t>(lngPeak);
    figures.dblFundamentalFreq = lobeCentre(dblLine, lngPeak, lngHalf) * dblDeltaFreq;
    figures.dblFundamentalPower = claimLobe(dblLine, figures.roles, lngPeak, lngHalf, LineRole::Fundamental);
    figures.dblFundamentalPeak = std::sqrt(2.0 * figures.dblFundamentalPower);
    if (!(figures.dblFundamentalPower > 0.0)) {
        figures.problem = FiguresProblem::NoTone;
        return figures;
    }

    findHarmonics(spectrum, dblLine, figures);
    sumNoise(spectrum, dblLine, figures);
    findLeakage(spectrum, dblLine, figures);

    const double dblFund = figures.dblFundamentalPower;
    figures.dblSnr = decibels(dblFund / figures.dblNoisePower);
    figures.dblThd = decibels(figures.dblHarmonicPower / dblFund);
    figures.dblSinad = decibels(dblFund / (figures.dblNoisePower + figures.dblHarmonicPower));
    figures.dblEnob = (figures.dblSinad - 1.76) / 6.02;
    figures.dblFullScaleCorrection = 20.0 * std::log10(dblFullScaleVolts / figures.dblFundamentalPeak);
    figures.dblEnobFullScale = (figures.dblSinad + figures.dblFullScaleCorrection - 1.76) / 6.02;
    return figures;
}

ToneFigures toneFiguresOf(const AveragedPower& average, double dblSampFreq, double dblVoltsPerCount,
                          double dblFullScaleVolts, std::optional<double> dblFundamentalHz)
{
    const ToneSpectrum spectrum{average.dblPower,
                                average.settings.lngNumSamp,
                                average.figures.dblSquareSum,
                                mainLobeHalfWidth(average.settings.window),
                                dblSampFreq,
                                dblVoltsPerCount,
                                average.settings.window};
    return computeToneFigures(spectrum, dblFullScaleVolts, dblFundamentalHz);
}

std::vector<FigureRow> figureRows(const ToneFigures& figures)
{
    std::vector<FigureRow> rows = {
        {"fundamental frequency", figures.dblFundamentalFreq, "Hz"},
        {"fundamental amplitude (peak)", figures.dblFundamentalPeak, "V"},
        {"fundamental level", 20.0 * std::log10(figures.dblFundamentalPeak / std::sqrt(2.0)), "dBV"},
        {"SNR", figures.dblSnr, "dB"},
        {"THD", figures.dblThd, "dB"},
        {"SINAD", figures.dblSinad, "dB"},
        {"ENOB", figures.dblEnob, "bits"},
        {"full-scale correction", figures.dblFullScaleCorrection, "dB"},
        {"ENOB at full scale", figures.dblEnobFullScale, "bits"},
        {"SFDR", figures.dblSfdr, "dB"},
        {"largest spur frequency", figures.dblSpurFreq, "Hz"},
        {"noise power", figures.dblNoisePower, "V^2"},
        {"noise floor per line", 10.0 * std::log10(figures.dblNoiseFloorPerLine), "dBV"},
        {"noise density", std::sqrt(figures.dblNoiseDensity), "V/sqrt(Hz)"},
        {"window leakage limit (tone half-way between lines)", 10.0 * std::log10(figures.dblLeakageLimit), "dBc"},
        {"leakage of this tone beyond its counted lobe", 10.0 * std::log10(figures.dblLeakage), "dBc"},
    };
    for (const HarmonicFigure& harmonic : figures.harmonics) {
        const std::string strName = "harmonic " + std::to_string(harmonic.intOrder);
        rows.push_back({strName + " frequency", harmonic.dblFreq, "Hz"});
        rows.push_back({strName + " level", harmonic.dblDbc, "dBc"});
    }
    return rows;
}

std::string figureValueText(double dblValue)
{
    if (std::isnan(dblValue)) {
        return "nan";
    }
    if (std::isinf(dblValue)) {
        return dblValue > 0 ? "inf" : "-inf";
    }
    return generalNumberText(dblValue);
}

std::vector<FigureLine> figureTable(const ToneFigures& figures, const FigureSettings& measured)
{
    std::vector<FigureLine> lines;
    for (const FigureRow& row : figureRows(figures)) {
        lines.push_back({row.strName, figureValueText(row.dblValue), row.strUnit});
    }
    const AverageSettings& settings = measured.settings;
    if (std::string strWarning = leakageWarning(figures, settings.window); !strWarning.empty()) {
        lines.push_back({"warning", std::move(strWarning), ""});
    }
    const std::vector<FigureLine> settingLines = {
        {"window", std::string(windowName(settings.window)), ""},
        {"N", std::to_string(settings.lngNumSamp), "points"},
        {"overlap", generalNumberText(settings.dblOverlap), "%"},
        {"segments", std::to_string(measured.lngSegments), ""},
        {"averaging", settings.averaging == Averaging::Mean ? "mean" : "peak", ""},
        {"detrend", settings.detrend == Detrend::Mean ? "mean" : "none", ""},
        {"fs", std::to_string(measured.lngSampFreq), "Hz"},
        {"range", generalNumberText(measured.dblRange), "V"},
        {"samples", std::to_string(measured.lngSamples), ""},
    };
    lines.insert(lines.end(), settingLines.begin(), settingLines.end());
    return lines;
}

std::string leakageWarning(const ToneFigures& figures, WindowKind window)
{
    if (!figures.blnLeakageAboveNoise) {
        return {};
    }
    return "the tone lies " + fixedDecimalText(std::fabs(figures.dblToneOffset), 2) + " lines off a line and the " +
           std::string(windowName(window)) + " window leaks " +
           fixedDecimalText(10.0 * std::log10(figures.dblLeakage), 1) +
           " dBc of it beyond the counted lobe, more than the noise found: SNR, SINAD and ENOB read the window, "
           "not the converter (use blackmanharris7, or a whole number of periods in N)";
}

} // namespace kestrix::engine
