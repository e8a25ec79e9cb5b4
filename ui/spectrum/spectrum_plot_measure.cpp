// SPDX-License-Identifier: GPL-3.0-or-later
// The plot's measurements: the reference cursor and the readout between the cursors, the frequency axis
// in orders or logarithmic, and the shading of the lines a converter's figures counted.

#include "engine/run/number_text.h"
#include "engine/view/readable_number.h"
#include "spectrum_panel_text.h"
#include "spectrum_plot.h"
#include "spectrum_plot_layout.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace kestrix::ui {
namespace {

constexpr int intReadableDigits = 4;

// A level difference in dB with its sign: "+6.02 dB", "-∞ dB"; a dash when there is none (0 against 0).
QString levelDifferenceText(double dblDb)
{
    if (std::isnan(dblDb)) {
        return QStringLiteral("— dB");
    }
    if (std::isinf(dblDb)) {
        return dblDb > 0 ? QStringLiteral("+∞ dB") : QStringLiteral("-∞ dB");
    }
    const QString strNumber = fromUtf8(engine::fixedDecimalText(dblDb, 2));
    return (strNumber.startsWith(QLatin1Char('-')) ? strNumber : QLatin1Char('+') + strNumber) + QStringLiteral(" dB");
}

// The unit the files write a value of these units in.
QString fileUnit(const std::optional<engine::LineScale>& scale)
{
    if (!scale) {
        return QStringLiteral("V");
    }
    switch (scale->units) {
    case engine::SpectrumUnits::DbV:
        return QStringLiteral("dBV");
    case engine::SpectrumUnits::Psd:
        return QStringLiteral("V^2/Hz");
    case engine::SpectrumUnits::Asd:
        return QStringLiteral("V/sqrt(Hz)");
    default:
        return QStringLiteral("V");
    }
}

} // namespace

void SpectrumPlot::setReferenceLine(std::optional<std::size_t> lngLine)
{
    const PlotTrace* trace = cursorTrace();
    if (!trace || !lngLine) {
        lngReferenceLine.reset();
    } else {
        lngReferenceLine = std::min(*lngLine, trace->dblFreq.size() - 1);
        bringIntoView(trace->dblFreq[*lngReferenceLine]);
    }
    update();
    emit cursorChanged();
}

void SpectrumPlot::setLineScale(std::optional<engine::LineScale> scale)
{
    lineScale = scale;
    update();
    emit cursorChanged();
}

std::optional<engine::CursorDelta> SpectrumPlot::cursorDelta() const
{
    const PlotTrace* trace = cursorTrace();
    if (!trace || !lngCursorLine || !lngReferenceLine) {
        return std::nullopt;
    }
    return engine::cursorDelta(trace->dblFreq, trace->dblVolts, *lngReferenceLine, *lngCursorLine, lineScale);
}

QString SpectrumPlot::valueText(double dblValue) const
{
    switch (lineScale ? lineScale->units : engine::SpectrumUnits::Peak) {
    case engine::SpectrumUnits::DbV:
        return dblValue > engine::dblDbvFloor ? fromUtf8(engine::fixedDecimalText(dblValue, 2)) + QStringLiteral(" dBV")
                                              : QStringLiteral("-∞ dBV");
    case engine::SpectrumUnits::Psd:
        // No SI prefix: µV²/Hz would read as (µV)²/Hz.
        return QString::number(dblValue, 'e', intReadableDigits - 1) + QStringLiteral(" V²/Hz");
    case engine::SpectrumUnits::Asd:
        return fromUtf8(engine::siText(dblValue, intReadableDigits, "V/√Hz"));
    default:
        return voltsText(dblValue);
    }
}

void SpectrumPlot::setLineTexts(LineText readable, LineText exact)
{
    lineReadable = std::move(readable);
    lineExact = std::move(exact);
    update();
}

QString SpectrumPlot::lineValueText(std::size_t lngLine) const
{
    return lineReadable ? lineReadable(lngLine) : valueText(cursorTrace()->dblVolts[lngLine]);
}

QString SpectrumPlot::lineExactText(std::size_t lngLine) const
{
    return lineExact ? lineExact(lngLine)
                     : generalText(cursorTrace()->dblVolts[lngLine]) + QLatin1Char(' ') + fileUnit(lineScale);
}

QString SpectrumPlot::frequencyText(double dblFreq) const
{
    const PlotTrace* trace = cursorTrace();
    const double dblSpacing = trace && trace->dblFreq.size() > 1 ? trace->dblFreq[1] - trace->dblFreq[0] : 1.0;
    QString strText = fromUtf8(engine::lineFrequencyText(dblFreq, dblSpacing)) + QStringLiteral(" Hz");
    if (speed) {
        strText += tr("（%1 次）")
                       .arg(fromUtf8(engine::lineFrequencyText(engine::orderOf(dblFreq, speed->dblHz),
                                                               dblSpacing / speed->dblHz)));
    }
    return strText;
}

QStringList SpectrumPlot::readoutLines() const
{
    const PlotTrace* trace = cursorTrace();
    if (!trace || !lngCursorLine) {
        return {};
    }
    const QString strCursor =
        tr("カーソル %1　%2").arg(frequencyText(trace->dblFreq[*lngCursorLine]), lineValueText(*lngCursorLine));
    const std::optional<engine::CursorDelta> delta = cursorDelta();
    if (!delta) {
        return {strCursor};
    }
    // One position a line, so the box stays narrow enough for the plot beside the legend.
    const QString strReference =
        tr("基準 %1　%2").arg(frequencyText(delta->dblFreqA), lineValueText(*lngReferenceLine));
    QString strDifference =
        tr("Δ %1　%2").arg(frequencyText(delta->dblDeltaFreq), levelDifferenceText(delta->dblDeltaLevel));
    if (delta->dblBandRms) {
        strDifference += tr("　帯域 RMS %1（%2 本）").arg(voltsText(*delta->dblBandRms)).arg(delta->lngBandLines);
    }
    return {strReference, strCursor, strDifference};
}

