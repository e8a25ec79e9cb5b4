// SPDX-License-Identifier: GPL-3.0-or-later
// The spectrogram's mouse and keyboard: readout, cursor clicks, box zoom, pan, wheel zoom and keys.

#include "spectrogram_plot.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace kestrix::ui {
namespace {

constexpr int intDragThreshold = 4;  // px a press must move before it becomes a box zoom
constexpr double dblWheelStep = 0.8; // span factor per wheel notch (zoom in)

} // namespace

void SpectrogramPlot::setHover(std::optional<QPointF> point)
{
    const std::optional<SpectrogramCell> cell = point ? cellAt(*point) : std::nullopt;
    if (cell != hover) {
        hover = cell;
        update();
        emit readoutChanged(readoutText());
    }
}

void SpectrogramPlot::leaveEvent(QEvent* event)
{
    setHover(std::nullopt);
    QWidget::leaveEvent(event);
}

void SpectrogramPlot::mousePressEvent(QMouseEvent* event)
{
    ptDragStart = event->position().toPoint();
    ptDragNow = ptDragStart;
    dragStartView = plotView;
    if (event->button() == Qt::LeftButton) {
        drag = Drag::Box;
    } else if (event->button() == Qt::RightButton || event->button() == Qt::MiddleButton) {
        drag = Drag::Pan;
        setCursor(Qt::ClosedHandCursor);
    }
}

void SpectrogramPlot::mouseMoveEvent(QMouseEvent* event)
{
    ptDragNow = event->position().toPoint();
    if (drag == Drag::Pan) {
        const QRect plot = plotArea();
        const double dblTimeShift =
            (ptDragNow.x() - ptDragStart.x()) * (dragStartView.dblHighTime - dragStartView.dblLowTime) / plot.width();
        // Along the frequency axis as drawn: by a ratio on the logarithmic one.
        const double dblLowFreq = freqAxisOf(dragStartView.dblLowFreq);
        const double dblHighFreq = freqAxisOf(dragStartView.dblHighFreq);
        const double dblFreqShift = (ptDragNow.y() - ptDragStart.y()) * (dblHighFreq - dblLowFreq) / plot.height();
        setView({dragStartView.dblLowTime - dblTimeShift, dragStartView.dblHighTime - dblTimeShift,
                 freqOfAxis(dblLowFreq + dblFreqShift), freqOfAxis(dblHighFreq + dblFreqShift)});
    }
    setHover(event->position());
    update();
}

void SpectrogramPlot::mouseReleaseEvent(QMouseEvent* event)
{
    const Drag ended = drag;
    drag = Drag::None;
    unsetCursor();
    update();
    if (ended != Drag::Box || event->button() != Qt::LeftButton) {
        return;
    }
    const QRect box = QRect(ptDragStart, event->position().toPoint()).normalized();
    if (box.width() < intDragThreshold && box.height() < intDragThreshold) {
        const std::optional<SpectrogramCell> cell = cellAt(event->position());
        if (cell) {
            setCursorCell(cell);
            pickCursorSegment();
        }
        return;
    }
    const QRect plot = plotArea();
    const QRect clipped = box.intersected(plot);
    if (clipped.width() >= intDragThreshold && clipped.height() >= intDragThreshold) {
        setView(
            {timeAt(clipped.left()), timeAt(clipped.right() + 1), freqAt(clipped.bottom() + 1), freqAt(clipped.top())});
    }
}

void SpectrogramPlot::mouseDoubleClickEvent(QMouseEvent* /*event*/)
{
    resetView();
}

void SpectrogramPlot::zoomTime(double dblCentre, double dblFactor)
{
    const double dblLow = dblCentre - (dblCentre - plotView.dblLowTime) * dblFactor;
    const double dblHigh = dblCentre + (plotView.dblHighTime - dblCentre) * dblFactor;
    setView({dblLow, dblHigh, plotView.dblLowFreq, plotView.dblHighFreq});
}

void SpectrogramPlot::zoomFreq(double dblCentre, double dblFactor)
{
    const double dblAxisCentre = freqAxisOf(dblCentre);
    const double dblLow = dblAxisCentre - (dblAxisCentre - freqAxisOf(plotView.dblLowFreq)) * dblFactor;
    const double dblHigh = dblAxisCentre + (freqAxisOf(plotView.dblHighFreq) - dblAxisCentre) * dblFactor;
    setView({plotView.dblLowTime, plotView.dblHighTime, freqOfAxis(dblLow), freqOfAxis(dblHigh)});
}

