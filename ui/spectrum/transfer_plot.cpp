// SPDX-License-Identifier: GPL-3.0-or-later
#include "transfer_plot.h"

#include "engine/view/plot_axis.h"

#include <QKeyEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <limits>

namespace kestrix::ui {
namespace {

constexpr int intPad = 8;               // px inside the legend
constexpr int intSwatch = 22;           // px of line sample before each legend entry
constexpr double dblCursorRadius = 3.5; // px
constexpr double dblMinLines = 4.0;     // the narrowest view, in line spacings
constexpr int intFadedAlpha = 60;       // of 255: a faded line's share of its curve's colour
constexpr double dblHalfTurn = 180.0;   // degrees: a wrapped phase jumps by more where it wraps
const QColor clrCursor(40, 40, 40, 150);
const QColor clrGuide(120, 120, 120);

} // namespace

TransferPlot::TransferPlot(QWidget* parent) : PlotFrame(parent)
{
    setMinimumWidth(240);
    fitTitle();
}

void TransferPlot::setLeastHeight(int intHeight)
{
    intLeastHeight = intHeight;
    fitTitle();
}

// Tall enough for the vertical title, drawn upwards beside the plot, to stand whole.
void TransferPlot::fitTitle()
{
    const QFontMetrics metrics = fontMetrics();
    const int intBelow = blnHorizontalLabels ? 4 * metrics.height() : 2 * metrics.height();
    setMinimumHeight(std::max(intLeastHeight, metrics.horizontalAdvance(strValueTitle) + intBelow));
}

void TransferPlot::setCurves(double dblDeltaFreq, std::vector<TransferCurve> curves, std::vector<bool> blnFaded)
{
    const bool blnEverything = !hasData() || showsEverything();
    const FrameView before = frameView();
    dblSpacing = dblDeltaFreq > 0.0 ? dblDeltaFreq : 1.0;
    plotCurves = std::move(curves);
    blnFadedLines = std::move(blnFaded);
    setLogFrequency(blnLogFreq); // the places of the new lines
    const std::size_t lngLines = dblAxisX.size();
    if (lngCursorLine && *lngCursorLine >= lngLines) {
        lngCursorLine.reset();
    }
    if (blnEverything || !hasData()) {
        resetFrameView();
    } else {
        applyFrameView(before);
    }
    update();
}

void TransferPlot::setValueAxis(const QString& strTitle, std::optional<engine::AxisRange> fixed,
                                std::vector<double> dblTicks)
{
    dblVerticalTicks = std::move(dblTicks);
    const bool blnRefit = fixed.has_value() != fixedValues.has_value() ||
                          (fixed && (fixed->dblLow != fixedValues->dblLow || fixed->dblHigh != fixedValues->dblHigh));
    strValueTitle = strTitle;
    fixedValues = fixed;
    fitTitle();
    if (blnRefit) {
        applyFrameView({frameView().x, valueBounds()});
    }
    update();
}

void TransferPlot::setGuide(std::optional<double> dblValue)
{
    dblGuide = dblValue;
    update();
}

void TransferPlot::setEmptyText(const QString& strText)
{
    strEmpty = strText;
    update();
}

void TransferPlot::setFrequencyLabels(bool blnLabels)
{
    blnHorizontalLabels = blnLabels;
    fitTitle();
    update();
}

void TransferPlot::setGroup(std::vector<const TransferPlot*> group)
{
    stacked = std::move(group);
    update();
}

void TransferPlot::setLogFrequency(bool blnLog)
{
    const bool blnChanged = blnLog != blnLogFreq;
    blnLogFreq = blnLog;
    const std::size_t lngLines = plotCurves.empty() ? 0 : plotCurves.front().dblValues.size();
    dblAxisX.resize(lngLines);
    for (std::size_t k = 0; k < lngLines; ++k) {
        // The product the file's frequency column is written from.
        const double dblFreq = static_cast<double>(k) * dblSpacing;
        dblAxisX[k] = blnLogFreq ? std::log10(dblFreq) : dblFreq; // 0 Hz: -inf, never drawn
    }
    if (blnChanged && hasData()) {
        // A view from 0 Hz starts at the first line on the logarithmic axis, and back again.
        engine::AxisRange range = frameView().x;
        const engine::AxisRange bounds = frequencyBounds();
        if (range.dblLow <= dblSpacing) {
            range.dblLow = bounds.dblLow;
        }
        applyFrameView({range, frameView().y});
    }
    update();
}

void TransferPlot::setFrequencyView(engine::AxisRange range)
{
    if (hasData()) {
        applyFrameView({range, frameView().y});
    }
}

void TransferPlot::resetView()
{
    resetFrameView();
}

void TransferPlot::setCursorLine(std::optional<std::size_t> lngLine)
{
    if (lngLine && dblAxisX.empty()) {
        lngLine.reset();
    }
    if (lngLine) {
        lngLine = std::clamp(*lngLine, firstLine(), dblAxisX.size() - 1);
        const double dblFreq = static_cast<double>(*lngLine) * dblSpacing;
        const engine::AxisRange range = frameView().x;
        if (dblFreq < range.dblLow || dblFreq > range.dblHigh) {
            // Brought into view with the span kept (the ratio of the ends on the logarithmic axis).
            const double dblShift = blnLogFreq ? dblFreq / std::sqrt(range.dblLow * range.dblHigh)
                                               : dblFreq - (range.dblLow + range.dblHigh) / 2.0;
            setFrequencyView(blnLogFreq ? engine::AxisRange{range.dblLow * dblShift, range.dblHigh * dblShift}
                                        : engine::AxisRange{range.dblLow + dblShift, range.dblHigh + dblShift});
        }
    }
    lngCursorLine = lngLine;
    update();
}

void TransferPlot::setReadout(const QStringList& strLines)
{
    strReadout = strLines;
    update();
}

QPointF TransferPlot::pointOf(double dblFreq, double dblValue) const
{
    const FrameLayout layout = currentLayout();
    return {layout.xOf(dblFreq), layout.yOf(dblValue)};
}

double TransferPlot::freqAt(double dblX) const
{
    return currentLayout().xAt(dblX);
}

FrameAxis TransferPlot::horizontalAxis() const
{
    return {tr("周波数 [Hz]"), blnLogFreq, true, 1.0, false};
}

FrameAxis TransferPlot::verticalAxis() const
{
    return {strValueTitle, false, false, 1.0, false};
}

bool TransferPlot::hasData() const
{
    const std::size_t lngFirst = firstLine();
    return std::any_of(plotCurves.begin(), plotCurves.end(), [lngFirst](const TransferCurve& curve) {
        return curve.dblValues.size() > lngFirst + 1 &&
               std::any_of(curve.dblValues.begin() + static_cast<std::ptrdiff_t>(lngFirst), curve.dblValues.end(),
                           [](double dblValue) { return std::isfinite(dblValue); });
    });
}

QString TransferPlot::emptyText() const
{
    return strEmpty;
}

std::size_t TransferPlot::firstLine() const
{
    return blnLogFreq ? 1 : 0;
}

engine::AxisRange TransferPlot::frequencyBounds() const
{
    const double dblLast = static_cast<double>(std::max<std::size_t>(dblAxisX.size(), 2) - 1) * dblSpacing;
    return {blnLogFreq ? dblSpacing : 0.0, std::max(dblLast, blnLogFreq ? 2.0 * dblSpacing : dblSpacing)};
}

engine::AxisRange TransferPlot::valueBounds() const
{
    if (fixedValues) {
        return *fixedValues;
    }
    double dblLow = std::numeric_limits<double>::infinity();
    double dblHigh = -dblLow;
    for (const TransferCurve& curve : plotCurves) {
        for (std::size_t k = firstLine(); k < curve.dblValues.size(); ++k) {
            if (std::isfinite(curve.dblValues[k])) {
                dblLow = std::min(dblLow, curve.dblValues[k]);
                dblHigh = std::max(dblHigh, curve.dblValues[k]);
            }
        }
    }
    if (!(dblHigh >= dblLow)) {
        return {0.0, 1.0};
    }
    // A little room above and below, so the highest and the lowest points stand clear of the frame.
    const double dblMargin = dblHigh > dblLow ? 0.05 * (dblHigh - dblLow) : std::max(1.0, 0.1 * std::abs(dblHigh));
    return {dblLow - dblMargin, dblHigh + dblMargin};
}

FrameView TransferPlot::fullView() const
{
    return {frequencyBounds(), valueBounds()};
}

FrameView TransferPlot::limitView(const FrameView& wanted) const
{
    const engine::AxisRange freq = frequencyBounds();
    const engine::AxisRange values = valueBounds();
    const double dblMinSpan = dblMinLines * dblSpacing;
    return {blnLogFreq ? engine::limitLogRange(wanted.x, freq, dblMinSpan)
                       : engine::limitRange(wanted.x, freq, dblMinSpan),
            engine::limitRange(wanted.y, values, 1e-6 * (values.dblHigh - values.dblLow))};
}

std::size_t TransferPlot::lineNear(double dblFreq) const
{
    if (dblAxisX.empty()) {
        return 0;
    }
    const double dblLine = std::round(std::max(0.0, dblFreq) / dblSpacing);
    return std::clamp(static_cast<std::size_t>(std::min(dblLine, 1e15)), firstLine(), dblAxisX.size() - 1);
}

void TransferPlot::plotClicked(const QPointF& point, Qt::KeyboardModifiers /*modifiers*/)
{
    if (hasData()) {
        emit lineClicked(lineNear(freqAt(point.x())));
    }
}

bool TransferPlot::plotKey(QKeyEvent* event)
{
    if (!hasData() || (event->key() != Qt::Key_Left && event->key() != Qt::Key_Right)) {
        return false;
    }
    const std::ptrdiff_t lngStep = (event->modifiers() & Qt::ShiftModifier) ? 10 : 1;
    emit cursorStepped(event->key() == Qt::Key_Left ? -lngStep : lngStep);
    return true;
}

double TransferPlot::keyZoomCentre() const
{
    return lngCursorLine ? static_cast<double>(*lngCursorLine) * dblSpacing : PlotFrame::keyZoomCentre();
}

int TransferPlot::verticalLabelRoom(const QFontMetrics& metrics, int intOwnWidth) const
{
    int intWidth = intOwnWidth;
    for (const TransferPlot* other : stacked) {
        if (other != this && other->hasData()) {
            intWidth = std::max(intWidth, other->labelWidthFor(other->rect(), metrics));
        }
    }
    return intWidth;
}

void TransferPlot::paintData(QPainter& painter, const FrameLayout& layout) const
{
    painter.save();
    painter.setClipRect(layout.plot.adjusted(0, 0, 1, 1));
    if (dblGuide) {
        painter.setPen(QPen(clrGuide, 1, Qt::DashLine));
        const double dblY = layout.yOf(*dblGuide);
        painter.drawLine(QPointF(layout.plot.left(), dblY), QPointF(layout.plot.right(), dblY));
    }
    // The cursor beneath the curves: the values it points at stay in sight.
    drawCursor(painter, layout);
    painter.setRenderHint(QPainter::Antialiasing, true);
    for (const TransferCurve& curve : plotCurves) {
        drawCurve(painter, layout, curve);
    }
    painter.restore();
    drawLegend(painter, layout);
}

// The curve in runs of lines alike (trusted or faded, with values), each run joined to the next line so
// the curve stays whole; a wrapped phase is not joined where it wraps.
void TransferPlot::drawCurve(QPainter& painter, const FrameLayout& layout, const TransferCurve& curve) const
{
    const std::span<const double> dblValues = curve.dblValues;
    const std::size_t lngLines = std::min(dblValues.size(), dblAxisX.size());
    if (lngLines == 0) {
        return;
    }
    const auto faded = [this](std::size_t k) { return k < blnFadedLines.size() && blnFadedLines[k]; };
    const auto joined = [&](std::size_t k) {
        return k + 1 < lngLines && std::isfinite(dblValues[k + 1]) &&
               !(curve.blnWrapped && std::abs(dblValues[k + 1] - dblValues[k]) > dblHalfTurn);
    };
    // The lines from the one before the view to the one after it.
    const double dblLowLine = std::floor(layout.view.x.dblLow / dblSpacing) - 1.0;
    const double dblHighLine = std::ceil(layout.view.x.dblHigh / dblSpacing) + 1.0;
    std::size_t k = std::max(firstLine(), static_cast<std::size_t>(std::clamp(dblLowLine, 0.0, 1e15)));
    const std::size_t lngEnd =
        std::min(lngLines - 1, static_cast<std::size_t>(std::clamp(dblHighLine, 0.0, static_cast<double>(lngLines))));
    QColor clrFaded = curve.color;
    clrFaded.setAlpha(intFadedAlpha);
    while (k <= lngEnd) {
        if (!std::isfinite(dblValues[k])) {
            ++k;
            continue;
        }
        std::size_t lngRunEnd = k;
        while (lngRunEnd < lngEnd && joined(lngRunEnd) && faded(lngRunEnd + 1) == faded(k)) {
            ++lngRunEnd;
        }
        const std::size_t lngDrawnEnd = lngRunEnd < lngEnd && joined(lngRunEnd) ? lngRunEnd + 1 : lngRunEnd;
        drawRun(painter, layout, curve, k, lngDrawnEnd, faded(k) ? clrFaded : curve.color);
        k = lngRunEnd + 1;
    }
}

void TransferPlot::drawRun(QPainter& painter, const FrameLayout& layout, const TransferCurve& curve,
                           std::size_t lngFirst, std::size_t lngLast, const QColor& color) const
{
    const QRect& plot = layout.plot;
    const double dblLow = blnLogFreq ? std::log10(layout.view.x.dblLow) : layout.view.x.dblLow;
    const double dblHigh = blnLogFreq ? std::log10(layout.view.x.dblHigh) : layout.view.x.dblHigh;
    const std::size_t lngCount = lngLast - lngFirst + 1;
    const std::span<const double> dblX = std::span<const double>(dblAxisX).subspan(lngFirst, lngCount);
    const std::span<const double> dblY = std::span<const double>(curve.dblValues).subspan(lngFirst, lngCount);
    const auto lngColumns = static_cast<std::size_t>(std::max(1, plot.width()));
    const std::vector<engine::TracePoint> points = engine::decimateTrace(dblX, dblY, dblLow, dblHigh, lngColumns);
    QPolygonF polygon;
    polygon.reserve(static_cast<qsizetype>(points.size()));
    for (const engine::TracePoint& point : points) {
        polygon << QPointF(plot.left() + (point.dblX - dblLow) / (dblHigh - dblLow) * plot.width(),
                           layout.yOf(point.dblY));
    }
    painter.setPen(QPen(color, 1.5));
    if (polygon.size() == 1) {
        painter.drawPoint(polygon.front());
    } else {
        painter.drawPolyline(polygon);
    }
}

void TransferPlot::drawCursor(QPainter& painter, const FrameLayout& layout) const
{
    if (!lngCursorLine) {
        return;
    }
    const double dblX = layout.xOf(static_cast<double>(*lngCursorLine) * dblSpacing);
    painter.setPen(QPen(clrCursor, 1));
    painter.drawLine(QPointF(dblX, layout.plot.top()), QPointF(dblX, layout.plot.bottom()));
    painter.setRenderHint(QPainter::Antialiasing, true);
    for (const TransferCurve& curve : plotCurves) {
        if (*lngCursorLine < curve.dblValues.size() && std::isfinite(curve.dblValues[*lngCursorLine])) {
            painter.setBrush(curve.color);
            painter.drawEllipse(QPointF(dblX, layout.yOf(curve.dblValues[*lngCursorLine])), dblCursorRadius,
                                dblCursorRadius);
        }
    }
    painter.setBrush(Qt::NoBrush);
}

QRect TransferPlot::legendBox(const QRect& plot, const QFontMetrics& metrics) const
{
    if (plotCurves.size() < 2) {
        return {};
    }
    int intWidth = 0;
    for (const TransferCurve& curve : plotCurves) {
        intWidth = std::max(intWidth, metrics.horizontalAdvance(curve.strName));
    }
    const QSize size(intSwatch + intPad + intWidth + 2 * intPad,
                     static_cast<int>(plotCurves.size()) * metrics.height() + intPad);
    return {plot.right() - intPad - size.width(), plot.top() + intPad, size.width(), size.height()};
}

void TransferPlot::drawLegend(QPainter& painter, const FrameLayout& layout) const
{
    const QFontMetrics metrics = painter.fontMetrics();
    const QRect box = legendBox(layout.plot, metrics);
    if (box.isEmpty()) {
        return;
    }
    painter.save();
    painter.setPen(QColor(200, 200, 200));
    painter.setBrush(QColor(255, 255, 255, 225));
    painter.drawRect(box);
    int intY = box.top() + intPad / 2 + metrics.ascent();
    for (const TransferCurve& curve : plotCurves) {
        const int intMiddle = intY - metrics.ascent() / 2;
        painter.setPen(QPen(curve.color, 2));
        painter.drawLine(box.left() + intPad, intMiddle, box.left() + intPad + intSwatch, intMiddle);
        painter.setPen(Qt::black);
        painter.drawText(box.left() + 2 * intPad + intSwatch, intY, curve.strName);
        intY += metrics.height();
    }
    painter.restore();
}

std::vector<QRect> TransferPlot::keptClear(const FrameLayout& layout, const QFontMetrics& metrics) const
{
    const QRect box = legendBox(layout.plot, metrics);
    return box.isEmpty() ? std::vector<QRect>{} : std::vector<QRect>{box};
}

// The points of the curves a box inside the plot would hide.
double TransferPlot::hiddenData(const QRect& box, const FrameLayout& layout) const
{
    if (dblAxisX.empty()) {
        return 0.0;
    }
    const std::size_t lngFirst = lineNear(layout.xAt(box.left()));
    const std::size_t lngLast = lineNear(layout.xAt(box.right() + 1));
    double dblHidden = 0.0;
    for (const TransferCurve& curve : plotCurves) {
        for (std::size_t k = lngFirst; k <= lngLast && k < curve.dblValues.size(); ++k) {
            const double dblY = layout.yOf(curve.dblValues[k]);
            dblHidden += std::isfinite(curve.dblValues[k]) && dblY >= box.top() && dblY <= box.bottom() ? 1.0 : 0.0;
        }
    }
    return dblHidden;
}

} // namespace kestrix::ui
