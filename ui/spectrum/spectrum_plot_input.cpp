// The plot's mouse and keyboard: box zoom, cursor clicks, pan, wheel zoom and keys.

#include "engine/plot_axis.h"
#include "spectrum_plot.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace kestrix::ui {
namespace {

constexpr int intDragThreshold = 4;      // px a press must move before it becomes a box zoom
constexpr double dblWheelStep = 0.8;     // span factor per wheel notch (zoom in)
constexpr double dblMinSpanShare = 1e-7; // deepest zoom, as a share of the full frequency span

} // namespace

void SpectrumPlot::mousePressEvent(QMouseEvent* event)
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

void SpectrumPlot::mouseMoveEvent(QMouseEvent* event)
{
    ptDragNow = event->position().toPoint();
    if (drag == Drag::Pan) {
        const QRect plot = plotArea();
        const double dblFreqShift =
            (ptDragNow.x() - ptDragStart.x()) * (dragStartView.dblHighFreq - dragStartView.dblLowFreq) / plot.width();
        const double dblAmpShift =
            (ptDragNow.y() - ptDragStart.y()) * (dragStartView.dblHighAmp - dragStartView.dblLowAmp) / plot.height();
        plotView = {dragStartView.dblLowFreq - dblFreqShift, dragStartView.dblHighFreq - dblFreqShift,
                    dragStartView.dblLowAmp + dblAmpShift, dragStartView.dblHighAmp + dblAmpShift};
        emit viewChanged();
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
        const PlotTrace* trace = cursorTrace();
        if (trace) {
            setCursorLine(engine::nearestIndex(trace->dblFreq, freqAt(event->position().x())));
        }
        update();
        return;
    }
    const QRect plot = plotArea();
    const QRect clipped = box.intersected(plot);
    if (clipped.width() >= intDragThreshold && clipped.height() >= intDragThreshold) {
        const double dblLowAmp = blnLogScale ? std::log10(voltsAt(clipped.bottom())) : voltsAt(clipped.bottom());
        const double dblHighAmp = blnLogScale ? std::log10(voltsAt(clipped.top())) : voltsAt(clipped.top());
        setView({freqAt(clipped.left()), freqAt(clipped.right()), dblLowAmp, dblHighAmp});
    }
    update();
}

void SpectrumPlot::mouseDoubleClickEvent(QMouseEvent* /*event*/)
{
    resetView();
}

void SpectrumPlot::zoomFreq(double dblCentre, double dblFactor)
{
    const double dblSpan = (plotView.dblHighFreq - plotView.dblLowFreq) * dblFactor;
    const PlotTrace* trace = cursorTrace();
    const double dblFullSpan =
        trace && trace->dblFreq.size() > 1 ? trace->dblFreq.back() - trace->dblFreq.front() : 1.0;
    if (dblSpan < dblFullSpan * dblMinSpanShare) {
        return;
    }
    PlotView zoomed = plotView;
    zoomed.dblLowFreq = dblCentre - (dblCentre - plotView.dblLowFreq) * dblFactor;
    zoomed.dblHighFreq = zoomed.dblLowFreq + dblSpan;
    setView(zoomed);
}

void SpectrumPlot::zoomAmp(double dblCentre, double dblFactor)
{
    PlotView zoomed = plotView;
    zoomed.dblLowAmp = dblCentre - (dblCentre - plotView.dblLowAmp) * dblFactor;
    zoomed.dblHighAmp = dblCentre + (plotView.dblHighAmp - dblCentre) * dblFactor;
    setView(zoomed);
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
        const double dblVolts = voltsAt(position.y());
        zoomAmp(blnLogScale ? std::log10(dblVolts) : dblVolts, dblFactor);
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

void SpectrumPlot::keyPressEvent(QKeyEvent* event)
{
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
