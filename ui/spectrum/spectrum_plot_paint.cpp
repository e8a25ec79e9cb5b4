// The plot's drawing: grid and axes, the curves, the cursor, the harmonic markers and the legend.

#include "engine/plot_axis.h"
#include "engine/plot_view.h"
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
    // The cursor and the markers go beneath the curves: the curve they point at stays in sight.
    drawGrid(painter, layout);
    drawCursor(painter, layout);
    drawMarkers(painter, layout);
    drawTraces(painter, layout);
    drawMarkerLabels(painter, layout);
    drawLegend(painter, layout);
    painter.restore();
}

void SpectrumPlot::drawGrid(QPainter& painter, const Layout& layout) const
{
    const QRect& plot = layout.plot;
    const QFontMetrics metrics = painter.fontMetrics();
    const double dblFreqSpan = plotView.dblHighFreq - plotView.dblLowFreq;
    const double dblAmpSpan = plotView.dblHighAmp - plotView.dblLowAmp;
    if (bandLimits) {
        const double dblLeft = plot.left() + (bandLimits->first - plotView.dblLowFreq) / dblFreqSpan * plot.width();
        const double dblRight = plot.left() + (bandLimits->second - plotView.dblLowFreq) / dblFreqSpan * plot.width();
        const QRectF band(QPointF(std::max<double>(dblLeft, plot.left()), plot.top()),
                          QPointF(std::min<double>(dblRight, plot.right() + 1), plot.bottom() + 1));
        if (band.width() > 0) {
            painter.fillRect(band, clrBand);
        }
    }
    for (std::size_t i = 0; i < layout.xTicks.dblValues.size(); ++i) {
        const double dblX =
            plot.left() + (layout.xTicks.dblValues[i] - plotView.dblLowFreq) / dblFreqSpan * plot.width();
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
    const QString strFreqTitle = tr("周波数 [Hz]");
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
    const double dblFreqScale = plot.width() / (plotView.dblHighFreq - plotView.dblLowFreq);
    const double dblAmpScale = plot.height() / (plotView.dblHighAmp - plotView.dblLowAmp);
    const auto lngColumns = static_cast<std::size_t>(std::max(1, plot.width()));
    const auto pixelRow = [&](double dblVolts) {
        const double dblY = plot.bottom() - (ampOf(dblVolts) - plotView.dblLowAmp) * dblAmpScale;
        return std::clamp(dblY, plot.top() - dblMaxPixels, plot.bottom() + dblMaxPixels);
    };
    const auto first = std::lower_bound(trace.dblFreq.begin(), trace.dblFreq.end(), plotView.dblLowFreq);
    const auto last = std::upper_bound(first, trace.dblFreq.end(), plotView.dblHighFreq);
    if (static_cast<std::size_t>(last - first) > lngColumns) {
        // More lines than pixel columns: one bar per column. Slanted strokes a pixel wide between lines
        // would show a lone line as a bar and a half.
        painter.setRenderHint(QPainter::Antialiasing, false);
        for (const engine::ColumnBar& bar :
             engine::columnBars(trace.dblFreq, trace.dblVolts, plotView.dblLowFreq, plotView.dblHighFreq, lngColumns)) {
            const auto intTop = static_cast<int>(std::lround(pixelRow(bar.dblHigh)));
            const auto intBottom = static_cast<int>(std::lround(pixelRow(bar.dblLow)));
            painter.fillRect(
                QRect(plot.left() + static_cast<int>(bar.lngColumn), intTop, 1, std::max(1, intBottom - intTop + 1)),
                trace.color);
        }
        return;
    }
    const std::vector<engine::TracePoint> reduced =
        engine::decimateTrace(trace.dblFreq, trace.dblVolts, plotView.dblLowFreq, plotView.dblHighFreq, lngColumns);
    std::vector<QPointF> points;
    points.reserve(reduced.size());
    for (const engine::TracePoint& point : reduced) {
        // Each line at the centre of its pixel column: a spike on a column edge would be drawn as two
        // pale columns, whatever width the plot has.
        const double dblX = plot.left() + (point.dblX - plotView.dblLowFreq) * dblFreqScale;
        points.emplace_back(std::clamp(std::floor(dblX), plot.left() - dblMaxPixels, plot.right() + dblMaxPixels) + 0.5,
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
    const double dblX = plot.left() + (trace->dblFreq[*lngCursorLine] - plotView.dblLowFreq) /
                                          (plotView.dblHighFreq - plotView.dblLowFreq) * plot.width();
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

void SpectrumPlot::drawMarkers(QPainter& painter, const Layout& layout) const
{
    const QRect& plot = layout.plot;
    const double dblFreqScale = plot.width() / (plotView.dblHighFreq - plotView.dblLowFreq);
    painter.save();
    painter.setClipRect(plot.adjusted(0, 0, 1, 1));
    painter.setPen(QPen(clrHarmonic, 1, Qt::DashLine));
    for (const double dblHarmonic : dblHarmonics) {
        const double dblX = plot.left() + (dblHarmonic - plotView.dblLowFreq) * dblFreqScale;
        painter.drawLine(QPointF(dblX, plot.top()), QPointF(dblX, plot.bottom()));
    }
    painter.restore();
}

void SpectrumPlot::drawMarkerLabels(QPainter& painter, const Layout& layout) const
{
    const QRect& plot = layout.plot;
    const QFontMetrics metrics = painter.fontMetrics();
    const double dblFreqScale = plot.width() / (plotView.dblHighFreq - plotView.dblLowFreq);
    // Label only every n-th marker when they crowd together.
    const double dblSpacing = dblHarmonics.size() > 1 ? (dblHarmonics[1] - dblHarmonics[0]) * dblFreqScale : 1e9;
    const auto lngLabelEvery = static_cast<std::size_t>(
        std::max(1.0, std::ceil(metrics.horizontalAdvance(QStringLiteral("10x ")) / dblSpacing)));
    const QRect legend = legendBox(plot, metrics);
    painter.save();
    painter.setClipRect(plot.adjusted(0, 0, 1, 1));
    painter.setPen(clrHarmonic);
    for (std::size_t k = 0; k < dblHarmonics.size(); ++k) {
        if ((k + 1) % lngLabelEvery != 0 && k != 0) {
            continue;
        }
        // A label that would hide under the legend goes just below it.
        const double dblX = plot.left() + (dblHarmonics[k] - plotView.dblLowFreq) * dblFreqScale;
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
