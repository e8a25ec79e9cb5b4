// SPDX-License-Identifier: GPL-3.0-or-later
#include "averaged_spectrum.h"

#include "engine/run/analysis_parameters.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace kestrix::engine {

std::int32_t segmentStep(std::int32_t lngNumSamp, double dblOverlap)
{
    assert(dblOverlap >= 0.0 && dblOverlap < 100.0);
    const auto lngShared = static_cast<std::int32_t>(std::floor(lngNumSamp * dblOverlap / 100.0));
    return std::max(lngNumSamp - lngShared, std::int32_t{1});
}

std::int64_t segmentCount(std::int64_t lngSamples, std::int32_t lngNumSamp, double dblOverlap)
{
    if (lngSamples < lngNumSamp) {
        return 0;
    }
    return (lngSamples - lngNumSamp) / segmentStep(lngNumSamp, dblOverlap) + 1;
}

std::size_t averagedLineCount(const AverageSettings& settings)
{
    return settings.blnToHalfRate ? static_cast<std::size_t>(settings.lngNumSamp / 2 + 1)
                                  : static_cast<std::size_t>(spectrumLineCount(settings.lngNumSamp));
}

SpectrumAverager::SpectrumAverager(const AverageSettings& settings, double dblPI, SegmentHandler onSegment,
                                   std::int32_t lngThreads, SegmentDigest digest)
    : settings(settings), transform(settings.lngNumSamp, dblPI, settings.transform), onSegment(std::move(onSegment)),
      digest(std::move(digest)), lngStep(segmentStep(settings.lngNumSamp, settings.dblOverlap)),
      lngLines(averagedLineCount(settings)),
      // On one thread a slot is one pair, as little memory as ever.
      lngSlotSegments(lngThreads <= 1 ? 2
                                      : 2 * std::max<std::size_t>(
                                                1, lngSlotSamples / 2 / static_cast<std::size_t>(settings.lngNumSamp))),
      dblWindow(windowCoefficients(settings.window, settings.lngNumSamp)),
      dblRing(static_cast<std::size_t>(settings.lngNumSamp)), dblPower(lngLines), lngNextEnd(settings.lngNumSamp),
      figures(windowFigures(dblWindow))
{
    assert(settings.lngNumSamp >= 4 && (settings.lngNumSamp & (settings.lngNumSamp - 1)) == 0);
    assert(lngLines <= dblRing.size() / 2 + 1); // lines up to N / 2 can be parted
    pipeline = std::make_unique<SegmentPipeline>(
        lngThreads, [this](std::size_t lngSlot) { transformSlot(workSlots[lngSlot]); },
        [this](std::size_t lngSlot) {
            Slot& slot = workSlots[lngSlot];
            for (std::size_t s = 0; s < slot.lngSegments; ++s) {
                reportSegment(std::span<const double>(slot.dblSegPower).subspan(s * lngLines, lngLines));
                if (this->digest.take) {
                    const std::size_t lngValues = this->digest.lngValues;
                    this->digest.take(lngSegments - 1,
                                      std::span<const float>(slot.sngDigests).subspan(s * lngValues, lngValues));
                }
            }
            slot.lngSegments = 0;
        });
    workSlots.resize(pipeline->slotCount());
    for (Slot& slot : workSlots) {
        slot.dblR.resize(lngSlotSegments / 2 * dblRing.size());
        slot.dblI.resize(slot.dblR.size());
        slot.dblSegPower.resize(lngSlotSegments * lngLines);
        slot.dblScratch = transform.makeScratch();
        slot.sngDigests.resize(this->digest.digest ? lngSlotSegments * this->digest.lngValues : 0);
    }
}

void SpectrumAverager::addSamples(std::span<const double> dblCounts)
{
    const auto lngRingSize = static_cast<std::int64_t>(dblRing.size());
    while (!dblCounts.empty()) {
        // Up to the end of the next segment, and never past the end of the ring.
        const std::int64_t lngAt = lngSamples % lngRingSize;
        const auto lngTake = static_cast<std::size_t>(std::min<std::int64_t>(
            {static_cast<std::int64_t>(dblCounts.size()), lngNextEnd - lngSamples, lngRingSize - lngAt}));
        std::copy_n(dblCounts.begin(), lngTake, dblRing.begin() + lngAt);
        dblCounts = dblCounts.subspan(lngTake);
        lngSamples += static_cast<std::int64_t>(lngTake);
        if (lngSamples == lngNextEnd) {
            segmentComplete();
            lngNextEnd += lngStep;
        }
    }
}

