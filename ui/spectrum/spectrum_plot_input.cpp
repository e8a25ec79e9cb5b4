// SPDX-License-Identifier: GPL-3.0-or-later
// The plot's mouse and keyboard: box zoom, cursor clicks, pan, wheel zoom and keys.

#include "engine/view/plot_axis.h"
#include "engine/view/plot_view.h"
#include "spectrum_plot.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace kestrix::ui {
namespace {

constexpr int intDragThreshold = 4;  // px a press must move before it becomes a box zoom
constexpr double dblPickReach = 3.0; // px each side of a click in which the highest line is read
constexpr double dblWheelStep = 0.8; // span factor per wheel notch (zoom in)

} // namespace

void SpectrumPlot::mousePressEvent(QMouseEvent* event)
{
    ptDragStart = event->position().toPoint();
    ptDragNow = ptDragStart;
    dragStartView = plotView;
    if (event->button() == Qt::LeftButton) {
        drag = Drag::Box;
        lngCursorBeforePress = lngCursorLine;
        blnPeakBeforePress = blnCursorOnPeak;
        lngPressTime = event->timestamp();
    } else if (event->button() == Qt::RightButton || event->button() == Qt::MiddleButton) {
        drag = Drag::Pan;
        setCursor(Qt::ClosedHandCursor);
    }
}

void SpectrumPlot::mouseMoveEvent(QMouseEvent* event)
{
    ptDragNow = event->position().toPoint();
    if (drag == Drag::Pan) {
        const QRect plot = plotArea();
        // Along the frequency axis as drawn: by a ratio on the logarithmic one.
        const double dblLow = axisOf(dragStartView.dblLowFreq);
        const double dblHigh = axisOf(dragStartView.dblHighFreq);
        const double dblFreqShift = (ptDragNow.x() - ptDragStart.x()) * (dblHigh - dblLow) / plot.width();
        const double dblAmpShift =
            (ptDragNow.y() - ptDragStart.y()) * (dragStartView.dblHighAmp - dragStartView.dblLowAmp) / plot.height();
        applyView({freqOfAxis(dblLow - dblFreqShift), freqOfAxis(dblHigh - dblFreqShift),
                   dragStartView.dblLowAmp + dblAmpShift, dragStartView.dblHighAmp + dblAmpShift});
    }
    update();
}

void SpectrumPlot::mouseReleaseEvent(QMouseEvent* event)
{
    const Drag ended = drag;
    drag = Drag::None;
    unsetCursor();
    if (ended != Drag::Box || event->button() != Qt::LeftButton) {
        update();
        return;
    }
    const QRect box = QRect(ptDragStart, event->position().toPoint()).normalized();
    if (box.width() < intDragThreshold && box.height() < intDragThreshold) {
        if (event->modifiers() & Qt::ShiftModifier) {
            bool blnHighest = false;
            setReferenceLine(lineAt(event->position().x(), blnHighest));
        } else {
            placeCursorAt(event->position().x());
        }
        return;
    }
    const QRect clipped = box.intersected(plotArea());
    if (clipped.width() >= intDragThreshold && clipped.height() >= intDragThreshold) {
        setView({freqAt(clipped.left()), freqAt(clipped.right()), ampAt(clipped.bottom()), ampAt(clipped.top())});
    }
    update();
}

std::optional<std::size_t> SpectrumPlot::lineAt(double dblX, bool& blnHighest) const
{
    const PlotTrace* trace = cursorTrace();
    if (!trace) {
        return std::nullopt;
    }
    // At 65536 points a pixel column holds about 39 lines: what is drawn where the click lands is the
    // highest of them, not the one nearest by frequency.
    const double dblReach = (freqAt(dblX + dblPickReach) - freqAt(dblX - dblPickReach)) / 2.0;
    const engine::PickedLine picked = engine::pickLine(trace->dblFreq, trace->dblVolts, freqAt(dblX), dblReach);
    blnHighest = picked.blnHighest;
    return picked.lngIndex;
}

void SpectrumPlot::placeCursorAt(double dblX)
{
    bool blnHighest = false;
    const std::optional<std::size_t> lngLine = lineAt(dblX, blnHighest);
    if (!lngLine) {
        return;
    }
    setCursorLine(lngLine);
    blnCursorOnPeak = blnHighest;
    emit cursorChanged();
}

void SpectrumPlot::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        return;
    }
    // The first click of the two has moved the cursor: put it back, then show everything.
    const auto lngInterval = static_cast<quint64>(QApplication::doubleClickInterval());
    if (event->timestamp() >= lngPressTime && event->timestamp() - lngPressTime <= lngInterval) {
        const bool blnPeak = blnPeakBeforePress;
        setCursorLine(lngCursorBeforePress);
        blnCursorOnPeak = blnPeak && lngCursorLine.has_value();
        emit cursorChanged();
    }
    resetView();
}

