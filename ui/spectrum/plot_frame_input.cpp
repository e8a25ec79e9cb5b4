// SPDX-License-Identifier: GPL-3.0-or-later
// The frame's view and its mouse and keys: box zoom, pan, wheel zoom, clicks and the keys every plot
// shares.

#include "plot_frame.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include <cmath>

namespace kestrix::ui {
namespace {

constexpr int intDragThreshold = 4;  // px a press must move before it becomes a box zoom
constexpr double dblWheelStep = 0.8; // span factor per wheel notch (zoom in)

double axisValue(double dblValue, bool blnLog)
{
    return blnLog ? std::log10(dblValue) : dblValue;
}

double valueOfAxis(double dblAxis, bool blnLog)
{
    return blnLog ? std::pow(10.0, dblAxis) : dblAxis;
}

// A range zoomed by dblFactor about dblCentre, as the axis draws it (by ratios on a logarithmic one).
engine::AxisRange zoomed(engine::AxisRange range, double dblCentre, double dblFactor, bool blnLog)
{
    const double dblLow = axisValue(range.dblLow, blnLog);
    const double dblHigh = axisValue(range.dblHigh, blnLog);
    const double dblAxisCentre = blnLog && !(dblCentre > 0.0) ? dblLow : axisValue(dblCentre, blnLog);
    const double dblNewLow = dblAxisCentre - (dblAxisCentre - dblLow) * dblFactor;
    return {valueOfAxis(dblNewLow, blnLog), valueOfAxis(dblNewLow + (dblHigh - dblLow) * dblFactor, blnLog)};
}

// A range moved by dblPixels of an axis intLength px long.
engine::AxisRange shifted(engine::AxisRange range, double dblPixels, int intLength, bool blnLog)
{
    const double dblLow = axisValue(range.dblLow, blnLog);
    const double dblHigh = axisValue(range.dblHigh, blnLog);
    const double dblShift = dblPixels * (dblHigh - dblLow) / intLength;
    return {valueOfAxis(dblLow + dblShift, blnLog), valueOfAxis(dblHigh + dblShift, blnLog)};
}

} // namespace

void PlotFrame::setFrameView(const FrameView& wanted)
{
    if (!(wanted.x.dblHigh > wanted.x.dblLow) || !(wanted.y.dblHigh > wanted.y.dblLow)) {
        return;
    }
    applyFrameView(wanted);
}

void PlotFrame::applyFrameView(const FrameView& wanted)
{
    const FrameView kept = limitView(wanted);
    const bool blnChanged = kept.x.dblLow != view.x.dblLow || kept.x.dblHigh != view.x.dblHigh ||
                            kept.y.dblLow != view.y.dblLow || kept.y.dblHigh != view.y.dblHigh;
    view = kept;
    update();
    if (blnChanged) {
        emit viewChanged();
    }
}

void PlotFrame::resetFrameView()
{
    applyFrameView(fullView());
}

bool PlotFrame::showsEverything() const
{
    const FrameView full = fullView();
    return view.x.dblLow == full.x.dblLow && view.x.dblHigh == full.x.dblHigh && view.y.dblLow == full.y.dblLow &&
           view.y.dblHigh == full.y.dblHigh;
}

void PlotFrame::zoomHorizontal(double dblCentre, double dblFactor)
{
    applyFrameView({zoomed(view.x, dblCentre, dblFactor, horizontalAxis().blnLog), view.y});
}

void PlotFrame::zoomVertical(double dblCentre, double dblFactor)
{
    applyFrameView({view.x, zoomed(view.y, dblCentre, dblFactor, verticalAxis().blnLog)});
}

double PlotFrame::keyZoomCentre() const
{
    return (view.x.dblLow + view.x.dblHigh) / 2.0;
}

void PlotFrame::plotDoubleClicked(quint64 /*lngTime*/)
{
    resetFrameView();
}

void PlotFrame::mousePressEvent(QMouseEvent* event)
{
    ptDragStart = event->position().toPoint();
    ptDragNow = ptDragStart;
    dragStartView = view;
    if (event->button() == Qt::LeftButton) {
        drag = Drag::Box;
        plotPressed(event->timestamp());
    } else if (event->button() == Qt::RightButton || event->button() == Qt::MiddleButton) {
        drag = Drag::Pan;
        setCursor(Qt::ClosedHandCursor);
    }
}

void PlotFrame::mouseMoveEvent(QMouseEvent* event)
{
    ptDragNow = event->position().toPoint();
    if (drag == Drag::Pan && hasData()) {
        const QRect plot = plotArea();
        // The data follows the pointer: dragged right, lower values come into view; dragged down, higher.
        applyFrameView(
            {shifted(dragStartView.x, ptDragStart.x() - ptDragNow.x(), plot.width(), horizontalAxis().blnLog),
             shifted(dragStartView.y, ptDragNow.y() - ptDragStart.y(), plot.height(), verticalAxis().blnLog)});
    }
    pointerMoved(event->position());
    update();
}

void PlotFrame::mouseReleaseEvent(QMouseEvent* event)
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
        plotClicked(event->position(), event->modifiers());
        return;
    }
    const FrameLayout layout = currentLayout();
    const QRect clipped = box.intersected(layout.plot);
    if (hasData() && clipped.width() >= intDragThreshold && clipped.height() >= intDragThreshold) {
        setFrameView({{layout.xAt(clipped.left()), layout.xAt(clipped.right())},
                      {layout.yAt(clipped.bottom()), layout.yAt(clipped.top())}});
    }
}

void PlotFrame::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && hasData()) {
        plotDoubleClicked(event->timestamp());
    }
}

void PlotFrame::wheelEvent(QWheelEvent* event)
{
    constexpr double dblNotch = 120.0; // angle delta of one wheel notch
    const double dblSteps = event->angleDelta().y() / dblNotch;
    if (dblSteps == 0.0 || !hasData()) {
        return;
    }
    const double dblFactor = std::pow(dblWheelStep, dblSteps);
    const FrameLayout layout = currentLayout();
    if (event->modifiers() & Qt::ControlModifier) {
        zoomVertical(layout.yAt(event->position().y()), dblFactor);
    } else {
        zoomHorizontal(layout.xAt(event->position().x()), dblFactor);
    }
    pointerMoved(event->position()); // another point of the data lies under the pointer now
    event->accept();
}

void PlotFrame::keyPressEvent(QKeyEvent* event)
{
    if (plotKey(event)) {
        return;
    }
    if (!hasData()) {
        QWidget::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
    case Qt::Key_Home:
        resetFrameView();
        break;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        zoomHorizontal(keyZoomCentre(), dblWheelStep);
        break;
    case Qt::Key_Minus:
        zoomHorizontal(keyZoomCentre(), 1.0 / dblWheelStep);
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

void PlotFrame::leaveEvent(QEvent* event)
{
    pointerMoved(std::nullopt);
    QWidget::leaveEvent(event);
}

} // namespace kestrix::ui