void SpectrogramPlot::wheelEvent(QWheelEvent* event)
{
    constexpr double dblNotch = 120.0; // angle delta of one wheel notch
    const double dblSteps = event->angleDelta().y() / dblNotch;
    if (dblSteps == 0.0 || !shownSpectrogram) {
        return;
    }
    const double dblFactor = std::pow(dblWheelStep, dblSteps);
    if (event->modifiers() & Qt::ControlModifier) {
        zoomFreq(freqAt(event->position().y()), dblFactor);
    } else {
        zoomTime(timeAt(event->position().x()), dblFactor);
    }
    setHover(event->position()); // another cell lies under the pointer now
    event->accept();
}

void SpectrogramPlot::pickCursorSegment()
{
    if (cursor) {
        emit segmentPicked(cursor->lngSegment);
    }
}

// A cursor moved by keys beyond the view brings the view along, centred on it.
void SpectrogramPlot::keepCursorInView()
{
    if (!cursor) {
        return;
    }
    const double dblTime = shownSpectrogram->segmentTime(cursor->lngSegment);
    const double dblFreq = shownSpectrogram->lineFrequency(cursor->lngLine);
    engine::SpectrogramView moved = plotView;
    if (dblTime < plotView.dblLowTime || dblTime > plotView.dblHighTime) {
        const double dblHalf = (plotView.dblHighTime - plotView.dblLowTime) / 2.0;
        moved.dblLowTime = dblTime - dblHalf;
        moved.dblHighTime = dblTime + dblHalf;
    }
    // 0 Hz has no place on a logarithmic axis: the view stays at its lowest there.
    const bool blnPlaced = !blnLogFreq || dblFreq > 0.0;
    if (blnPlaced && (dblFreq < plotView.dblLowFreq || dblFreq > plotView.dblHighFreq)) {
        const double dblHalf = (freqAxisOf(plotView.dblHighFreq) - freqAxisOf(plotView.dblLowFreq)) / 2.0;
        moved.dblLowFreq = freqOfAxis(freqAxisOf(dblFreq) - dblHalf);
        moved.dblHighFreq = freqOfAxis(freqAxisOf(dblFreq) + dblHalf);
    }
    setView(moved);
}

void SpectrogramPlot::moveCursorBy(std::int64_t lngSegments, std::ptrdiff_t lngLines)
{
    if (!shownSpectrogram || shownSpectrogram->segmentCount() == 0) {
        return;
    }
    // Without a cursor, start from the cell in the middle of the view.
    const SpectrogramCell from =
        cursor ? *cursor
               : SpectrogramCell{*shownSpectrogram->segmentAt((plotView.dblLowTime + plotView.dblHighTime) / 2.0),
                                 shownSpectrogram->lineAt((plotView.dblLowFreq + plotView.dblHighFreq) / 2.0)};
    const auto lngLastLine = static_cast<std::ptrdiff_t>(shownSpectrogram->lineCount()) - 1;
    const auto lngLine =
        std::clamp(static_cast<std::ptrdiff_t>(from.lngLine) + lngLines, std::ptrdiff_t{0}, lngLastLine);
    setCursorCell(SpectrogramCell{from.lngSegment + lngSegments, static_cast<std::size_t>(lngLine)});
    keepCursorInView();
}

void SpectrogramPlot::keyPressEvent(QKeyEvent* event)
{
    constexpr int intBigStep = 10; // segments or lines per Shift+arrow
    const int intStep = (event->modifiers() & Qt::ShiftModifier) ? intBigStep : 1;
    const double dblCentre = cursor && shownSpectrogram ? shownSpectrogram->segmentTime(cursor->lngSegment)
                                                        : (plotView.dblLowTime + plotView.dblHighTime) / 2.0;
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right: {
        const std::optional<SpectrogramCell> before = cursor;
        moveCursorBy(event->key() == Qt::Key_Left ? -intStep : intStep, 0);
        if (cursor && (!before || before->lngSegment != cursor->lngSegment)) {
            pickCursorSegment();
        }
        break;
    }
    case Qt::Key_Up:
        moveCursorBy(0, intStep);
        break;
    case Qt::Key_Down:
        moveCursorBy(0, -intStep);
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        pickCursorSegment();
        break;
    case Qt::Key_Home:
        resetView();
        break;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        zoomTime(dblCentre, dblWheelStep);
        break;
    case Qt::Key_Minus:
        zoomTime(dblCentre, 1.0 / dblWheelStep);
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

} // namespace kestrix::ui