void SpectrumPlot::zoomFreq(double dblCentre, double dblFactor)
{
    // About the centre as drawn: on the logarithmic axis the ratios to it shrink.
    const double dblAxisCentre = blnLogFreq && !(dblCentre > 0.0) ? axisOf(plotView.dblLowFreq) : axisOf(dblCentre);
    const double dblLow = dblAxisCentre - (dblAxisCentre - axisOf(plotView.dblLowFreq)) * dblFactor;
    const double dblHigh = dblLow + (axisOf(plotView.dblHighFreq) - axisOf(plotView.dblLowFreq)) * dblFactor;
    PlotView zoomed = plotView;
    zoomed.dblLowFreq = freqOfAxis(dblLow);
    zoomed.dblHighFreq = freqOfAxis(dblHigh);
    applyView(zoomed);
}

void SpectrumPlot::zoomAmp(double dblCentre, double dblFactor)
{
    PlotView zoomed = plotView;
    zoomed.dblLowAmp = dblCentre - (dblCentre - plotView.dblLowAmp) * dblFactor;
    zoomed.dblHighAmp = dblCentre + (plotView.dblHighAmp - dblCentre) * dblFactor;
    applyView(zoomed);
}

void SpectrumPlot::wheelEvent(QWheelEvent* event)
{
    constexpr double dblNotch = 120.0; // angle delta of one wheel notch
    const double dblSteps = event->angleDelta().y() / dblNotch;
    if (dblSteps == 0.0 || plotTraces.empty()) {
        return;
    }
    const double dblFactor = std::pow(dblWheelStep, dblSteps);
    const QPointF position = event->position();
    if (event->modifiers() & Qt::ControlModifier) {
        zoomAmp(ampAt(position.y()), dblFactor);
    } else {
        zoomFreq(freqAt(position.x()), dblFactor);
    }
    event->accept();
}

void SpectrumPlot::moveCursorBy(std::ptrdiff_t lngLines)
{
    const PlotTrace* trace = cursorTrace();
    if (!trace) {
        return;
    }
    const auto lngLast = static_cast<std::ptrdiff_t>(trace->dblFreq.size()) - 1;
    const std::ptrdiff_t lngFrom =
        lngCursorLine ? static_cast<std::ptrdiff_t>(*lngCursorLine)
                      : static_cast<std::ptrdiff_t>(
                            engine::nearestIndex(trace->dblFreq, (plotView.dblLowFreq + plotView.dblHighFreq) / 2));
    setCursorLine(static_cast<std::size_t>(std::clamp<std::ptrdiff_t>(lngFrom + lngLines, 0, lngLast)));
}

void SpectrumPlot::moveReferenceBy(std::ptrdiff_t lngLines)
{
    const PlotTrace* trace = cursorTrace();
    if (!trace) {
        return;
    }
    // Without a reference it starts from the cursor, as D would put it.
    const std::optional<std::size_t> lngFrom = lngReferenceLine ? lngReferenceLine : lngCursorLine;
    if (!lngFrom) {
        return;
    }
    const auto lngLast = static_cast<std::ptrdiff_t>(trace->dblFreq.size()) - 1;
    setReferenceLine(static_cast<std::size_t>(
        std::clamp<std::ptrdiff_t>(static_cast<std::ptrdiff_t>(*lngFrom) + lngLines, 0, lngLast)));
}

// The keys of the reference cursor and the readout; whether the key was one of them.
bool SpectrumPlot::measureKey(QKeyEvent* event)
{
    constexpr std::ptrdiff_t lngBigStep = 10; // lines per Ctrl+Shift+arrow
    const bool blnControl = event->modifiers() & Qt::ControlModifier;
    const std::ptrdiff_t lngStep = (event->modifiers() & Qt::ShiftModifier) ? lngBigStep : 1;
    if (event->matches(QKeySequence::Copy)) {
        const QString strText = readoutText();
        if (!strText.isEmpty()) {
            QApplication::clipboard()->setText(strText);
        }
        return true;
    }
    if (event->key() == Qt::Key_D && !blnControl && !(event->modifiers() & Qt::AltModifier)) {
        if (lngCursorLine) {
            setReferenceLine(lngCursorLine);
        }
        return true;
    }
    if (event->key() == Qt::Key_Escape && lngReferenceLine) {
        setReferenceLine(std::nullopt);
        return true;
    }
    if (blnControl && (event->key() == Qt::Key_Left || event->key() == Qt::Key_Right)) {
        moveReferenceBy(event->key() == Qt::Key_Left ? -lngStep : lngStep);
        return true;
    }
    return false;
}

void SpectrumPlot::keyPressEvent(QKeyEvent* event)
{
    if (measureKey(event)) {
        return;
    }
    constexpr std::ptrdiff_t lngBigStep = 10; // lines per Shift+arrow
    const std::ptrdiff_t lngStep = (event->modifiers() & Qt::ShiftModifier) ? lngBigStep : 1;
    const PlotTrace* trace = cursorTrace();
    const double dblCentre =
        trace && lngCursorLine ? trace->dblFreq[*lngCursorLine] : (plotView.dblLowFreq + plotView.dblHighFreq) / 2;
    switch (event->key()) {
    case Qt::Key_Left:
        moveCursorBy(-lngStep);
        break;
    case Qt::Key_Right:
        moveCursorBy(lngStep);
        break;
    case Qt::Key_Home:
        resetView();
        break;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        zoomFreq(dblCentre, dblWheelStep);
        break;
    case Qt::Key_Minus:
        zoomFreq(dblCentre, 1.0 / dblWheelStep);
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

} // namespace kestrix::ui