void windowRingSegment(std::span<const double> dblRing, std::size_t lngOldest, Detrend detrend,
                       std::span<const double> dblWindow, std::span<double> dblTarget)
{
    const std::size_t lngSize = dblRing.size();
    double dblMean = 0.0;
    if (detrend == Detrend::Mean) {
        double dblSum = 0.0;
        for (std::size_t j = 0; j < lngSize; ++j) {
            dblSum += dblRing[(lngOldest + j) % lngSize];
        }
        dblMean = dblSum / static_cast<double>(lngSize);
    }
    const std::size_t lngFirstPart = lngSize - lngOldest;
    for (std::size_t j = 0; j < lngFirstPart; ++j) {
        dblTarget[j] = (dblRing[lngOldest + j] - dblMean) * dblWindow[j];
    }
    for (std::size_t j = lngFirstPart; j < lngSize; ++j) {
        dblTarget[j] = (dblRing[j - lngFirstPart] - dblMean) * dblWindow[j];
    }
}

// The ring holds exactly the segment's N samples, the oldest at lngSamples mod N: they go through the
// window (after the mean is removed, if asked) into the free half of the slot's last pair.
void SpectrumAverager::segmentComplete()
{
    if (filling == nullptr) {
        filling = &workSlots[pipeline->nextSlot()];
    }
    const std::size_t lngSize = dblRing.size();
    SegmentBuffer& dblHalf = filling->lngSegments % 2 == 0 ? filling->dblR : filling->dblI;
    windowRingSegment(dblRing, static_cast<std::size_t>(lngSamples % static_cast<std::int64_t>(lngSize)),
                      settings.detrend, dblWindow,
                      std::span<double>(dblHalf).subspan(filling->lngSegments / 2 * lngSize, lngSize));
    if (++filling->lngSegments == lngSlotSegments) {
        filling = nullptr;
        pipeline->handOver();
    }
}

// Every pair of the slot through the transform; a segment without a partner (the last of an odd count)
// alone.
void SpectrumAverager::transformSlot(Slot& slot) const
{
    const std::size_t lngSize = dblRing.size();
    for (std::size_t lngFirst = 0; lngFirst < slot.lngSegments; lngFirst += 2) {
        const bool blnAlone = lngFirst + 1 == slot.lngSegments;
        const std::span<double> dblA = std::span<double>(slot.dblR).subspan(lngFirst / 2 * lngSize, lngSize);
        const std::span<double> dblB =
            blnAlone ? std::span<double>() : std::span<double>(slot.dblI).subspan(lngFirst / 2 * lngSize, lngSize);
        const std::span<double> dblPower = std::span<double>(slot.dblSegPower).subspan(lngFirst * lngLines);
        transform.pairPowers(dblA, dblB, dblPower.first(lngLines),
                             blnAlone ? std::span<double>() : dblPower.subspan(lngLines, lngLines), slot.dblScratch);
    }
    if (digest.digest) {
        for (std::size_t s = 0; s < slot.lngSegments; ++s) {
            digest.digest(std::span<const double>(slot.dblSegPower).subspan(s * lngLines, lngLines),
                          std::span<float>(slot.sngDigests).subspan(s * digest.lngValues, digest.lngValues));
        }
    }
}

void SpectrumAverager::reportSegment(std::span<const double> dblSegment)
{
    if (settings.averaging == Averaging::Mean) {
        for (std::size_t k = 0; k < lngLines; ++k) {
            dblPower[k] += dblSegment[k];
        }
    } else {
        for (std::size_t k = 0; k < lngLines; ++k) {
            dblPower[k] = std::max(dblPower[k], dblSegment[k]);
        }
    }
    if (onSegment) {
        onSegment(lngSegments, dblSegment);
    }
    ++lngSegments;
}

AveragedPower SpectrumAverager::finish()
{
    if (filling != nullptr) {
        filling = nullptr;
        pipeline->handOver();
    }
    pipeline->finish();
    AveragedPower average;
    average.settings = settings;
    average.lngSamples = lngSamples;
    average.lngSegments = lngSegments;
    average.figures = figures;
    average.dblPower = std::move(dblPower);
    if (settings.averaging == Averaging::Mean && lngSegments > 0) {
        for (double& dblLine : average.dblPower) {
            dblLine /= static_cast<double>(lngSegments);
        }
    }
    dblPower.assign(lngLines, 0.0);
    return average;
}

