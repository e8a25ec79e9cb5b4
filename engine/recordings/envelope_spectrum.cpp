// SPDX-License-Identifier: GPL-3.0-or-later
#include "envelope_spectrum.h"

#include "engine/run/number_text.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>
#include <numbers>

namespace kestrix::engine {

namespace {

constexpr std::size_t lngMinBlock = 1024;

// The modified Bessel function of the first kind, order 0, by its power series (every term positive;
// for the window's arguments, up to beta, it converges in a few dozen terms).
double besselI0(double dblX)
{
    const double dblQuarterSquare = dblX * dblX / 4.0;
    double dblTerm = 1.0;
    double dblSum = 1.0;
    for (int k = 1; dblTerm > 1e-17 * dblSum; ++k) {
        dblTerm *= dblQuarterSquare / (static_cast<double>(k) * k);
        dblSum += dblTerm;
    }
    return dblSum;
}

std::size_t blockLength(std::int32_t lngTaps)
{
    // A refused design (no taps) breaks the constructor's precondition; it must not also loop for ever.
    const auto lngSpan = static_cast<std::size_t>(std::max(lngTaps - 1, 0));
    std::size_t lngBlock = lngMinBlock;
    while (lngBlock < 4 * lngSpan) {
        lngBlock *= 2;
    }
    return lngBlock;
}

} // namespace

std::string envelopeRefusalText(const EnvelopeRefusal& refusal)
{
    const std::string strBand = "the envelope band " + bandText(refusal.band);
    switch (refusal.kind) {
    case EnvelopeRefusal::Kind::LowNotPositive:
        return strBand + ": its low edge must be above 0 Hz";
    case EnvelopeRefusal::Kind::HighNotAboveLow:
        return strBand + ": its high edge must be above its low edge";
    case EnvelopeRefusal::Kind::HighAboveRange:
        return strBand + ": its high edge must be below half the sampling frequency (" +
               generalNumberText(refusal.dblSampFreq / 2) + " Hz)";
    case EnvelopeRefusal::Kind::TooNarrow:
        return strBand + " is too narrow, or too near 0 Hz or half the sampling frequency, at fs = " +
               generalNumberText(refusal.dblSampFreq) + " Hz: its filter would need " +
               std::to_string(refusal.lngTapsNeeded) + " taps (" + std::to_string(lngMaxEnvelopeTaps) + " at most)";
    }
    return strBand;
}

EnvelopeDesign designEnvelopeFilter(const FrequencyBand& band, double dblSampFreq)
{
    EnvelopeDesign design;
    EnvelopeRefusal refusal{EnvelopeRefusal::Kind::LowNotPositive, band, dblSampFreq, 0};
    if (!(band.dblLowHz > 0.0) || !std::isfinite(band.dblLowHz)) {
        design.refusal = refusal;
        return design;
    }
    if (!(band.dblHighHz > band.dblLowHz) || !std::isfinite(band.dblHighHz)) {
        refusal.kind = EnvelopeRefusal::Kind::HighNotAboveLow;
        design.refusal = refusal;
        return design;
    }
    if (band.dblHighHz >= dblSampFreq / 2) {
        refusal.kind = EnvelopeRefusal::Kind::HighAboveRange;
        design.refusal = refusal;
        return design;
    }
    design.dblTransitionHz =
        std::min({(band.dblHighHz - band.dblLowHz) / 4, 2 * band.dblLowHz, dblSampFreq - 2 * band.dblHighHz});
    const double dblOrder =
        (dblEnvelopeStopBandDb - 7.95) / (2.285 * 2.0 * std::numbers::pi * design.dblTransitionHz / dblSampFreq);
    const double dblTaps = 2.0 * std::ceil(dblOrder / 2.0) + 1.0;
    if (dblTaps > lngMaxEnvelopeTaps) {
        refusal.kind = EnvelopeRefusal::Kind::TooNarrow;
        refusal.lngTapsNeeded =
            static_cast<std::int32_t>(std::min(dblTaps, static_cast<double>(std::numeric_limits<std::int32_t>::max())));
        design.refusal = refusal;
        return design;
    }
    design.lngTaps = static_cast<std::int32_t>(dblTaps);
    return design;
}

ComplexTaps envelopeTaps(const FrequencyBand& band, double dblSampFreq, std::int32_t lngTaps, double dblPI)
{
    assert(lngTaps >= 3 && lngTaps % 2 == 1);
    const std::int32_t lngHalf = (lngTaps - 1) / 2;
    const double dblLowW = 2.0 * dblPI * band.dblLowHz / dblSampFreq;
    const double dblHighW = 2.0 * dblPI * band.dblHighHz / dblSampFreq;
    const double dblI0Beta = besselI0(dblEnvelopeKaiserBeta);
    ComplexTaps taps{std::vector<double>(static_cast<std::size_t>(lngTaps)),
                     std::vector<double>(static_cast<std::size_t>(lngTaps))};
    for (std::int32_t n = -lngHalf; n <= lngHalf; ++n) {
        const double dblRatio = static_cast<double>(n) / lngHalf;
        const double dblWindow =
            besselI0(dblEnvelopeKaiserBeta * std::sqrt(std::max(0.0, 1.0 - dblRatio * dblRatio))) / dblI0Beta;
        const auto i = static_cast<std::size_t>(n + lngHalf);
        if (n == 0) {
            taps.dblR[i] = dblWindow * (dblHighW - dblLowW) / dblPI;
            taps.dblI[i] = 0.0;
            continue;
        }
        const double dblPiN = dblPI * n;
        taps.dblR[i] = dblWindow * (std::sin(dblHighW * n) - std::sin(dblLowW * n)) / dblPiN;
        taps.dblI[i] = dblWindow * (std::cos(dblLowW * n) - std::cos(dblHighW * n)) / dblPiN;
    }
    return taps;
}

EnvelopeDetector::EnvelopeDetector(const FrequencyBand& band, double dblSampFreq, double dblPI,
                                   EnvelopeHandler onEnvelope)
    : lngTaps(designEnvelopeFilter(band, dblSampFreq).lngTaps), lngBlock(blockLength(lngTaps)),
      fft(static_cast<std::int32_t>(lngBlock), (-2 * dblPI) / static_cast<double>(lngBlock)),
      onEnvelope(std::move(onEnvelope)), dblResponseR(lngBlock), dblResponseI(lngBlock), dblInput(lngBlock),
      dblR(lngBlock), dblI(lngBlock)
{
    assert(lngTaps > 0 && "the band is one designEnvelopeFilter accepts");
    const ComplexTaps taps = envelopeTaps(band, dblSampFreq, lngTaps, dblPI);
    std::copy(taps.dblR.begin(), taps.dblR.end(), dblResponseR.begin());
    std::copy(taps.dblI.begin(), taps.dblI.end(), dblResponseI.begin());
    fft.transform(dblResponseR, dblResponseI);
    dblEnvelope.reserve(lngBlock);
}

void EnvelopeDetector::addSamples(std::span<const double> dblSamples)
{
    while (!dblSamples.empty()) {
        const std::size_t lngTake = std::min(dblSamples.size(), lngBlock - lngFilled);
        std::copy_n(dblSamples.begin(), lngTake, dblInput.begin() + static_cast<std::ptrdiff_t>(lngFilled));
        lngFilled += lngTake;
        dblSamples = dblSamples.subspan(lngTake);
        if (lngFilled == lngBlock) {
            filterBlock(lngBlock);
            // The last 2M samples are the history the next block's first outputs need.
            const auto lngHistory = static_cast<std::size_t>(lngTaps - 1);
            std::copy(dblInput.end() - static_cast<std::ptrdiff_t>(lngHistory), dblInput.end(), dblInput.begin());
            lngFilled = lngHistory;
        }
    }
}

void EnvelopeDetector::finish()
{
    if (lngFilled > static_cast<std::size_t>(lngTaps - 1)) {
        filterBlock(lngFilled);
    }
    lngFilled = 0;
}

// Overlap-save: the block's circular convolution with the taps equals the linear one from index 2M on.
// The inverse transform is the forward one of the conjugate, whose output is conjugated too: the
// magnitude, all that is kept, does not need that last step.
void EnvelopeDetector::filterBlock(std::size_t lngValid)
{
    std::copy_n(dblInput.begin(), lngValid, dblR.begin());
    std::fill(dblR.begin() + static_cast<std::ptrdiff_t>(lngValid), dblR.end(), 0.0);
    std::fill(dblI.begin(), dblI.end(), 0.0);
    fft.transform(dblR, dblI);
    for (std::size_t k = 0; k < lngBlock; ++k) {
        const double dblRe = dblR[k] * dblResponseR[k] - dblI[k] * dblResponseI[k];
        const double dblIm = dblR[k] * dblResponseI[k] + dblI[k] * dblResponseR[k];
        dblR[k] = dblRe;
        dblI[k] = -dblIm;
    }
    fft.transform(dblR, dblI);
    const double dblScale = 1.0 / static_cast<double>(lngBlock);
    dblEnvelope.clear();
    for (auto n = static_cast<std::size_t>(lngTaps - 1); n < lngValid; ++n) {
        dblEnvelope.push_back(dblScale * std::sqrt(dblR[n] * dblR[n] + dblI[n] * dblI[n]));
    }
    onEnvelope(dblEnvelope);
}

} // namespace kestrix::engine