QString SpectrumPlot::readoutText() const
{
    QStringList strLines = readoutLines();
    if (strLines.isEmpty()) {
        return {};
    }
    // The values as the files write them, to find or compute with.
    const PlotTrace* trace = cursorTrace();
    const QString strCursor =
        QStringLiteral("%1 Hz, %2").arg(generalText(trace->dblFreq[*lngCursorLine]), lineExactText(*lngCursorLine));
    const std::optional<engine::CursorDelta> delta = cursorDelta();
    if (!delta) {
        strLines << tr("ファイルの値：%1").arg(strCursor);
        return strLines.join(QLatin1Char('\n'));
    }
    const QString strLevel = std::isfinite(delta->dblDeltaLevel)
                                 ? generalText(delta->dblDeltaLevel) + QStringLiteral(" dB")
                                 : levelDifferenceText(delta->dblDeltaLevel);
    QString strValues = tr("ファイルの値：基準 %1 Hz, %2；カーソル %3；Δ %4 Hz, %5")
                            .arg(generalText(delta->dblFreqA), lineExactText(*lngReferenceLine), strCursor,
                                 generalText(delta->dblDeltaFreq), strLevel);
    if (delta->dblBandRms) {
        strValues += tr("；帯域 RMS %1 V").arg(generalText(*delta->dblBandRms));
    }
    strLines << strValues;
    return strLines.join(QLatin1Char('\n'));
}

void SpectrumPlot::setRunningSpeed(std::optional<engine::RunningSpeed> newSpeed)
{
    speed = newSpeed;
    update();
    emit cursorChanged();
}

void SpectrumPlot::setLogFrequency(bool blnLog)
{
    if (blnLog == blnLogFreq) {
        return;
    }
    blnLogFreq = blnLog;
    updateLogFrequencies();
    const bool blnWasFull = blnFullView;
    updateBounds();
    if (blnWasFull) {
        resetView();
    } else {
        // A zoomed view keeps its upper end; its lower one moves off 0 Hz.
        applyView({std::max(plotView.dblLowFreq, bounds.freq.dblLow), plotView.dblHighFreq, plotView.dblLowAmp,
                   plotView.dblHighAmp});
    }
}

void SpectrumPlot::updateLogFrequencies()
{
    logFreqs.clear();
    if (!blnLogFreq) {
        return;
    }
    for (const PlotTrace& trace : plotTraces) {
        LogFrequencies logs;
        logs.lngFirst = static_cast<std::size_t>(std::upper_bound(trace.dblFreq.begin(), trace.dblFreq.end(), 0.0) -
                                                 trace.dblFreq.begin());
        logs.dblLogFreq.reserve(trace.dblFreq.size() - logs.lngFirst);
        for (std::size_t i = logs.lngFirst; i < trace.dblFreq.size(); ++i) {
            logs.dblLogFreq.push_back(std::log10(trace.dblFreq[i]));
        }
        logFreqs.push_back(std::move(logs));
    }
}

void SpectrumPlot::bringIntoView(double dblFreq)
{
    if (dblFreq >= plotView.dblLowFreq && dblFreq <= plotView.dblHighFreq) {
        return;
    }
    const double dblEdge = dblFreq < plotView.dblLowFreq ? plotView.dblLowFreq : plotView.dblHighFreq;
    if (!blnLogFreq) {
        const double dblShift = dblFreq - dblEdge;
        applyView(
            {plotView.dblLowFreq + dblShift, plotView.dblHighFreq + dblShift, plotView.dblLowAmp, plotView.dblHighAmp});
    } else if (dblFreq > 0.0) {
        // 0 Hz has no place on the logarithmic axis: the view stays.
        const double dblRatio = dblFreq / dblEdge;
        applyView(
            {plotView.dblLowFreq * dblRatio, plotView.dblHighFreq * dblRatio, plotView.dblLowAmp, plotView.dblHighAmp});
    }
}

QString SpectrumPlot::frequencyAxisTitle() const
{
    if (!speed) {
        return tr("周波数 [Hz]");
    }
    const QString strHz = fromUtf8(engine::speedText({speed->dblHz, engine::SpeedUnit::Hz}));
    if (speed->unit == engine::SpeedUnit::Hz) {
        return tr("次数（1 次 = %1）").arg(strHz);
    }
    return tr("次数（1 次 = %1 = %2）").arg(fromUtf8(engine::speedText(*speed)), strHz);
}

std::vector<QString> SpectrumPlot::frequencyTickLabels() const
{
    return layoutFor(rect(), fontMetrics()).xTicks.strLabels;
}

void SpectrumPlot::setLineRoles(std::vector<engine::LineRole> roles, double dblDeltaFreq)
{
    lineRoles = std::move(roles);
    dblRoleSpacing = dblDeltaFreq;
    update();
}

QColor SpectrumPlot::roleColour(engine::LineRole role)
{
    switch (role) {
    case engine::LineRole::Fundamental:
        return {44, 160, 44, 70};
    case engine::LineRole::Harmonic:
        return {214, 39, 40, 60};
    case engine::LineRole::Excluded:
        return {110, 110, 110, 70};
    case engine::LineRole::Noise:
        break;
    }
    return Qt::transparent;
}

} // namespace kestrix::ui
