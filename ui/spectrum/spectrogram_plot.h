// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/recordings/spectrogram.h"
#include "engine/view/spectrogram_image.h"
#include "plot_frame.h"

#include <QImage>
#include <QPoint>
#include <QString>
#include <QWidget>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class QPainter;

namespace kestrix::ui {

// A cell of the spectrogram the cursor stands on.
struct SpectrogramCell
{
    std::int64_t lngSegment = 0;
    std::size_t lngLine = 0;

    bool operator==(const SpectrogramCell&) const = default;
};

// A spectrogram on the view's plot frame: time across (s, its start and end labelled), frequency up
// (Hz), level as colour (the viridis colour map over an adjustable dB range) with a colour bar in dBV
// right of it. The picture is rendered once per view, range and size, so the cursor and the readout
// redraw without it. The readout stands in a line above the picture, which it never hides.
// Mouse (beside the frame's zoom and pan; the wheel zooms the time, with Ctrl the frequency): moving
// shows time, frequency and level under the pointer; a click places the cursor on that segment and line
// and picks the segment (segmentPicked). Keys: Left/Right move the cursor one segment and pick it,
// Up/Down one line (with Shift ten), Enter picks the cursor's segment again, Home shows all, + and -
// zoom the time. The view always lies within the data. The frequency axis may be logarithmic (from the
// first line above 0 Hz).
class SpectrogramPlot : public PlotFrame
{
    Q_OBJECT

public:
    explicit SpectrogramPlot(QWidget* parent = nullptr);

    // Shows a spectrogram (null: none), whole, with the level range suggested for it and no cursor.
    // The spectrogram is only read from here on.
    void setSpectrogram(std::shared_ptr<const engine::Spectrogram> spectrogram);
    // The same with its suggested level range worked out already (engine::suggestedLevelRange of this
    // spectrogram, as the thread that made it can compute it), so the window's thread reads no cell.
    void setSpectrogram(std::shared_ptr<const engine::Spectrogram> spectrogram, const engine::LevelRange& suggested);
    const engine::Spectrogram* spectrogram() const
    {
        return shownSpectrogram.get();
    }

    // The levels the colours span, dB; a range whose floor is not below its top (or not finite) is
    // refused (false) and changes nothing.
    bool setLevelRange(const engine::LevelRange& range);
    bool setLevelFloor(double dblFloor);
    bool setLevelTop(double dblTop);
    // The range suggested for the data (engine::suggestedLevelRange).
    void resetLevelRange();
    const engine::LevelRange& levelRange() const
    {
        return levels;
    }

    // The frequency axis logarithmic, with decade ticks, or linear; the frequencies in view stay as far
    // as the axis allows (0 Hz has no place on the logarithmic one).
    void setLogFrequency(bool blnLog);
    bool logFrequency() const
    {
        return blnLogFreq;
    }
    // The axes' tick labels as drawn: the frequencies from the bottom up, the times from the left.
    std::vector<QString> frequencyTickLabels() const
    {
        return verticalTickLabels();
    }
    std::vector<QString> timeTickLabels() const
    {
        return horizontalTickLabels();
    }

    // Everything in view.
    void resetView();
    // Shows a part of the plane, kept within the data (engine::viewWithin).
    void setView(const engine::SpectrogramView& newView);
    engine::SpectrogramView view() const;

    // The cursor on a cell (clamped to the data), or none; no cursor without data.
    void setCursorCell(std::optional<SpectrogramCell> cell);
    std::optional<SpectrogramCell> cursorCell() const
    {
        return cursor;
    }
    // "時間 12.250 s　周波数 123.5 Hz　レベル -42.3 dBV（区間 24）" for the cursor; empty without one.
    QString cursorText() const;
    // What the readout shows: the cell under the pointer, else the cursor's, else nothing.
    QString readoutText() const;

    // The time (s) and frequency (Hz) at a point of the widget, and the point of a time and frequency.
    double timeAt(double dblX) const;
    double freqAt(double dblY) const;
    QPointF pointOf(double dblTime, double dblFreq) const;

signals:
    // The user chose a segment (click, Left/Right, Enter): the view shows its spectrum.
    void segmentPicked(std::int64_t lngSegment);
    void cursorMoved(std::int64_t lngSegment, std::size_t lngLine);
    void readoutChanged(const QString& strText);
    void levelRangeChanged(double dblFloor, double dblTop);

protected:
    // The picture and its colour bar on the frame.
    void paintData(QPainter& painter, const FrameLayout& layout) const override;
    int rightRoom(const QFontMetrics& metrics, const FrameView& shown, int intPlotHeight) const override;
    void paintRightRoom(QPainter& painter, const FrameLayout& layout) const override;
    bool hasData() const override;
    QString emptyText() const override;
    // Time across, frequency up; the view within the cells.
    FrameAxis horizontalAxis() const override;
    FrameAxis verticalAxis() const override;
    FrameView fullView() const override;
    FrameView limitView(const FrameView& wanted) const override;
    // The cursor and the readout above the picture.
    QStringList readoutLines() const override;
    bool readoutAbove() const override
    {
        return true;
    }
    void plotClicked(const QPointF& point, Qt::KeyboardModifiers modifiers) override;
    bool plotKey(QKeyEvent* event) override;
    void pointerMoved(std::optional<QPointF> point) override;
    double keyZoomCentre() const override;

private:
    void setSpectrogram(std::shared_ptr<const engine::Spectrogram> spectrogram,
                        std::optional<engine::LevelRange> suggested);
    const QImage& picture(const QSize& size, qreal dblRatio) const; // size in device pixels
    QString cellText(const SpectrogramCell& cell) const;
    std::optional<SpectrogramCell> cellAt(const QPointF& point) const;
    FrameTicks levelTicks(const QFontMetrics& metrics, int intBarHeight) const;
    void drawCursor(QPainter& painter, const FrameLayout& layout) const;
    void moveCursorBy(std::int64_t lngSegments, std::ptrdiff_t lngLines);
    void keepCursorInView();
    void pickCursorSegment();

    std::shared_ptr<const engine::Spectrogram> shownSpectrogram;
    std::optional<engine::LevelRange> suggestedLevels; // of shownSpectrogram, once worked out
    engine::LevelRange levels;
    bool blnLogFreq = false;
    std::optional<SpectrogramCell> cursor;
    std::optional<SpectrogramCell> hover; // the cell under the pointer

    // The rendered picture and what it shows.
    struct PictureKey
    {
        const engine::Spectrogram* shown = nullptr;
        engine::SpectrogramView view;
        engine::LevelRange range;
        QSize size;
        bool blnLogFreq = false;
    };
    mutable QImage imgPicture;
    mutable std::optional<PictureKey> pictureKey;
};

} // namespace kestrix::ui
