// SPDX-License-Identifier: GPL-3.0-or-later
// The spectrogram's cursor: the readout under the pointer, cursor clicks and keys.

#include "spectrogram_plot.h"

#include <QKeyEvent>

#include <algorithm>
#include <cmath>

namespace kestrix::ui {

void SpectrogramPlot::setCursorCell(std::optional<SpectrogramCell> cell)
{
    if (!hasData() || !cell) {
        cursor.reset();
    } else {
        cursor = SpectrogramCell{std::clamp<std::int64_t>(cell->lngSegment, 0, shownSpectrogram->segmentCount() - 1),
                                 std::min(cell->lngLine, shownSpectrogram->lineCount() - 1)};
        emit cursorMoved(cursor->lngSegment, cursor->lngLine);
    }
    update();
    emit readoutChanged(readoutText());
}

void SpectrogramPlot::pointerMoved(std::optional<QPointF> point)
{
    const std::optional<SpectrogramCell> cell = point ? cellAt(*point) : std::nullopt;
    if (cell != hover) {
        hover = cell;
        update();
        emit readoutChanged(readoutText());
    }
}

void SpectrogramPlot::plotClicked(const QPointF& point, Qt::KeyboardModifiers /*modifiers*/)
{
    if (const std::optional<SpectrogramCell> cell = cellAt(point)) {
        setCursorCell(cell);
        pickCursorSegment();
    }
}

void SpectrogramPlot::pickCursorSegment()
{
    if (cursor) {
        emit segmentPicked(cursor->lngSegment);
    }
}

double SpectrogramPlot::keyZoomCentre() const
{
    return cursor && shownSpectrogram ? shownSpectrogram->segmentTime(cursor->lngSegment) : PlotFrame::keyZoomCentre();
}

// A cursor moved by keys beyond the view brings the view along, centred on it.
void SpectrogramPlot::keepCursorInView()
{
    if (!cursor) {
        return;
    }
    const double dblTime = shownSpectrogram->segmentTime(cursor->lngSegment);
    const double dblFreq = shownSpectrogram->lineFrequency(cursor->lngLine);
    const engine::SpectrogramView shown = view();
    engine::SpectrogramView moved = shown;
    if (dblTime < shown.dblLowTime || dblTime > shown.dblHighTime) {
        const double dblHalf = (shown.dblHighTime - shown.dblLowTime) / 2.0;
        moved.dblLowTime = dblTime - dblHalf;
        moved.dblHighTime = dblTime + dblHalf;
    }
    // 0 Hz has no place on a logarithmic axis: the view stays at its lowest there.
    const bool blnPlaced = !blnLogFreq || dblFreq > 0.0;
    if (blnPlaced && (dblFreq < shown.dblLowFreq || dblFreq > shown.dblHighFreq)) {
        const auto axis = [this](double dblValue) { return blnLogFreq ? std::log10(dblValue) : dblValue; };
        const auto value = [this](double dblAxis) { return blnLogFreq ? std::pow(10.0, dblAxis) : dblAxis; };
        const double dblHalf = (axis(shown.dblHighFreq) - axis(shown.dblLowFreq)) / 2.0;
        moved.dblLowFreq = value(axis(dblFreq) - dblHalf);
        moved.dblHighFreq = value(axis(dblFreq) + dblHalf);
    }
    setView(moved);
}

void SpectrogramPlot::moveCursorBy(std::int64_t lngSegments, std::ptrdiff_t lngLines)
{
    if (!hasData()) {
        return;
    }
    // Without a cursor, start from the cell in the middle of the view.
    const engine::SpectrogramView shown = view();
    const SpectrogramCell from =
        cursor ? *cursor
               : SpectrogramCell{*shownSpectrogram->segmentAt((shown.dblLowTime + shown.dblHighTime) / 2.0),
                                 shownSpectrogram->lineAt((shown.dblLowFreq + shown.dblHighFreq) / 2.0)};
    const auto lngLastLine = static_cast<std::ptrdiff_t>(shownSpectrogram->lineCount()) - 1;
    const auto lngLine =
        std::clamp(static_cast<std::ptrdiff_t>(from.lngLine) + lngLines, std::ptrdiff_t{0}, lngLastLine);
    setCursorCell(SpectrogramCell{from.lngSegment + lngSegments, static_cast<std::size_t>(lngLine)});
    keepCursorInView();
}

bool SpectrogramPlot::plotKey(QKeyEvent* event)
{
    constexpr int intBigStep = 10; // segments or lines per Shift+arrow
    const int intStep = (event->modifiers() & Qt::ShiftModifier) ? intBigStep : 1;
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right: {
        const std::optional<SpectrogramCell> before = cursor;
        moveCursorBy(event->key() == Qt::Key_Left ? -intStep : intStep, 0);
        if (cursor && (!before || before->lngSegment != cursor->lngSegment)) {
            pickCursorSegment();
        }
        return true;
    }
    case Qt::Key_Up:
    case Qt::Key_Down:
        moveCursorBy(0, event->key() == Qt::Key_Up ? intStep : -intStep);
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        pickCursorSegment();
        return true;
    default:
        return false;
    }
}

} // namespace kestrix::ui
