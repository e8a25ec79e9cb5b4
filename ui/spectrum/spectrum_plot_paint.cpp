// SPDX-License-Identifier: GPL-3.0-or-later
// The plot's drawing: grid and axes, the shaded lines, the curves, the cursors, the harmonic markers,
// the readout between the cursors and the legend.

#include "engine/view/plot_axis.h"
#include "engine/view/plot_view.h"
#include "spectrum_plot.h"
#include "spectrum_plot_layout.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace kestrix::ui {
namespace {

constexpr int intSwatch = 22;           // px of line sample before each legend entry
constexpr double dblMaxPixels = 1e6;    // points beyond this distance are clamped before drawing
constexpr double dblCursorRadius = 4.0; // px
const QColor clrGrid(225, 225, 225);
const QColor clrAxis(90, 90, 90);
const QColor clrBand(255, 236, 179, 150);
const QColor clrHarmonic(180, 30, 30);
// Beneath the curves, and pale where it crosses the grid, so it never hides what it points at.
const QColor clrCursor(40, 40, 40, 150);
const QColor clrReference(120, 50, 170, 170);
const QColor clrDeltaBand(120, 50, 170, 22); // the band between the cursors whose RMS the readout gives
const QColor clrMinorGrid(240, 240, 240);
constexpr int intMinShadeWidth = 3; // px: a shaded line stays visible however many lines a pixel holds

} // namespace

void SpectrumPlot::paintPlot(QPainter& painter, const QRect& area) const
{
    painter.save();
    painter.setClipRect(area);
    painter.fillRect(area, Qt::white);
    const Layout layout = layoutFor(area, painter.fontMetrics());
    if (plotTraces.empty()) {
        painter.setPen(QColor(120, 120, 120));
        painter.drawText(area, Qt::AlignCenter | Qt::TextWordWrap,
                         tr("FFT を実行するか「録音を開く...」で録音を開くと、ここにスペクトルが表示されます。\n"
                            "参照スペクトルのファイルを開いて重ねることもできます。"));
        painter.restore();
        return;
    }
    // The shading, the cursors and the markers go beneath the curves: the curve they point at stays in
    // sight.
    drawGrid(painter, layout);
    drawRoles(painter, layout);
    drawReference(painter, layout);
    drawCursor(painter, layout);
    drawMarkers(painter, layout);
    drawTraces(painter, layout);
    drawMarkerLabels(painter, layout);
    drawLegend(painter, layout);
    drawReadout(painter, layout);
    painter.restore();
}

void SpectrumPlot::drawGrid(QPainter& painter, const Layout& layout) const
{
    const QRect& plot = layout.plot;
    const QFontMetrics metrics = painter.fontMetrics();
    const double dblAmpSpan = plotView.dblHighAmp - plotView.dblLowAmp;
    if (bandLimits) {
        const QRectF band(
            QPointF(std::max<double>(layout.xOf(bandLimits->first), plot.left()), plot.top()),
            QPointF(std::min<double>(layout.xOf(bandLimits->second), plot.right() + 1), plot.bottom() + 1));
        if (band.width() > 0) {
            painter.fillRect(band, clrBand);
        }
    }
    painter.setPen(clrMinorGrid);
    for (const double dblMinor : layout.dblMinorX) {
        const double dblX = layout.xOf(dblMinor);
        painter.drawLine(QPointF(dblX, plot.top()), QPointF(dblX, plot.bottom()));
    }
    for (std::size_t i = 0; i < layout.xTicks.dblValues.size(); ++i) {
        const double dblX = layout.xOf(layout.xTicks.dblValues[i]);
        painter.setPen(clrGrid);
        painter.drawLine(QPointF(dblX, plot.top()), QPointF(dblX, plot.bottom()));
        painter.setPen(clrAxis);
        painter.drawLine(QPointF(dblX, plot.bottom()), QPointF(dblX, plot.bottom() + intTickLength));
        const QString& strLabel = layout.xTicks.strLabels[i];
        const int intWidth = metrics.horizontalAdvance(strLabel);
        painter.drawText(QPointF(dblX - intWidth / 2.0, plot.bottom() + intTickLength + metrics.ascent() + 2),
                         strLabel);
    }
    for (std::size_t i = 0; i < layout.yTicks.dblValues.size(); ++i) {
        const double dblY =
            plot.bottom() - (layout.yTicks.dblValues[i] - plotView.dblLowAmp) / dblAmpSpan * plot.height();
        painter.setPen(clrGrid);
        painter.drawLine(QPointF(plot.left(), dblY), QPointF(plot.right(), dblY));
        painter.setPen(clrAxis);
        painter.drawLine(QPointF(plot.left() - intTickLength, dblY), QPointF(plot.left(), dblY));
        const QString& strLabel = layout.yTicks.strLabels[i];
        const int intWidth = metrics.horizontalAdvance(strLabel);
        painter.drawText(QPointF(plot.left() - intTickLength - 2 - intWidth, dblY + metrics.ascent() / 2.0 - 1),
                         strLabel);
    }
    painter.setPen(clrAxis);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(plot);
    drawAxisTitles(painter, layout);
}

