// SPDX-License-Identifier: GPL-3.0-or-later
#include "cross_spectrum.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace kestrix::engine {

namespace {

// The power of two by which y is multiplied before the transform: one that brings the sum of its
// squares within a factor of 4 of x's (1 when either is zero). Bounded so that neither the scaled
// samples nor their products leave the range of doubles.
int outputScaleExponent(std::span<const double> dblInput, std::span<const double> dblOutput)
{
    double dblInputSquares = 0.0;
    double dblOutputSquares = 0.0;
    for (std::size_t j = 0; j < dblInput.size(); ++j) {
        dblInputSquares += dblInput[j] * dblInput[j];
        dblOutputSquares += dblOutput[j] * dblOutput[j];
    }
    if (!(dblInputSquares > 0.0 && dblOutputSquares > 0.0) || !std::isfinite(dblInputSquares) ||
        !std::isfinite(dblOutputSquares)) {
        return 0;
    }
    constexpr int intMaxExponent = 256;
    return std::clamp((std::ilogb(dblInputSquares) - std::ilogb(dblOutputSquares)) / 2, -intMaxExponent,
                      intMaxExponent);
}

} // namespace

CrossSpectrumAverager::CrossSpectrumAverager(const AverageSettings& settings, double dblPI)
    : settings(settings), fft(settings.lngNumSamp, (-2 * dblPI) / settings.lngNumSamp),
      lngStep(segmentStep(settings.lngNumSamp, settings.dblOverlap)),
      dblWindow(windowCoefficients(settings.window, settings.lngNumSamp)),
      dblInputRing(static_cast<std::size_t>(settings.lngNumSamp)), dblOutputRing(dblInputRing.size()),
      dblR(dblInputRing.size()), dblI(dblInputRing.size()), lngNextEnd(settings.lngNumSamp)
{
    assert(settings.lngNumSamp >= 4 && (settings.lngNumSamp & (settings.lngNumSamp - 1)) == 0);
    assert(settings.averaging == Averaging::Mean);
    const auto lngLines = static_cast<std::size_t>(settings.lngNumSamp / 2 + 1);
    sums.settings = settings;
    sums.figures = windowFigures(dblWindow);
    for (std::vector<double>* dblLines :
         {&sums.dblInputPower, &sums.dblOutputPower, &sums.dblCrossRe, &sums.dblCrossIm}) {
        dblLines->assign(lngLines, 0.0);
    }
}

void CrossSpectrumAverager::addSamples(std::span<const double> dblInput, std::span<const double> dblOutput)
{
    assert(dblInput.size() == dblOutput.size());
    const auto lngRingSize = static_cast<std::int64_t>(dblInputRing.size());
    while (!dblInput.empty()) {
        // Up to the end of the next segment, and never past the end of the rings.
        const std::int64_t lngAt = lngSamples % lngRingSize;
        const auto lngTake = static_cast<std::size_t>(std::min<std::int64_t>(
            {static_cast<std::int64_t>(dblInput.size()), lngNextEnd - lngSamples, lngRingSize - lngAt}));
        std::copy_n(dblInput.begin(), lngTake, dblInputRing.begin() + lngAt);
        std::copy_n(dblOutput.begin(), lngTake, dblOutputRing.begin() + lngAt);
        dblInput = dblInput.subspan(lngTake);
        dblOutput = dblOutput.subspan(lngTake);
        lngSamples += static_cast<std::int64_t>(lngTake);
        if (lngSamples == lngNextEnd) {
            segmentComplete();
            lngNextEnd += lngStep;
        }
    }
}

// Both rings hold exactly the segment's N samples, the oldest at lngSamples mod N.
void CrossSpectrumAverager::segmentComplete()
{
    const std::size_t lngSize = dblInputRing.size();
    const auto lngOldest = static_cast<std::size_t>(lngSamples % static_cast<std::int64_t>(lngSize));
    windowRingSegment(dblInputRing, lngOldest, settings.detrend, dblWindow, dblR);
    windowRingSegment(dblOutputRing, lngOldest, settings.detrend, dblWindow, dblI);
    const int intScale = outputScaleExponent(dblR, dblI);
    for (double& dblValue : dblI) {
        dblValue = std::ldexp(dblValue, intScale);
    }
    fft.transform(dblR, dblI);
    // Z = X + i 2^e Y with X and Y conjugate-symmetric: X[k] = (Z[k] + conj Z[N-k]) / 2 and
    // 2^e Y[k] = (Z[k] - conj Z[N-k]) / 2i. Halving and the power of two are exact.
    const std::size_t lngSizeMask = lngSize - 1;
    const double dblOutputFactor = std::ldexp(0.5, -intScale);
    for (std::size_t k = 0; k < sums.dblInputPower.size(); ++k) {
        const std::size_t m = (lngSize - k) & lngSizeMask;
        const double dblXr = 0.5 * (dblR[k] + dblR[m]);
        const double dblXi = 0.5 * (dblI[k] - dblI[m]);
        const double dblYr = dblOutputFactor * (dblI[k] + dblI[m]);
        const double dblYi = dblOutputFactor * (dblR[m] - dblR[k]);
        sums.dblInputPower[k] += dblXr * dblXr + dblXi * dblXi;
        sums.dblOutputPower[k] += dblYr * dblYr + dblYi * dblYi;
        sums.dblCrossRe[k] += dblXr * dblYr + dblXi * dblYi;
        sums.dblCrossIm[k] += dblXr * dblYi - dblXi * dblYr;
    }
    ++sums.lngSegments;
}

CrossSpectra CrossSpectrumAverager::finish()
{
    CrossSpectra average = std::move(sums);
    average.lngSamples = lngSamples;
    if (average.lngSegments > 0) {
        const auto dblCount = static_cast<double>(average.lngSegments);
        for (std::vector<double>* dblLines :
             {&average.dblInputPower, &average.dblOutputPower, &average.dblCrossRe, &average.dblCrossIm}) {
            for (double& dblLine : *dblLines) {
                dblLine /= dblCount;
            }
        }
    }
    sums = CrossSpectra{};
    return average;
}

} // namespace kestrix::engine
