// SPDX-License-Identifier: GPL-3.0-or-later
// The spectrum plot's drawing inside the frame (the band, the shaded lines, the curves, the cursors, the
// harmonic markers, the legend) and the texts of its readout.

#include "engine/run/number_text.h"
#include "engine/view/plot_axis.h"
#include "engine/view/plot_view.h"
#include "engine/view/readable_number.h"
#include "spectrum_panel_text.h"
#include "spectrum_plot.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace kestrix::ui {
namespace {

constexpr int intPad = 8;               // px inside the legend
constexpr int intSwatch = 22;           // px of line sample before each legend entry
constexpr double dblMaxPixels = 1e6;    // points beyond this distance are clamped before drawing
constexpr double dblCursorRadius = 4.0; // px
constexpr int intReadableDigits = 4;
const QColor clrBand(255, 236, 179, 150);
const QColor clrHarmonic(180, 30, 30);
// Beneath the curves, and pale where it crosses the grid, so it never hides what it points at.
const QColor clrCursor(40, 40, 40, 150);
const QColor clrReference(120, 50, 170, 170);
const QColor clrDeltaBand(120, 50, 170, 22); // the band between the cursors whose RMS the readout gives
constexpr int intMinShadeWidth = 3;          // px: a shaded line stays visible however many lines a pixel holds

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

// A value in the line scale's units to be read at a glance, without the view's own texts.
QString scaleValueText(double dblValue, const std::optional<engine::LineScale>& scale)
{
    switch (scale ? scale->units : engine::SpectrumUnits::Peak) {
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

// The unit the files write a value of these units in.
QString fileUnit(const std::optional<engine::LineScale>& scale)
{
    switch (scale ? scale->units : engine::SpectrumUnits::Peak) {
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

void SpectrumPlot::paintBackdrop(QPainter& painter, const FrameLayout& layout) const
{
    if (!bandLimits) {
        return;
    }
    const QRect& plot = layout.plot;
    const QRectF band(QPointF(std::max<double>(layout.xOf(bandLimits->first), plot.left()), plot.top()),
                      QPointF(std::min<double>(layout.xOf(bandLimits->second), plot.right() + 1), plot.bottom() + 1));
    if (band.width() > 0) {
        painter.fillRect(band, clrBand);
    }
}

void SpectrumPlot::paintData(QPainter& painter, const FrameLayout& layout) const
{
    // The shading, the cursors and the markers go beneath the curves: the curve they point at stays in
    // sight.
    painter.save();
    painter.setClipRect(layout.plot.adjusted(0, 0, 1, 1));
    drawRoles(painter, layout);
    drawReference(painter, layout);
    drawCursor(painter, layout);
    drawMarkers(painter, layout);
    // References first, so the measured curves stay on top.
    for (const bool blnReferencePass : {true, false}) {
        for (const PlotTrace& trace : plotTraces) {
            if (trace.blnReference == blnReferencePass) {
                drawTrace(painter, layout, trace);
            }
        }
    }
    drawMarkerLabels(painter, layout);
    painter.restore();
    drawLegend(painter, layout);
}

void SpectrumPlot::drawTrace(QPainter& painter, const FrameLayout& layout, const PlotTrace& trace) const
{
    const QRect& plot = layout.plot;
    std::span<const double> dblY;
    const std::span<const double> dblX = drawnFrequencies(trace, dblY);
    const double dblLow = blnLogFreq ? std::log10(layout.view.x.dblLow) : layout.view.x.dblLow;
    const double dblHigh = blnLogFreq ? std::log10(layout.view.x.dblHigh) : layout.view.x.dblHigh;
    const double dblFreqScale = plot.width() / (dblHigh - dblLow);
    const auto lngColumns = static_cast<std::size_t>(std::max(1, plot.width()));
    const auto pixelRow = [&](double dblVolts) { return layout.yOf(ampOf(dblVolts)); };
    const auto first = std::lower_bound(dblX.begin(), dblX.end(), dblLow);
    const auto last = std::upper_bound(first, dblX.end(), dblHigh);
    if (static_cast<std::size_t>(last - first) > lngColumns) {
        // More lines than pixel columns: one bar per column. Slanted strokes a pixel wide between lines
        // would show a lone line as a bar and a half.
        painter.setRenderHint(QPainter::Antialiasing, false);
        for (const engine::ColumnBar& bar : engine::columnBars(dblX, dblY, dblLow, dblHigh, lngColumns)) {
            const auto intTop = static_cast<int>(std::lround(pixelRow(bar.dblHigh)));
            const auto intBottom = static_cast<int>(std::lround(pixelRow(bar.dblLow)));
            painter.fillRect(
                QRect(plot.left() + static_cast<int>(bar.lngColumn), intTop, 1, std::max(1, intBottom - intTop + 1)),
                trace.color);
        }
        return;
    }
    const std::vector<engine::TracePoint> reduced = engine::decimateTrace(dblX, dblY, dblLow, dblHigh, lngColumns);
    std::vector<QPointF> points;
    points.reserve(reduced.size());
    for (const engine::TracePoint& point : reduced) {
        // Each line at the centre of its pixel column: a spike on a column edge would be drawn as two
        // pale columns, whatever width the plot has.
        const double dblColumn = plot.left() + (point.dblX - dblLow) * dblFreqScale;
        points.emplace_back(std::clamp(std::floor(dblColumn), plot.left() - dblMaxPixels, plot.right() + dblMaxPixels) +
                                0.5,
                            pixelRow(point.dblY));
    }
    // A pixel column or more per line: smooth lines through the points.
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(trace.color, 1));
    painter.drawPolyline(points.data(), static_cast<int>(points.size()));
}

double SpectrumPlot::hiddenData(const QRect& box, const FrameLayout& layout) const
{
    // Never the lines the readout measures: the tops of the cursors' lines stay in sight.
    constexpr double dblMarkedLine = 1e9;
    double dblHidden = 0.0;
    const PlotTrace* measured = cursorTrace();
    for (const std::optional<std::size_t>& lngLine : {lngCursorLine, lngReferenceLine}) {
        if (measured && lngLine) {
            const QPointF ptTop(layout.xOf(measured->dblFreq[*lngLine]),
                                layout.yOf(ampOf(measured->dblVolts[*lngLine])));
            dblHidden += box.adjusted(-2, -2, 2, 2).contains(ptTop.toPoint()) ? dblMarkedLine : 0.0;
        }
    }
    // Then as few of the curves' pixels as may be, counted on the bars the curves are drawn with.
    const double dblLow = layout.xAt(box.left());
    const double dblHigh = layout.xAt(box.right() + 1);
    const auto lngColumns = static_cast<std::size_t>(std::max(1, box.width()));
    for (const PlotTrace& trace : plotTraces) {
        std::span<const double> dblY;
        const std::span<const double> dblX = drawnFrequencies(trace, dblY);
        if (dblX.empty()) {
            continue;
        }
        const double dblAxisLow = blnLogFreq ? std::log10(dblLow) : dblLow;
        const double dblAxisHigh = blnLogFreq ? std::log10(dblHigh) : dblHigh;
        for (const engine::ColumnBar& bar : engine::columnBars(dblX, dblY, dblAxisLow, dblAxisHigh, lngColumns)) {
            const double dblTop = std::max<double>(layout.yOf(ampOf(bar.dblHigh)), box.top());
            const double dblBottom = std::min<double>(layout.yOf(ampOf(bar.dblLow)) + 1, box.bottom() + 1);
            dblHidden += std::max(0.0, dblBottom - dblTop);
        }
    }
    return dblHidden;
}

std::vector<QRect> SpectrumPlot::keptClear(const FrameLayout& layout, const QFontMetrics& metrics) const
{
    return {legendBox(layout.plot, metrics)};
}

void SpectrumPlot::drawCursor(QPainter& painter, const FrameLayout& layout) const
{
    const std::optional<double> dblFreq = cursorFrequency();
    if (!dblFreq) {
        return;
    }
    const QRect& plot = layout.plot;
    const double dblX = layout.xOf(*dblFreq);
    const double dblY = std::clamp(layout.yOf(ampOf(cursorTrace()->dblVolts[*lngCursorLine])),
                                   plot.top() - 2.0 * plot.height(), plot.bottom() + 1.0 * plot.height());
    painter.setPen(QPen(clrCursor, 1));
    painter.drawLine(QPointF(dblX, plot.top()), QPointF(dblX, plot.bottom()));
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(clrCursor, 2));
    painter.drawEllipse(QPointF(dblX, dblY), dblCursorRadius, dblCursorRadius);
    painter.restore();
}

void SpectrumPlot::drawRoles(QPainter& painter, const FrameLayout& layout) const
{
    const QRect& plot = layout.plot;
    // Each run of lines of one role is one band from half a line before its first to half after its last.
    for (std::size_t k = 0; k < lineRoles.size();) {
        std::size_t lngEnd = k + 1;
        while (lngEnd < lineRoles.size() && lineRoles[lngEnd] == lineRoles[k]) {
            ++lngEnd;
        }
        if (lineRoles[k] != engine::LineRole::Noise) {
            double dblLeft = layout.xOf((static_cast<double>(k) - 0.5) * dblRoleSpacing);
            double dblRight = layout.xOf((static_cast<double>(lngEnd) - 0.5) * dblRoleSpacing);
            const double dblGrow = std::max(0.0, (intMinShadeWidth - (dblRight - dblLeft)) / 2.0);
            dblLeft -= dblGrow;
            dblRight += dblGrow;
            painter.fillRect(QRectF(QPointF(dblLeft, plot.top()), QPointF(dblRight, plot.bottom() + 1)),
                             roleColour(lineRoles[k]));
        }
        k = lngEnd;
    }
}

void SpectrumPlot::drawReference(QPainter& painter, const FrameLayout& layout) const
{
    const std::optional<double> dblFreq = referenceFrequency();
    if (!dblFreq) {
        return;
    }
    const QRect& plot = layout.plot;
    const double dblX = layout.xOf(*dblFreq);
    if (const std::optional<double> dblCursor = cursorFrequency()) {
        const double dblCursorX = layout.xOf(*dblCursor);
        painter.fillRect(QRectF(QPointF(std::min(dblX, dblCursorX), plot.top()),
                                QPointF(std::max(dblX, dblCursorX) + 1, plot.bottom() + 1)),
                         clrDeltaBand);
    }
    painter.setPen(QPen(clrReference, 1, Qt::DashLine));
    painter.drawLine(QPointF(dblX, plot.top()), QPointF(dblX, plot.bottom()));
    painter.setPen(clrReference);
    painter.drawText(QPointF(dblX + 3, plot.bottom() - painter.fontMetrics().descent() - 2), tr("基準"));
}

void SpectrumPlot::drawMarkers(QPainter& painter, const FrameLayout& layout) const
{
    painter.setPen(QPen(clrHarmonic, 1, Qt::DashLine));
    for (const double dblHarmonic : dblHarmonics) {
        const double dblX = layout.xOf(dblHarmonic);
        painter.drawLine(QPointF(dblX, layout.plot.top()), QPointF(dblX, layout.plot.bottom()));
    }
}

void SpectrumPlot::drawMarkerLabels(QPainter& painter, const FrameLayout& layout) const
{
    const QRect& plot = layout.plot;
    const QFontMetrics metrics = painter.fontMetrics();
    const QRect legend = legendBox(plot, metrics);
    const int intGap = metrics.horizontalAdvance(QLatin1Char(' '));
    painter.setPen(clrHarmonic);
    // Each label only where it keeps clear of the one drawn before it, measured: the first one always.
    double dblFreeFrom = -dblMaxPixels;
    for (std::size_t k = 0; k < dblHarmonics.size(); ++k) {
        const double dblX = layout.xOf(dblHarmonics[k]);
        const QString strLabel = QStringLiteral("%1x").arg(k + 1);
        const int intWidth = metrics.horizontalAdvance(strLabel);
        if (dblX + 3 < dblFreeFrom || dblX > plot.right() || dblX + 3 + intWidth < plot.left()) {
            continue;
        }
        // A label that would hide under the legend goes just below it.
        const QRect label(static_cast<int>(dblX) + 3, plot.top() + 2, intWidth, metrics.height());
        const int intTop = label.intersects(legend) ? legend.bottom() + 2 : label.top();
        painter.drawText(QPointF(label.left(), intTop + metrics.ascent()), strLabel);
        dblFreeFrom = dblX + 3 + intWidth + intGap;
    }
}

QRect SpectrumPlot::legendBox(const QRect& plot, const QFontMetrics& metrics) const
{
    int intWidth = 0;
    for (const PlotTrace& trace : plotTraces) {
        intWidth = std::max(intWidth, metrics.horizontalAdvance(trace.strName));
    }
    return {plot.right() - intWidth - intSwatch - 3 * intPad, plot.top() + intPad, intWidth + intSwatch + 2 * intPad,
            static_cast<int>(plotTraces.size()) * metrics.height() + intPad};
}

void SpectrumPlot::drawLegend(QPainter& painter, const FrameLayout& layout) const
{
    const QFontMetrics metrics = painter.fontMetrics();
    const int intRowHeight = metrics.height();
    const QRect box = legendBox(layout.plot, metrics);
    painter.save();
    painter.setPen(QColor(170, 170, 170));
    painter.setBrush(QColor(255, 255, 255, 225));
    painter.drawRect(box);
    int intY = box.top() + intPad / 2;
    for (const PlotTrace& trace : plotTraces) {
        const int intMid = intY + intRowHeight / 2;
        painter.setPen(QPen(trace.color, 2));
        painter.drawLine(box.left() + intPad, intMid, box.left() + intPad + intSwatch - 6, intMid);
        painter.setPen(Qt::black);
        painter.drawText(QPoint(box.left() + intPad + intSwatch, intY + metrics.ascent()), trace.strName);
        intY += intRowHeight;
    }
    painter.restore();
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

void SpectrumPlot::setLineRoles(std::vector<engine::LineRole> roles, double dblDeltaFreq)
{
    lineRoles = std::move(roles);
    dblRoleSpacing = dblDeltaFreq;
    update();
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

QString SpectrumPlot::amplitudeAxisTitle() const
{
    return blnLogScale ? ampAxis.strLogTitle : ampAxis.strTitle;
}

QString SpectrumPlot::lineValueText(std::size_t lngLine) const
{
    return lineReadable ? lineReadable(lngLine) : scaleValueText(cursorTrace()->dblVolts[lngLine], lineScale);
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

std::optional<double> SpectrumPlot::cursorFrequency() const
{
    const PlotTrace* trace = cursorTrace();
    return trace && lngCursorLine ? std::optional<double>(trace->dblFreq[*lngCursorLine]) : std::nullopt;
}

std::optional<double> SpectrumPlot::referenceFrequency() const
{
    const PlotTrace* trace = cursorTrace();
    return trace && lngReferenceLine ? std::optional<double>(trace->dblFreq[*lngReferenceLine]) : std::nullopt;
}

void SpectrumPlot::setLineScale(std::optional<engine::LineScale> scale)
{
    lineScale = scale;
    update();
    emit cursorChanged();
}

void SpectrumPlot::setLineTexts(LineText readable, LineText exact)
{
    lineReadable = std::move(readable);
    lineExact = std::move(exact);
    update();
}

void SpectrumPlot::setRmsTexts(RmsText readable, QString strExactUnit)
{
    rmsReadable = std::move(readable);
    strRmsUnit = std::move(strExactUnit);
    update();
}

std::optional<engine::CursorDelta> SpectrumPlot::cursorDelta() const
{
    const PlotTrace* trace = cursorTrace();
    if (!trace || !lngCursorLine || !lngReferenceLine) {
        return std::nullopt;
    }
    return engine::cursorDelta(trace->dblFreq, trace->dblVolts, *lngReferenceLine, *lngCursorLine, lineScale);
}

void SpectrumPlot::setRunningSpeed(std::optional<engine::RunningSpeed> newSpeed)
{
    speed = newSpeed;
    update();
    emit cursorChanged();
}

QStringList SpectrumPlot::readableLines() const
{
    const std::optional<double> dblCursor = cursorFrequency();
    if (!dblCursor) {
        return {};
    }
    const QString strCursor = tr("カーソル %1　%2").arg(frequencyText(*dblCursor), lineValueText(*lngCursorLine));
    const std::optional<engine::CursorDelta> delta = cursorDelta();
    if (!delta) {
        return {strCursor};
    }
    // One position a line, so the box stays narrow enough for the plot beside the legend.
    const QString strReference =
        tr("基準 %1　%2").arg(frequencyText(delta->dblFreqA), lineValueText(*lngReferenceLine));
    const QString strDifference =
        tr("Δ %1　%2").arg(frequencyText(delta->dblDeltaFreq), levelDifferenceText(delta->dblDeltaLevel));
    if (!delta->dblBandRms) {
        return {strReference, strCursor, strDifference};
    }
    // Which sums these are: the band counts every line's share, the end lines' tones only in part.
    const auto rmsText = [this](double dblRms) { return rmsReadable ? rmsReadable(dblRms) : voltsText(dblRms); };
    return {strReference, strCursor, strDifference,
            tr("帯域 RMS %1（%2 本の線のパワーの和）").arg(rmsText(*delta->dblBandRms)).arg(delta->lngBandLines),
            tr("2 トーンの和 %1（基準とカーソルの線をトーンとして）").arg(rmsText(*delta->dblToneSumRms))};
}

QStringList SpectrumPlot::readoutLines() const
{
    // Drawn in the plot only between two cursors: the cursor alone is read beside the plot.
    return lngReferenceLine ? readableLines() : QStringList{};
}

QRect SpectrumPlot::readoutArea() const
{
    QStringList strLines;
    return readoutBox(currentLayout(), fontMetrics(), strLines);
}

QString SpectrumPlot::readoutText() const
{
    QStringList strLines = readableLines();
    if (strLines.isEmpty()) {
        return {};
    }
    // The values as the files write them, to find or compute with.
    const QString strCursor =
        QStringLiteral("%1 Hz, %2").arg(generalText(*cursorFrequency()), lineExactText(*lngCursorLine));
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
        strValues += tr("；帯域 RMS %1 %3；2 トーンの和 %2 %3")
                         .arg(generalText(*delta->dblBandRms), generalText(*delta->dblToneSumRms), strRmsUnit);
    }
    strLines << strValues;
    return strLines.join(QLatin1Char('\n'));
}

} // namespace kestrix::ui