void SpectrumPlot::drawAxisTitles(QPainter& painter, const Layout& layout) const
{
    const QRect& plot = layout.plot;
    const QFontMetrics metrics = painter.fontMetrics();
    const QString strFreqTitle = frequencyAxisTitle();
    painter.drawText(QPointF(plot.center().x() - metrics.horizontalAdvance(strFreqTitle) / 2.0,
                             layout.area.bottom() - intPad - metrics.descent()),
                     strFreqTitle);
    const QString strAmpTitle = amplitudeAxisTitle();
    painter.save();
    painter.translate(layout.area.left() + intPad + metrics.ascent(),
                      plot.center().y() + metrics.horizontalAdvance(strAmpTitle) / 2.0);
    painter.rotate(-90);
    painter.drawText(QPointF(0, 0), strAmpTitle);
    painter.restore();
}

void SpectrumPlot::drawTraces(QPainter& painter, const Layout& layout) const
{
    painter.save();
    painter.setClipRect(layout.plot.adjusted(0, 0, 1, 1));
    // References first, so the measured curves stay on top.
    for (const bool blnReferencePass : {true, false}) {
        for (const PlotTrace& trace : plotTraces) {
            if (trace.blnReference == blnReferencePass) {
                drawTrace(painter, layout, trace);
            }
        }
    }
    painter.restore();
}

void SpectrumPlot::drawTrace(QPainter& painter, const Layout& layout, const PlotTrace& trace) const
{
    const QRect& plot = layout.plot;
    // On the logarithmic axis the trace is drawn from its lines above 0 Hz against their logarithms.
    std::span<const double> dblX = trace.dblFreq;
    std::span<const double> dblY = trace.dblVolts;
    if (blnLogFreq) {
        const LogFrequencies& logs = logFreqs[static_cast<std::size_t>(&trace - plotTraces.data())];
        dblX = logs.dblLogFreq;
        dblY = dblY.subspan(logs.lngFirst);
    }
    const double dblLow = layout.dblLowAxis;
    const double dblHigh = layout.dblHighAxis;
    const double dblFreqScale = plot.width() / (dblHigh - dblLow);
    const double dblAmpScale = plot.height() / (plotView.dblHighAmp - plotView.dblLowAmp);
    const auto lngColumns = static_cast<std::size_t>(std::max(1, plot.width()));
    const auto pixelRow = [&](double dblVolts) {
        const double dblRow = plot.bottom() - (ampOf(dblVolts) - plotView.dblLowAmp) * dblAmpScale;
        return std::clamp(dblRow, plot.top() - dblMaxPixels, plot.bottom() + dblMaxPixels);
    };
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

void SpectrumPlot::drawCursor(QPainter& painter, const Layout& layout) const
{
    const PlotTrace* trace = cursorTrace();
    if (!trace || !lngCursorLine) {
        return;
    }
    const QRect& plot = layout.plot;
    const double dblX = layout.xOf(trace->dblFreq[*lngCursorLine]);
    const double dblAmp =
        (ampOf(trace->dblVolts[*lngCursorLine]) - plotView.dblLowAmp) / (plotView.dblHighAmp - plotView.dblLowAmp);
    const double dblY = plot.bottom() - std::clamp(dblAmp, -1.0, 2.0) * plot.height();
    painter.save();
    painter.setClipRect(plot.adjusted(0, 0, 1, 1));
    painter.setPen(QPen(clrCursor, 1));
    painter.drawLine(QPointF(dblX, plot.top()), QPointF(dblX, plot.bottom()));
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(clrCursor, 2));
    painter.drawEllipse(QPointF(dblX, dblY), dblCursorRadius, dblCursorRadius);
    painter.restore();
}

void SpectrumPlot::drawRoles(QPainter& painter, const Layout& layout) const
{
    const QRect& plot = layout.plot;
    painter.save();
    painter.setClipRect(plot.adjusted(0, 0, 1, 1));
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
    painter.restore();
}

void SpectrumPlot::drawReference(QPainter& painter, const Layout& layout) const
{
    const PlotTrace* trace = cursorTrace();
    if (!trace || !lngReferenceLine) {
        return;
    }
    const QRect& plot = layout.plot;
    const double dblX = layout.xOf(trace->dblFreq[*lngReferenceLine]);
    painter.save();
    painter.setClipRect(plot.adjusted(0, 0, 1, 1));
    if (lngCursorLine) {
        const double dblCursorX = layout.xOf(trace->dblFreq[*lngCursorLine]);
        painter.fillRect(QRectF(QPointF(std::min(dblX, dblCursorX), plot.top()),
                                QPointF(std::max(dblX, dblCursorX) + 1, plot.bottom() + 1)),
                         clrDeltaBand);
    }
    painter.setPen(QPen(clrReference, 1, Qt::DashLine));
    painter.drawLine(QPointF(dblX, plot.top()), QPointF(dblX, plot.bottom()));
    const QString strLabel = tr("基準");
    painter.setPen(clrReference);
    painter.drawText(QPointF(dblX + 3, plot.bottom() - painter.fontMetrics().descent() - 2), strLabel);
    painter.restore();
}

