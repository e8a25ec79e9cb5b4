// SPDX-License-Identifier: GPL-3.0-or-later
#include "cross_spectrum.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace kestrix::engine {

namespace {

// How the windowed segments of x and y share one transform.
struct Pairing
{
    int intExponent = 0;       // y is multiplied by 2^intExponent before the transform
    bool blnInputZero = false; // a channel of zeros only: its transform is 0, not the rounding of the other's
    bool blnOutputZero = false;
};

// The power of two brings the sum of y's squares within a factor of 4 of x's (1 when either is zero),
// bounded so that neither the scaled samples nor their products leave the range of doubles.
Pairing pairingOf(std::span<const double> dblInput, std::span<const double> dblOutput)
{
    double dblInputSquares = 0.0;
    double dblOutputSquares = 0.0;
    for (std::size_t j = 0; j < dblInput.size(); ++j) {
        dblInputSquares += dblInput[j] * dblInput[j];
        dblOutputSquares += dblOutput[j] * dblOutput[j];
    }
    Pairing pairing;
    pairing.blnInputZero =
        std::all_of(dblInput.begin(), dblInput.end(), [](double dblValue) { return dblValue == 0.0; });
    pairing.blnOutputZero =
        std::all_of(dblOutput.begin(), dblOutput.end(), [](double dblValue) { return dblValue == 0.0; });
    if (dblInputSquares > 0.0 && dblOutputSquares > 0.0 && std::isfinite(dblInputSquares) &&
        std::isfinite(dblOutputSquares)) {
        constexpr int intMaxExponent = 256;
        pairing.intExponent = std::clamp((std::ilogb(dblInputSquares) - std::ilogb(dblOutputSquares)) / 2,
                                         -intMaxExponent, intMaxExponent);
    }
    return pairing;
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
    const Pairing pairing = pairingOf(dblR, dblI);
    for (double& dblValue : dblI) {
        dblValue = std::ldexp(dblValue, pairing.intExponent);
    }
    fft.transform(dblR, dblI);
    // Z = X + i 2^e Y with X and Y conjugate-symmetric: X[k] = (Z[k] + conj Z[N-k]) / 2 and
    // 2^e Y[k] = (Z[k] - conj Z[N-k]) / 2i. Halving and the power of two are exact.
    const std::size_t lngSizeMask = lngSize - 1;
    const double dblInputFactor = pairing.blnInputZero ? 0.0 : 0.5;
    const double dblOutputFactor = pairing.blnOutputZero ? 0.0 : std::ldexp(0.5, -pairing.intExponent);
    for (std::size_t k = 0; k < sums.dblInputPower.size(); ++k) {
        const std::size_t m = (lngSize - k) & lngSizeMask;
        const double dblXr = dblInputFactor * (dblR[k] + dblR[m]);
        const double dblXi = dblInputFactor * (dblI[k] - dblI[m]);
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
