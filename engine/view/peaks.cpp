// SPDX-License-Identifier: GPL-3.0-or-later
#include "peaks.h"

#include "engine/run/analysis_parameters.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <limits>
#include <numbers>

namespace kestrix::engine {

namespace {

// Below this line a tone's mirror image at minus its frequency leaks enough into its lines to spoil
// the two-line ratio (measured over all phases: 0.3 line at line 3, 0.08 at line 10, 0.04 at line 20,
// 0.003 at line 50), so the tone and its image are fitted together there.
constexpr std::size_t lngImageLines = 40;
// Lines each side of the peak that the fit compares.
constexpr std::size_t lngFitReach = 2;

// The transform of a unit complex tone at x lines from a line, over N points, divided by N: the
// rectangular window's kernel, 1 on the tone's own line and 0 on every other whole line.
std::complex<double> windowKernel(double dblX, double dblN)
{
    const double dblDenominator = dblN * std::sin(std::numbers::pi * dblX / dblN);
    if (std::fabs(dblDenominator) < 1e-12) {
        return {1.0, 0.0};
    }
    return std::polar(std::sin(std::numbers::pi * dblX) / dblDenominator,
                      -std::numbers::pi * dblX * (dblN - 1.0) / dblN);
}

struct ShapeFit
{
    double dblLine = 0.0;
    double dblResidual = 0.0;  // squared amplitude the fit leaves unexplained
    double dblAmplitude = 0.0; // the tone's amplitude as its own line would read it
};

// How well a real tone at dblLine, with its image, explains lines lngFirst to lngLast (at most
// 2 lngFitReach + 1 of them) at its best phase and amplitude. A squared amplitude is
// c^2 (|K1|^2 + |K2|^2) + 2 c^2 Re(e^(2j phase) K1 conj(K2)), K1 and K2 the kernels of the tone and of
// its image. K1 conj(K2) has the same angle theta on every whole line, so the amplitudes fix only
// cos(2 phase + theta), which a linear least-squares fit of the squares gives; the amplitude then
// follows by least squares on the amplitudes themselves.
ShapeFit fitToneAndImage(std::span<const double> dblVolts, std::size_t lngFirst, std::size_t lngLast, double dblN,
                         double dblLine)
{
    constexpr std::size_t lngMaxLines = 2 * lngFitReach + 1;
    std::array<double, lngMaxLines> dblOwn{};   // |K1|^2 + |K2|^2
    std::array<double, lngMaxLines> dblCross{}; // 2 |K1 K2|, signed along theta
    double dblTheta = 0.0;
    double dblLargest = -1.0;
    std::array<std::complex<double>, lngMaxLines> cpxCross{};
    for (std::size_t m = lngFirst; m <= lngLast; ++m) {
        const double dblM = static_cast<double>(m);
        const std::complex<double> cpxTone = windowKernel(dblM - dblLine, dblN);
        const std::complex<double> cpxImage = windowKernel(dblM + dblLine, dblN);
        dblOwn[m - lngFirst] = std::norm(cpxTone) + std::norm(cpxImage);
        cpxCross[m - lngFirst] = cpxTone * std::conj(cpxImage);
        if (std::abs(cpxCross[m - lngFirst]) > dblLargest) {
            dblLargest = std::abs(cpxCross[m - lngFirst]);
            dblTheta = std::arg(cpxCross[m - lngFirst]);
        }
    }
    double dblPP = 0.0, dblPR = 0.0, dblRR = 0.0, dblPA = 0.0, dblRA = 0.0;
    for (std::size_t i = 0; i <= lngLast - lngFirst; ++i) {
        dblCross[i] = 2.0 * (cpxCross[i] * std::polar(1.0, -dblTheta)).real();
        const double dblSquare = dblVolts[lngFirst + i] * dblVolts[lngFirst + i];
        dblPP += dblOwn[i] * dblOwn[i];
        dblPR += dblOwn[i] * dblCross[i];
        dblRR += dblCross[i] * dblCross[i];
        dblPA += dblOwn[i] * dblSquare;
        dblRA += dblCross[i] * dblSquare;
    }
    const double dblDeterminant = dblPP * dblRR - dblPR * dblPR;
    double dblCosine = (dblPP * dblRA - dblPR * dblPA) / (dblPA * dblRR - dblRA * dblPR);
    // Without an image to speak of the phase does not matter, and the solve is degenerate.
    dblCosine = std::isfinite(dblCosine) && dblDeterminant != 0.0 ? std::clamp(dblCosine, -1.0, 1.0) : 1.0;

    double dblAcross = 0.0, dblShapes = 0.0, dblVolts2 = 0.0;
    for (std::size_t i = 0; i <= lngLast - lngFirst; ++i) {
        const double dblShape = std::sqrt(std::max(0.0, dblOwn[i] + dblCosine * dblCross[i]));
        dblAcross += dblVolts[lngFirst + i] * dblShape;
        dblShapes += dblShape * dblShape;
        dblVolts2 += dblVolts[lngFirst + i] * dblVolts[lngFirst + i];
    }
    if (!(dblShapes > 0.0)) {
        return {dblLine, dblVolts2, 0.0};
    }
    return {dblLine, dblVolts2 - dblAcross * dblAcross / dblShapes, dblAcross / dblShapes};
}

// The tone near a low line, fitted with its image to the lines around the peak. Close to a whole line
// the best fit is a narrow valley (the side lines grow with the distance from the line) beside a broad
// one at the mirrored place, so the search steps finely over the whole line each side of the peak,
// then refines around the best point.
ToneEstimate estimateWithImage(std::span<const double> dblVolts, std::size_t lngLine, double dblN)
{
    constexpr int intCoarseSteps = 400; // per line: 0.0025 line apart
    constexpr int intFineSteps = 20;
    const std::size_t lngFirst = std::max<std::size_t>(1, lngLine - std::min(lngLine, lngFitReach));
    const std::size_t lngLast = std::min(dblVolts.size() - 1, lngLine + lngFitReach);
    const double dblPeak = static_cast<double>(lngLine);
    ShapeFit best = fitToneAndImage(dblVolts, lngFirst, lngLast, dblN, dblPeak);
    double dblStep = 1.0 / intCoarseSteps;
    for (int i = -intCoarseSteps; i <= intCoarseSteps; ++i) {
        const ShapeFit fit = fitToneAndImage(dblVolts, lngFirst, lngLast, dblN, dblPeak + i * dblStep);
        best = fit.dblResidual < best.dblResidual ? fit : best;
    }
    for (int intRound = 0; intRound < 2; ++intRound) {
        const double dblCentre = best.dblLine;
        dblStep /= intFineSteps / 2.0;
        for (int i = -intFineSteps; i <= intFineSteps; ++i) {
            const ShapeFit fit = fitToneAndImage(dblVolts, lngFirst, lngLast, dblN, dblCentre + i * dblStep);
            best = fit.dblResidual < best.dblResidual ? fit : best;
        }
    }
    return {best.dblLine, best.dblAmplitude / dblVolts[lngLine]};
}

ToneEstimate estimateByRatio(std::span<const double> dblVolts, std::size_t lngLine)
{
    ToneEstimate estimate{static_cast<double>(lngLine), 1.0};
    const double dblLower = dblVolts[lngLine - 1];
    const double dblUpper = dblVolts[lngLine + 1];
    const bool blnUpward = dblUpper >= dblLower;
    const double dblNeighbour = blnUpward ? dblUpper : dblLower;
    // A neighbour above the peak means this is no maximum: the ratio would put the tone beyond the
    // neighbour, so stay on the line.
    if (!(dblNeighbour > 0.0) || dblNeighbour > dblVolts[lngLine]) {
        return estimate;
    }
    const double dblRatio = dblNeighbour / dblVolts[lngLine];
    const double dblOffset = dblRatio / (1.0 + dblRatio); // 0 to 0.5 lines
    estimate.dblLine += blnUpward ? dblOffset : -dblOffset;
    const double dblPhase = std::numbers::pi * dblOffset;
    estimate.dblScale = dblPhase / std::sin(dblPhase);
    return estimate;
}

} // namespace

ToneEstimate estimateTone(std::span<const double> dblVolts, std::size_t lngLine)
{
    // The run's spectra have N / 2.56 + 1 lines.
    if (lngLine == 0 || lngLine + 1 >= dblVolts.size() || !(dblVolts[lngLine] > 0.0)) {
        return {static_cast<double>(lngLine), 1.0};
    }
    if (lngLine < lngImageLines) {
        const double dblN = std::round(static_cast<double>(dblVolts.size() - 1) * dblPointsPerLine);
        return estimateWithImage(dblVolts, lngLine, dblN);
    }
    return estimateByRatio(dblVolts, lngLine);
}

namespace {

// The median of the lines within lngFloorReach of lngLine, line 0 left out.
double localFloor(std::span<const double> dblVolts, std::size_t lngLine, std::vector<double>& dblScratch)
{
    const std::size_t lngFirst = std::max<std::size_t>(1, lngLine - std::min(lngLine, lngFloorReach));
    const std::size_t lngEnd = std::min(dblVolts.size(), lngLine + lngFloorReach + 1);
    dblScratch.assign(dblVolts.begin() + static_cast<std::ptrdiff_t>(lngFirst),
                      dblVolts.begin() + static_cast<std::ptrdiff_t>(lngEnd));
    const auto middle = dblScratch.begin() + static_cast<std::ptrdiff_t>(dblScratch.size() / 2);
    std::nth_element(dblScratch.begin(), middle, dblScratch.end());
    return *middle;
}

double riseDb(double dblVolts, double dblFloor)
{
    return dblFloor > 0.0 ? 20.0 * std::log10(dblVolts / dblFloor) : std::numeric_limits<double>::infinity();
}

// The local maxima of findPeaks that rise at least dblMinRiseDb, highest first, at most lngCount, with
// the estimates of estimate.
template <typename Estimate>
std::vector<SpectrumPeak> risingPeaks(std::span<const double> dblVolts, double dblDeltaFreq, double dblMinRiseDb,
                                      std::size_t lngCount, const Estimate& estimateOf)
{
    // Relative size below which an amplitude is the transform's rounding residue (a clean tone leaves
    // lines of about 1e-16 of its height), not something measured.
    constexpr double dblResidue = 1e-10;
    const std::size_t lngNumLine = dblVolts.size();
    if (lngNumLine < 2 || lngCount == 0) {
        return {};
    }
    const double dblHighest = *std::max_element(dblVolts.begin() + 1, dblVolts.end());
    const double dblFloor = dblHighest * dblResidue;

    std::vector<std::pair<std::size_t, double>> candidates; // line and rise
    std::vector<double> dblScratch;
    for (std::size_t i = 1; i < lngNumLine; ++i) {
        const double dblHere = dblVolts[i];
        const bool blnAboveLower = dblHere > dblVolts[i - 1];
        const bool blnNotBelowUpper = i + 1 == lngNumLine || dblHere >= dblVolts[i + 1];
        if (blnAboveLower && blnNotBelowUpper && dblHere > 0.0 && dblHere >= dblFloor) {
            const double dblRise = riseDb(dblHere, localFloor(dblVolts, i, dblScratch));
            if (dblRise >= dblMinRiseDb) {
                candidates.emplace_back(i, dblRise);
            }
        }
    }
    std::stable_sort(candidates.begin(), candidates.end(),
                     [&](const auto& a, const auto& b) { return dblVolts[a.first] > dblVolts[b.first]; });
    candidates.resize(std::min(candidates.size(), lngCount));

    std::vector<SpectrumPeak> peaks;
    peaks.reserve(candidates.size());
    for (const auto& [lngLine, dblRise] : candidates) {
        const ToneEstimate estimate = estimateOf(dblVolts, lngLine);
        SpectrumPeak peak;
        peak.lngLine = static_cast<std::int32_t>(lngLine);
        peak.dblFreq = static_cast<double>(lngLine) * dblDeltaFreq;
        peak.dblVolts = dblVolts[lngLine];
        peak.dblEstimatedFreq = estimate.dblLine * dblDeltaFreq;
        peak.dblEstimatedVolts = dblVolts[lngLine] * estimate.dblScale;
        peak.dblRiseDb = dblRise;
        peaks.push_back(peak);
    }
    return peaks;
}

} // namespace

std::vector<SpectrumPeak> findPeaks(std::span<const double> dblVolts, double dblDeltaFreq, std::size_t lngCount)
{
    return risingPeaks(dblVolts, dblDeltaFreq, -std::numeric_limits<double>::infinity(), lngCount, estimateTone);
}

std::vector<SpectrumPeak> findProminentPeaks(std::span<const double> dblVolts, double dblDeltaFreq, double dblMinRiseDb,
                                             std::size_t lngCount)
{
    return risingPeaks(dblVolts, dblDeltaFreq, dblMinRiseDb, lngCount, estimateTone);
}

std::vector<SpectrumPeak> findProminentPeaks(std::span<const double> dblMagnitudes, double dblDeltaFreq,
                                             double dblMinRiseDb, WindowKind window, std::int32_t lngNumSamp,
                                             std::size_t lngCount)
{
    return risingPeaks(dblMagnitudes, dblDeltaFreq, dblMinRiseDb, lngCount,
                       [&](std::span<const double> dblValues, std::size_t lngLine) {
                           return estimateWindowedTone(dblValues, lngLine, window, lngNumSamp);
                       });
}

ToneEstimate estimateWindowedTone(std::span<const double> dblMagnitudes, std::size_t lngLine, WindowKind window,
                                  std::int32_t lngNumSamp)
{
    if (window == WindowKind::Rect) {
        return estimateTone(dblMagnitudes, lngLine);
    }
    const double dblHere = dblMagnitudes[lngLine];
    const double dblLower = lngLine > 0 ? dblMagnitudes[lngLine - 1] : 0.0;
    const double dblUpper = lngLine + 1 < dblMagnitudes.size() ? dblMagnitudes[lngLine + 1] : 0.0;
    const double dblNeighbour = std::max(dblLower, dblUpper);
    if (lngLine == 0 || !(dblHere > 0.0) || !(dblNeighbour > 0.0)) {
        return {static_cast<double>(lngLine), 1.0};
    }
    // The ratio response(1 - d) / response(d) grows with d from its value at 0 (0.5 for Hann) to 1 at
    // half a line: bisection, clamped to that range where noise puts the measured ratio outside it.
    const double dblRatio = std::min(dblNeighbour / dblHere, 1.0);
    const auto ratioAt = [&](double dblD) {
        return windowResponse(window, lngNumSamp, 1.0 - dblD) / windowResponse(window, lngNumSamp, dblD);
    };
    double dblLow = 0.0;
    double dblHigh = 0.5;
    constexpr int intSteps = 40; // 0.5 / 2^40 of a line
    for (int intStep = 0; intStep < intSteps; ++intStep) {
        const double dblMid = 0.5 * (dblLow + dblHigh);
        (ratioAt(dblMid) < dblRatio ? dblLow : dblHigh) = dblMid;
    }
    const double dblOffset = 0.5 * (dblLow + dblHigh);
    const double dblSide = dblUpper >= dblLower ? 1.0 : -1.0;
    return {static_cast<double>(lngLine) + dblSide * dblOffset, 1.0 / windowResponse(window, lngNumSamp, dblOffset)};
}

std::vector<double> harmonicFrequencies(double dblFundamental, double dblMaxFreq, std::size_t lngMaxCount)
{
    std::vector<double> dblFreqs;
    if (!(dblFundamental > 0.0)) {
        return dblFreqs;
    }
    for (std::size_t k = 1; k <= lngMaxCount; ++k) {
        const double dblFreq = static_cast<double>(k) * dblFundamental;
        if (dblFreq > dblMaxFreq) {
            break;
        }
        dblFreqs.push_back(dblFreq);
    }
    return dblFreqs;
}

} // namespace kestrix::engine