void SpectrumPlot::drawReadout(QPainter& painter, const Layout& layout) const
{
    if (!lngReferenceLine) {
        return;
    }
    const QStringList strLines = readoutLines();
    const QFontMetrics metrics = painter.fontMetrics();
    int intWidth = 0;
    for (const QString& strLine : strLines) {
        intWidth = std::max(intWidth, metrics.horizontalAdvance(strLine));
    }
    QRect box(layout.plot.left() + intPad, layout.plot.top() + intPad, intWidth + 2 * intPad,
              static_cast<int>(strLines.size()) * metrics.height() + intPad);
    // A readout as wide as the legend's corner goes below the legend, so neither hides the other.
    const QRect legend = legendBox(layout.plot, metrics);
    if (!plotTraces.empty() && box.intersects(legend)) {
        box.moveTop(legend.bottom() + intPad);
    }
    painter.save();
    painter.setClipRect(layout.plot);
    painter.setPen(QColor(170, 170, 170));
    painter.setBrush(QColor(255, 255, 255, 225));
    painter.drawRect(box);
    painter.setPen(Qt::black);
    int intY = box.top() + intPad / 2 + metrics.ascent();
    for (const QString& strLine : strLines) {
        painter.drawText(QPointF(box.left() + intPad, intY), strLine);
        intY += metrics.height();
    }
    painter.restore();
}

void SpectrumPlot::drawMarkers(QPainter& painter, const Layout& layout) const
{
    const QRect& plot = layout.plot;
    painter.save();
    painter.setClipRect(plot.adjusted(0, 0, 1, 1));
    painter.setPen(QPen(clrHarmonic, 1, Qt::DashLine));
    for (const double dblHarmonic : dblHarmonics) {
        const double dblX = layout.xOf(dblHarmonic);
        painter.drawLine(QPointF(dblX, plot.top()), QPointF(dblX, plot.bottom()));
    }
    painter.restore();
}

void SpectrumPlot::drawMarkerLabels(QPainter& painter, const Layout& layout) const
{
    const QRect& plot = layout.plot;
    const QFontMetrics metrics = painter.fontMetrics();
    // Label only every n-th marker when they crowd together (on the logarithmic axis the last ones
    // crowd most).
    const std::size_t lngCount = dblHarmonics.size();
    const double dblSpacing =
        lngCount > 1 ? layout.xOf(dblHarmonics[lngCount - 1]) - layout.xOf(dblHarmonics[lngCount - 2]) : 1e9;
    // Markers far off a logarithmic view meet at its edge: the count bounds the stride.
    const double dblEvery = std::ceil(metrics.horizontalAdvance(QStringLiteral("10x ")) / std::max(dblSpacing, 1e-9));
    const auto lngLabelEvery =
        static_cast<std::size_t>(std::clamp(dblEvery, 1.0, static_cast<double>(std::max<std::size_t>(lngCount, 1))));
    const QRect legend = legendBox(plot, metrics);
    painter.save();
    painter.setClipRect(plot.adjusted(0, 0, 1, 1));
    painter.setPen(clrHarmonic);
    for (std::size_t k = 0; k < dblHarmonics.size(); ++k) {
        if ((k + 1) % lngLabelEvery != 0 && k != 0) {
            continue;
        }
        // A label that would hide under the legend goes just below it.
        const double dblX = layout.xOf(dblHarmonics[k]);
        const QString strLabel = QStringLiteral("%1x").arg(k + 1);
        const QRect label(static_cast<int>(dblX) + 3, plot.top() + 2, metrics.horizontalAdvance(strLabel),
                          metrics.height());
        const int intTop = label.intersects(legend) ? legend.bottom() + 2 : label.top();
        painter.drawText(QPointF(label.left(), intTop + metrics.ascent()), strLabel);
    }
    painter.restore();
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

void SpectrumPlot::drawLegend(QPainter& painter, const Layout& layout) const
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

void SpectrumPlot::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    paintPlot(painter, rect());
    if (drag == Drag::Box) {
        painter.setPen(QPen(QColor(30, 90, 200), 1, Qt::DashLine));
        painter.setBrush(QColor(30, 90, 200, 30));
        painter.drawRect(QRect(ptDragStart, ptDragNow).normalized());
    }
    if (hasFocus()) {
        painter.setPen(QPen(palette().highlight().color(), 1, Qt::DotLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

} // namespace kestrix::ui
