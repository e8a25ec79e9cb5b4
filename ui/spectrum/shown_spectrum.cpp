// SPDX-License-Identifier: GPL-3.0-or-later
#include "shown_spectrum.h"

#include "engine/recordings/recording_measures.h"
#include "engine/run/global_define.h"
#include "spectrum_panel_text.h"
#include "units_text.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>

namespace kestrix::ui {
namespace {

QString tr(const char* strText)
{
    return QCoreApplication::translate("kestrix::ui::SpectrumPanel", strText);
}

// The point count of a run's spectrum of lngLines lines (N / 2.56 + 1 of them).
std::int32_t pointsOfLines(std::size_t lngLines)
{
    return static_cast<std::int32_t>(std::lround(static_cast<double>(lngLines - 1) * 2.56));
}

// Levels are drawn as the rms volts they stand for, on the logarithmic axis.
void fillPlotValues(ShownSpectrum& spectrum)
{
    const auto plotted = [&](const std::vector<double>& dblValues) {
        if (spectrum.scale.units != engine::SpectrumUnits::DbV) {
            return dblValues;
        }
        return engine::convertSpectrum(dblValues, spectrum.scale, {engine::SpectrumUnits::Rms, false, 1.0});
    };
    spectrum.dblPlot = plotted(spectrum.dblValues);
    spectrum.dblBandPlot = plotted(spectrum.dblBandValues);
}

// How the segments were averaged: "31 回平均", "31 区間のピークホールド".
QString averagingText(const engine::AveragedPower& average)
{
    return average.settings.averaging == engine::Averaging::Peak
               ? tr("%1 区間のピークホールド").arg(average.lngSegments)
               : tr("%1 回平均").arg(average.lngSegments);
}

} // namespace

ShownSpectrum singleBlockSpectrum(const engine::RunSpectra* run, const ViewReading* reading, std::int32_t lngNumSamp,
                                  engine::SpectrumUnits units, const engine::MeasuredQuantity& quantity)
{
    ShownSpectrum spectrum;
    const std::vector<double>* dblVolts = nullptr;
    if (run != nullptr && !run->dblVolts.empty()) {
        dblVolts = &run->dblVolts;
        spectrum.dblDeltaFreq = run->dblDeltaFreq;
        spectrum.lngNumSamp = run->lngNumSamp > 0 ? run->lngNumSamp : pointsOfLines(run->dblVolts.size());
    } else if (reading != nullptr && !reading->dblFirstBlock.empty()) {
        dblVolts = &reading->dblFirstBlock;
        spectrum.dblDeltaFreq = reading->average.dblDeltaFreq;
        spectrum.lngNumSamp = lngNumSamp;
    }
    if (dblVolts == nullptr) {
        return spectrum;
    }
    // The block has no window: a line's noise bandwidth is its spacing.
    const engine::SpectrumScale classic{engine::SpectrumUnits::Pp, true, spectrum.dblDeltaFreq};
    const bool blnVolts = inVolts(quantity);
    spectrum.quantity = quantity;
    spectrum.scale = {units, units == engine::SpectrumUnits::Pp, spectrum.dblDeltaFreq,
                      engine::shownUnit(quantity).dblDbReference};
    const std::vector<double> dblGain =
        blnVolts ? std::vector<double>{} : engine::lineGains(quantity, dblVolts->size(), spectrum.dblDeltaFreq);
    const auto carried = [&](const std::vector<double>& dblValues) {
        if (blnVolts) {
            return units == engine::SpectrumUnits::Pp ? dblValues
                                                      : engine::convertSpectrum(dblValues, classic, spectrum.scale);
        }
        // Each line's rms volts in the quantity shown, as the averaged spectrum's lines are.
        std::vector<double> dblOut(dblValues.size());
        for (std::size_t k = 0; k < dblValues.size() && k < dblGain.size(); ++k) {
            dblOut[k] =
                engine::valueOfRms(engine::rmsOfValue(dblValues[k], k, classic) * dblGain[k], k, spectrum.scale);
        }
        return dblOut;
    };
    spectrum.dblValues = carried(*dblVolts);
    if (run != nullptr && !run->dblBandVolts.empty()) {
        spectrum.dblBandValues = carried(run->dblBandVolts);
    }
    const QString strBlock = run != nullptr ? tr("スペクトル") : tr("1 ブロック（窓なし）");
    spectrum.strName = units == engine::SpectrumUnits::Pp && blnVolts
                           ? strBlock
                           : tr("%1（%2）").arg(strBlock, unitsTexts(units, quantity).strLegend);
    spectrum.window = engine::WindowKind::Rect;
    fillPlotValues(spectrum);
    return spectrum;
}

ShownSpectrum averagedSpectrum(const ViewReading& reading, double dblMaxVolt, engine::SpectrumUnits units,
                               std::optional<std::int64_t> lngSegment, const engine::MeasuredQuantity& quantity)
{
    const engine::AverageFileResult& result = reading.average;
    const engine::AverageSettings& settings = result.average.settings;
    ShownSpectrum spectrum;
    spectrum.dblDeltaFreq = result.dblDeltaFreq;
    spectrum.window = settings.window;
    spectrum.lngNumSamp = settings.lngNumSamp;
    spectrum.quantity = quantity;
    const double dblVoltsPerCount = dblMaxVolt / engine::dblFullScaleCount;
    spectrum.dblValues = engine::spectrumInUnits(result.average, units, result.lngSampFreq, dblVoltsPerCount, quantity);
    spectrum.scale = {units, false, result.average.figures.dblNoiseBandwidth * result.lngSampFreq / settings.lngNumSamp,
                      engine::shownUnit(quantity).dblDbReference};
    fillPlotValues(spectrum);
    const QString strUnits = unitsTexts(units, quantity).strLegend;
    const QString strDetrend = settings.detrend == engine::Detrend::Mean ? tr("、平均値除去") : QString();
    if (lngSegment) {
        const double dblStart =
            static_cast<double>(*lngSegment * engine::segmentStep(settings.lngNumSamp, settings.dblOverlap));
        const double dblCentre = (dblStart + settings.lngNumSamp / 2.0) / result.lngSampFreq;
        spectrum.strName = tr("区間 %1（%2 s）、%3%4、%5")
                               .arg(*lngSegment)
                               .arg(dblCentre, 0, 'f', 2)
                               .arg(windowKindTitle(settings.window), strDetrend, strUnits);
        return spectrum;
    }
    spectrum.strName = tr("%1、%2、%3 %、%4%5")
                           .arg(windowKindTitle(settings.window), averagingText(result.average))
                           .arg(settings.dblOverlap)
                           .arg(strUnits, strDetrend);
    return spectrum;
}

ShownSpectrum envelopeSpectrum(const ViewReading& reading, const engine::AverageRequest& request)
{
    const engine::AverageFileResult& result = reading.average;
    if (!result.envelope) {
        return {};
    }
    engine::EnvelopeSpectrum envelope = *result.envelope;
    engine::fillEnvelopeSpectrum(request, result.lngSampFreq, result.strSource, envelope);
    const engine::AverageSettings& settings = envelope.average.settings;
    ShownSpectrum spectrum;
    spectrum.dblDeltaFreq = result.dblDeltaFreq;
    spectrum.window = settings.window;
    spectrum.lngNumSamp = settings.lngNumSamp;
    spectrum.quantity = engine::recordedQuantity(request.quantity);
    spectrum.dblValues = std::move(envelope.dblValues);
    spectrum.scale = {request.units, false,
                      envelope.average.figures.dblNoiseBandwidth * result.lngSampFreq / settings.lngNumSamp,
                      engine::shownUnit(spectrum.quantity).dblDbReference};
    fillPlotValues(spectrum);
    spectrum.strName = tr("包絡線 %1、%2、%3、%4 %、%5")
                           .arg(fromUtf8(engine::bandText(envelope.band)), windowKindTitle(settings.window),
                                averagingText(envelope.average))
                           .arg(settings.dblOverlap)
                           .arg(unitsTexts(request.units, spectrum.quantity).strLegend);
    return spectrum;
}

std::vector<engine::SpectrumPeak> shownPeaks(const ShownSpectrum& shown, double dblThresholdDb)
{
    if (shown.dblValues.empty()) {
        return {};
    }
    const bool blnPower = shown.scale.units == engine::SpectrumUnits::Psd;
    std::vector<double> dblMagnitudes = shown.dblPlot;
    if (blnPower) {
        for (double& dblValue : dblMagnitudes) {
            dblValue = std::sqrt(dblValue);
        }
    }
    std::vector<engine::SpectrumPeak> peaks =
        shown.scale.blnClassic && shown.scale.units == engine::SpectrumUnits::Pp
            ? engine::findProminentPeaks(dblMagnitudes, shown.dblDeltaFreq, dblThresholdDb)
            : engine::findProminentPeaks(dblMagnitudes, shown.dblDeltaFreq, dblThresholdDb, shown.window,
                                         std::max(shown.lngNumSamp, 4));
    for (engine::SpectrumPeak& peak : peaks) {
        const double dblScale = peak.dblVolts > 0.0 ? peak.dblEstimatedVolts / peak.dblVolts : 1.0;
        const double dblValue = shown.dblValues[static_cast<std::size_t>(peak.lngLine)];
        peak.dblVolts = dblValue;
        if (blnPower) {
            peak.dblEstimatedVolts = dblValue * dblScale * dblScale;
        } else if (shown.scale.units == engine::SpectrumUnits::DbV) {
            peak.dblEstimatedVolts = dblValue + 20.0 * std::log10(dblScale);
        } else {
            peak.dblEstimatedVolts = dblValue * dblScale;
        }
    }
    return peaks;
}

} // namespace kestrix::ui
