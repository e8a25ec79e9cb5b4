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

CrossSpectrumAverager::CrossSpectrumAverager(const AverageSettings& settings, double dblPI, std::int32_t lngThreads)
    : settings(settings), transform(settings.lngNumSamp, dblPI, settings.transform),
      lngStep(segmentStep(settings.lngNumSamp, settings.dblOverlap)),
      lngLines(static_cast<std::size_t>(settings.lngNumSamp / 2 + 1)),
      // On one thread a slot is one segment of each channel, as little memory as ever.
      lngSlotSegments(lngThreads <= 1
                          ? 1
                          : std::max<std::size_t>(1, lngSlotSamples / static_cast<std::size_t>(settings.lngNumSamp))),
      dblWindow(windowCoefficients(settings.window, settings.lngNumSamp)),
      runs(settings.lngNumSamp, lngStep, lngSlotSegments)
{
    assert(settings.lngNumSamp >= 4 && (settings.lngNumSamp & (settings.lngNumSamp - 1)) == 0);
    assert(settings.averaging == Averaging::Mean);
    sums.settings = settings;
    sums.figures = windowFigures(dblWindow);
    for (std::vector<double>* dblLines :
         {&sums.dblInputPower, &sums.dblOutputPower, &sums.dblCrossRe, &sums.dblCrossIm}) {
        dblLines->assign(lngLines, 0.0);
    }
    pipeline = std::make_unique<SegmentPipeline>(
        lngThreads, [this](std::size_t lngSlot) { transformSlot(workSlots[lngSlot]); },
        [this](std::size_t lngSlot) { addProducts(workSlots[lngSlot]); });
    workSlots.resize(pipeline->slotCount());
    for (Slot& slot : workSlots) {
        slot.dblInputRun.resize(runs.runSamples());
        slot.dblOutputRun.resize(runs.runSamples());
        slot.dblInput.resize(dblWindow.size());
        slot.dblOutput.resize(dblWindow.size());
        slot.dblScratch = transform.makeScratch(2);
        slot.dblProducts.resize(4 * lngSlotSegments * lngLines);
    }
}

void CrossSpectrumAverager::addSamples(std::span<const double> dblInput, std::span<const double> dblOutput)
{
    assert(dblInput.size() == dblOutput.size());
    feedRuns(
        runs, *pipeline, workSlots, filling, dblInput.size(),
        [&](Slot& slot, std::size_t lngFrom, std::size_t lngTake, std::size_t lngRunAt) {
            const auto lngAt = static_cast<std::ptrdiff_t>(lngRunAt);
            const auto lngFirst = static_cast<std::ptrdiff_t>(lngFrom);
            std::copy_n(dblInput.begin() + lngFirst, lngTake, slot.dblInputRun.begin() + lngAt);
            std::copy_n(dblOutput.begin() + lngFirst, lngTake, slot.dblOutputRun.begin() + lngAt);
        },
        [&](const Slot& full, Slot& next) {
            runs.carry(full.dblInputRun, next.dblInputRun);
            runs.carry(full.dblOutputRun, next.dblOutputRun);
        });
}

void CrossSpectrumAverager::transformSlot(Slot& slot) const
{
    const std::size_t lngSize = dblWindow.size();
    const auto lngStepSize = static_cast<std::size_t>(lngStep);
    for (std::size_t s = 0; s < slot.lngSegments; ++s) {
        windowSegment(std::span<const double>(slot.dblInputRun).subspan(s * lngStepSize, lngSize), settings.detrend,
                      dblWindow, slot.dblInput);
        windowSegment(std::span<const double>(slot.dblOutputRun).subspan(s * lngStepSize, lngSize), settings.detrend,
                      dblWindow, slot.dblOutput);
        productsOf(slot.dblInput, slot.dblOutput,
                   std::span<double>(slot.dblProducts).subspan(4 * s * lngLines, 4 * lngLines), slot.dblScratch);
    }
}

// The four products of one segment's transforms, line by line: |X|^2, then |Y|^2, then Re and Im of
// conj(X) Y.
void CrossSpectrumAverager::productsOf(std::span<double> dblInput, std::span<double> dblOutput,
                                       std::span<double> dblProducts, SegmentBuffer& dblScratch) const
{
    double* const dblInputPower = dblProducts.data();
    double* const dblOutputPower = dblInputPower + lngLines;
    double* const dblCrossRe = dblOutputPower + lngLines;
    double* const dblCrossIm = dblCrossRe + lngLines;
    const auto put = [&](std::size_t k, double dblXr, double dblXi, double dblYr, double dblYi) {
        dblInputPower[k] = dblXr * dblXr + dblXi * dblXi;
        dblOutputPower[k] = dblYr * dblYr + dblYi * dblYi;
        dblCrossRe[k] = dblXr * dblYr + dblXi * dblYi;
        dblCrossIm[k] = dblXr * dblYi - dblXi * dblYr;
    };
    if (transform.kind() == RealTransformKind::Fftw) {
        const std::span<const double> dblX = transform.fftwLines(dblInput, dblScratch, 0);
        const std::span<const double> dblY = transform.fftwLines(dblOutput, dblScratch, 1);
        for (std::size_t k = 0; k < lngLines; ++k) {
            put(k, dblX[2 * k], dblX[2 * k + 1], dblY[2 * k], dblY[2 * k + 1]);
        }
        return;
    }
    const Pairing pairing = pairingOf(dblInput, dblOutput);
    for (double& dblValue : dblOutput) {
        dblValue = std::ldexp(dblValue, pairing.intExponent);
    }
    transform.engineFft().transform(dblInput, dblOutput);
    // Z = X + i 2^e Y with X and Y conjugate-symmetric: X[k] = (Z[k] + conj Z[N-k]) / 2 and
    // 2^e Y[k] = (Z[k] - conj Z[N-k]) / 2i. Halving and the power of two are exact.
    const std::span<const double> dblR = dblInput;
    const std::span<const double> dblI = dblOutput;
    const std::size_t lngSize = dblR.size();
    const std::size_t lngSizeMask = lngSize - 1;
    const double dblInputFactor = pairing.blnInputZero ? 0.0 : 0.5;
    const double dblOutputFactor = pairing.blnOutputZero ? 0.0 : std::ldexp(0.5, -pairing.intExponent);
    for (std::size_t k = 0; k < lngLines; ++k) {
        const std::size_t m = (lngSize - k) & lngSizeMask;
        put(k, dblInputFactor * (dblR[k] + dblR[m]), dblInputFactor * (dblI[k] - dblI[m]),
            dblOutputFactor * (dblI[k] + dblI[m]), dblOutputFactor * (dblR[m] - dblR[k]));
    }
}

void CrossSpectrumAverager::addProducts(Slot& slot)
{
    for (std::size_t s = 0; s < slot.lngSegments; ++s) {
        const double* dblProducts = slot.dblProducts.data() + 4 * s * lngLines;
        for (std::vector<double>* dblSum :
             {&sums.dblInputPower, &sums.dblOutputPower, &sums.dblCrossRe, &sums.dblCrossIm}) {
            for (std::size_t k = 0; k < lngLines; ++k) {
                (*dblSum)[k] += dblProducts[k];
            }
            dblProducts += lngLines;
        }
        ++sums.lngSegments;
    }
    slot.lngSegments = 0;
}

CrossSpectra CrossSpectrumAverager::finish()
{
    if (filling != nullptr) {
        filling = nullptr;
        pipeline->handOver();
    }
    pipeline->finish();
    CrossSpectra average = std::move(sums);
    average.lngSamples = runs.samples();
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