namespace {

struct UnitsText
{
    SpectrumUnits units;
    std::string_view strName;
    std::string_view strHeading;
};

constexpr UnitsText unitsTexts[] = {
    {SpectrumUnits::Pp, "pp", "peak-to-peak (V)"}, {SpectrumUnits::Peak, "peak", "peak (V)"},
    {SpectrumUnits::Rms, "rms", "rms (V)"},        {SpectrumUnits::DbV, "dbv", "level (dBV)"},
    {SpectrumUnits::Psd, "psd", "PSD (V^2/Hz)"},   {SpectrumUnits::Asd, "asd", "ASD (V/sqrt(Hz))"},
};

const UnitsText& unitsTextOf(SpectrumUnits units)
{
    for (const UnitsText& text : unitsTexts) {
        if (text.units == units) {
            return text;
        }
    }
    assert(false && "every unit has its texts");
    return unitsTexts[0];
}

} // namespace

std::string_view unitsName(SpectrumUnits units)
{
    return unitsTextOf(units).strName;
}

std::string_view unitsHeading(SpectrumUnits units)
{
    return unitsTextOf(units).strHeading;
}

std::optional<SpectrumUnits> unitsOfName(std::string_view strName)
{
    for (const UnitsText& text : unitsTexts) {
        if (text.strName == strName) {
            return text.units;
        }
    }
    return std::nullopt;
}

void powerInUnits(std::span<const double> dblPower, SpectrumUnits units, const WindowFigures& figures,
                  double dblSampFreq, double dblVoltsPerCount, std::span<double> dblOut)
{
    powerInScaledUnits(dblPower, units, figures, dblSampFreq, dblVoltsPerCount, {}, 1.0, dblOut);
}

void powerInScaledUnits(std::span<const double> dblPower, SpectrumUnits units, const WindowFigures& figures,
                        double dblSampFreq, double dblVoltsPerCount, std::span<const double> dblLineGain,
                        double dblDbReference, std::span<double> dblOut)
{
    assert(dblOut.size() == dblPower.size() && (dblLineGain.empty() || dblLineGain.size() == dblPower.size()));
    // A tone of peak A counts on line k > 0 gives |X[k]| = A * sum(w) / 2, and noise of density D
    // counts^2/Hz gives a mean |X[k]|^2 = D / 2 * fs * sum(w^2) on each side.
    const double dblPeakPerRoot = 2.0 * dblVoltsPerCount / figures.dblSum;
    const double dblDensityPerPower = 2.0 * dblVoltsPerCount * dblVoltsPerCount / (dblSampFreq * figures.dblSquareSum);
    for (std::size_t k = 0; k < dblPower.size(); ++k) {
        const double dblSide = k == 0 ? 0.5 : 1.0; // 0 Hz has no mirror line
        // A gain of 1 multiplies exactly: the volts' bits stay as they are.
        const double dblGain = dblLineGain.empty() ? 1.0 : dblLineGain[k];
        const double dblPeak = dblSide * dblPeakPerRoot * std::sqrt(dblPower[k]) * dblGain;
        const double dblRms = k == 0 ? dblPeak : dblPeak / std::sqrt(2.0);
        const double dblDensity = dblSide * dblDensityPerPower * dblPower[k] * (dblGain * dblGain);
        switch (units) {
        case SpectrumUnits::Pp:
            dblOut[k] = 2.0 * dblPeak;
            break;
        case SpectrumUnits::Peak:
            dblOut[k] = dblPeak;
            break;
        case SpectrumUnits::Rms:
            dblOut[k] = dblRms;
            break;
        case SpectrumUnits::DbV:
            dblOut[k] = dblRms > 0.0 ? std::max(20.0 * std::log10(dblRms / dblDbReference), dblDbvFloor) : dblDbvFloor;
            break;
        case SpectrumUnits::Psd:
            dblOut[k] = dblDensity;
            break;
        case SpectrumUnits::Asd:
            dblOut[k] = std::sqrt(dblDensity);
            break;
        }
    }
}

std::vector<double> spectrumInUnits(const AveragedPower& average, SpectrumUnits units, double dblSampFreq,
                                    double dblVoltsPerCount)
{
    std::vector<double> dblValues(average.dblPower.size());
    powerInUnits(average.dblPower, units, average.figures, dblSampFreq, dblVoltsPerCount, dblValues);
    return dblValues;
}

} // namespace kestrix::engine
