// SPDX-License-Identifier: GPL-3.0-or-later
// The spectrum the view shows in the units chosen: the run's block as its file holds it (carried into
// other units where asked), or the averaged spectrum or a segment of the recording; the references
// carried into the same units.

#include "engine/recordings/window_function.h"
#include "spectrum_panel.h"
#include "spectrum_plot.h"
#include "units_text.h"

#include <QCheckBox>

#include <cmath>

namespace kestrix::ui {

namespace {

// The point count of a run's spectrum of lngLines lines (N / 2.56 + 1 of them).
std::int32_t pointsOfLines(std::size_t lngLines)
{
    return static_cast<std::int32_t>(std::lround(static_cast<double>(lngLines - 1) * 2.56));
}

} // namespace

void SpectrumPanel::refreshShown()
{
    const bool blnAveraged = shownSettings.averaging != ViewAveraging::SingleBlock || lngShownSegment;
    if (lngShownSegment && segmentReading) {
        shown = averagedSpectrum(*segmentReading, lngShownSegment);
    } else if (blnAveraged && lastReading) {
        shown = averagedSpectrum(*lastReading, std::nullopt);
    } else {
        shown = singleBlockSpectrum();
    }
    fillPlotValues(shown);
    applyUnitsToPlot();
    refreshTraces();
    refreshMeasurements();
}

SpectrumPanel::ShownSpectrum SpectrumPanel::singleBlockSpectrum() const
{
    ShownSpectrum spectrum;
    const std::vector<double>* dblVolts = nullptr;
    if (run && !run->dblVolts.empty()) {
        dblVolts = &run->dblVolts;
        spectrum.dblDeltaFreq = run->dblDeltaFreq;
        spectrum.lngNumSamp = run->lngNumSamp > 0 ? run->lngNumSamp : pointsOfLines(run->dblVolts.size());
    } else if (lastReading && !lastReading->dblFirstBlock.empty()) {
        dblVolts = &lastReading->dblFirstBlock;
        spectrum.dblDeltaFreq = lastReading->average.dblDeltaFreq;
        spectrum.lngNumSamp = viewRecording->lngNumSamp;
    }
    if (dblVolts == nullptr) {
        return spectrum;
    }
    const engine::SpectrumUnits units = shownSettings.units;
    // The block has no window: a line's noise bandwidth is its spacing.
    const engine::SpectrumScale classic{engine::SpectrumUnits::Pp, true, spectrum.dblDeltaFreq};
    spectrum.scale = {units, units == engine::SpectrumUnits::Pp, spectrum.dblDeltaFreq};
    const auto carried = [&](const std::vector<double>& dblValues) {
        return units == engine::SpectrumUnits::Pp ? dblValues
                                                  : engine::convertSpectrum(dblValues, classic, spectrum.scale);
    };
    spectrum.dblValues = carried(*dblVolts);
    if (run && !run->dblBandVolts.empty()) {
        spectrum.dblBandValues = carried(run->dblBandVolts);
    }
    const QString strBlock = run ? tr("スペクトル") : tr("1 ブロック（窓なし）");
    spectrum.strName =
        units == engine::SpectrumUnits::Pp ? strBlock : tr("%1（%2）").arg(strBlock, unitsTexts(units).strLegend);
    spectrum.window = engine::WindowKind::Rect;
    return spectrum;
}

SpectrumPanel::ShownSpectrum SpectrumPanel::averagedSpectrum(const ViewReading& reading,
                                                             std::optional<std::int64_t> lngSegment) const
{
    const engine::AverageFileResult& result = reading.average;
    const engine::AverageSettings& settings = result.average.settings;
    ShownSpectrum spectrum;
    spectrum.dblDeltaFreq = result.dblDeltaFreq;
    spectrum.window = settings.window;
    spectrum.lngNumSamp = settings.lngNumSamp;
    const double dblVoltsPerCount = viewRecording->dblMaxVolt / engine::dblFullScaleCount;
    const engine::SpectrumUnits units = shownSettings.units;
    spectrum.dblValues = engine::spectrumInUnits(result.average, units, result.lngSampFreq, dblVoltsPerCount);
    spectrum.scale = {units, false,
                      result.average.figures.dblNoiseBandwidth * result.lngSampFreq / settings.lngNumSamp};
    const QString strUnits = unitsTexts(units).strLegend;
    QString strDetrend = settings.detrend == engine::Detrend::Mean ? tr("、平均値除去") : QString();
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
    const QString strAveraging = settings.averaging == engine::Averaging::Peak
                                     ? tr("%1 区間のピークホールド").arg(result.average.lngSegments)
                                     : tr("%1 回平均").arg(result.average.lngSegments);
    spectrum.strName = tr("%1、%2、%3 %、%4%5")
                           .arg(windowKindTitle(settings.window), strAveraging)
                           .arg(settings.dblOverlap)
                           .arg(strUnits, strDetrend);
    return spectrum;
}

void SpectrumPanel::fillPlotValues(ShownSpectrum& spectrum) const
{
    // Levels are drawn as the rms volts they stand for, on the logarithmic axis.
    const auto plotted = [&](const std::vector<double>& dblValues) {
        if (spectrum.scale.units != engine::SpectrumUnits::DbV) {
            return dblValues;
        }
        return engine::convertSpectrum(dblValues, spectrum.scale, {engine::SpectrumUnits::Rms, false, 1.0});
    };
    spectrum.dblPlot = plotted(spectrum.dblValues);
    spectrum.dblBandPlot = plotted(spectrum.dblBandValues);
}

void SpectrumPanel::applyUnitsToPlot()
{
    const engine::SpectrumUnits units = shown.dblValues.empty() ? shownSettings.units : shown.scale.units;
    const UnitsTexts texts = unitsTexts(units);
    pltSpectrum->setAmplitudeAxis({texts.strAxis, texts.strLogAxis, texts.dblDbPerDecade});
    // A level is only ever read on the logarithmic axis; the choice made before comes back after it.
    const bool blnLevels = units == engine::SpectrumUnits::DbV;
    if (blnLevels && !blnLogBeforeLevels) {
        blnLogBeforeLevels = chkLogScale->isChecked();
        chkLogScale->setChecked(true);
    } else if (!blnLevels && blnLogBeforeLevels) {
        chkLogScale->setChecked(*blnLogBeforeLevels);
        blnLogBeforeLevels.reset();
    }
    chkLogScale->setEnabled(!blnLevels);
}

engine::SpectrumScale SpectrumPanel::targetScale(const Reference& reference) const
{
    if (!shown.dblValues.empty()) {
        return shown.scale;
    }
    const engine::SpectrumUnits units = shownSettings.units;
    const bool blnClassic = units == engine::SpectrumUnits::Pp && shownSettings.averaging == ViewAveraging::SingleBlock;
    return {units, blnClassic, reference.scale.dblNoiseBandwidth};
}

std::vector<double> SpectrumPanel::referenceValues(const Reference& reference) const
{
    const engine::SpectrumScale target = targetScale(reference);
    return sameScale(reference.scale, target) ? reference.dblValues
                                              : engine::convertSpectrum(reference.dblValues, reference.scale, target);
}

std::vector<double> SpectrumPanel::referencePlot(const Reference& reference) const
{
    const engine::SpectrumScale target = targetScale(reference);
    if (target.units == engine::SpectrumUnits::DbV) {
        return engine::convertSpectrum(reference.dblValues, reference.scale, {engine::SpectrumUnits::Rms, false, 1.0});
    }
    return referenceValues(reference);
}

QString SpectrumPanel::referenceLegend(const Reference& reference) const
{
    if (sameScale(reference.scale, targetScale(reference))) {
        return reference.strName;
    }
    return tr("%1（%2 から換算）").arg(reference.strName, reference.strUnits);
}

} // namespace kestrix::ui
