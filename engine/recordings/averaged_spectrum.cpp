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
      dblWindow(windowCoefficients(settings.window, settings.lngNumSamp)), dblPower(lngLines),
      runs(settings.lngNumSamp, lngStep, lngSlotSegments), figures(windowFigures(dblWindow))
{
    assert(settings.lngNumSamp >= 4 && (settings.lngNumSamp & (settings.lngNumSamp - 1)) == 0);
    assert(lngLines <= dblWindow.size() / 2 + 1); // lines up to N / 2 can be parted
    pipeline = std::make_unique<SegmentPipeline>(
        lngThreads, [this](std::size_t lngSlot) { transformSlot(workSlots[lngSlot]); },
        [this](std::size_t lngSlot) {
            Slot& slot = workSlots[lngSlot];
            for (std::size_t s = 0; s < slot.lngSegments; ++s) {
                reportSegment(std::span<const double>(slot.dblSegPower).subspan(s * lngLines, lngLines));
                if (this->digest.take) {
                    const std::size_t lngValues = this->digest.lngValues;
                    this->digest.take(lngSegments - 1,
                                      std::span<const double>(slot.dblDigests).subspan(s * lngValues, lngValues));
                }
            }
            slot.lngSegments = 0;
        });
    workSlots.resize(pipeline->slotCount());
    for (Slot& slot : workSlots) {
        slot.dblRun.resize(runs.runSamples());
        slot.dblR.resize(dblWindow.size());
        slot.dblI.resize(dblWindow.size());
        slot.dblSegPower.resize(lngSlotSegments * lngLines);
        slot.dblScratch = transform.makeScratch();
        slot.dblDigests.resize(this->digest.digest ? lngSlotSegments * this->digest.lngValues : 0);
    }
}

void SpectrumAverager::addSamples(std::span<const double> dblCounts)
{
    feedRuns(
        runs, *pipeline, workSlots, filling, dblCounts.size(),
        [&](Slot& slot, std::size_t lngFrom, std::size_t lngTake, std::size_t lngRunAt) {
            std::copy_n(dblCounts.begin() + static_cast<std::ptrdiff_t>(lngFrom), lngTake,
                        slot.dblRun.begin() + static_cast<std::ptrdiff_t>(lngRunAt));
        },
        [&](const Slot& full, Slot& next) { runs.carry(full.dblRun, next.dblRun); });
}

void windowSegment(std::span<const double> dblSegment, Detrend detrend, std::span<const double> dblWindow,
                   std::span<double> dblTarget)
{
    const std::size_t lngSize = dblSegment.size();
    double dblMean = 0.0;
    if (detrend == Detrend::Mean) {
        double dblSum = 0.0;
        for (std::size_t j = 0; j < lngSize; ++j) {
            dblSum += dblSegment[j];
        }
        dblMean = dblSum / static_cast<double>(lngSize);
    }
    for (std::size_t j = 0; j < lngSize; ++j) {
        dblTarget[j] = (dblSegment[j] - dblMean) * dblWindow[j];
    }
}

// Every pair of the slot windowed and through the transform; a segment without a partner (the last of
// an odd count) alone.
void SpectrumAverager::transformSlot(Slot& slot) const
{
    const std::size_t lngSize = dblWindow.size();
    const auto segment = [&](std::size_t s) {
        return std::span<const double>(slot.dblRun).subspan(s * static_cast<std::size_t>(lngStep), lngSize);
    };
    for (std::size_t lngFirst = 0; lngFirst < slot.lngSegments; lngFirst += 2) {
        const bool blnAlone = lngFirst + 1 == slot.lngSegments;
        windowSegment(segment(lngFirst), settings.detrend, dblWindow, slot.dblR);
        if (!blnAlone) {
            windowSegment(segment(lngFirst + 1), settings.detrend, dblWindow, slot.dblI);
        }
        const std::span<double> dblPower = std::span<double>(slot.dblSegPower).subspan(lngFirst * lngLines);
        transform.pairPowers(slot.dblR, blnAlone ? std::span<double>() : std::span<double>(slot.dblI),
                             dblPower.first(lngLines),
                             blnAlone ? std::span<double>() : dblPower.subspan(lngLines, lngLines), slot.dblScratch);
    }
    if (digest.digest) {
        for (std::size_t s = 0; s < slot.lngSegments; ++s) {
            digest.digest(slot.lngFirstSegment + static_cast<std::int64_t>(s),
                          std::span<const double>(slot.dblSegPower).subspan(s * lngLines, lngLines),
                          std::span<double>(slot.dblDigests).subspan(s * digest.lngValues, digest.lngValues));
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
    average.lngSamples = runs.samples();
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
