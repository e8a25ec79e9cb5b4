// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/recordings/spectrogram.h"
#include "engine/view/spectrogram_image.h"

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

// A spectrogram drawn with QPainter: time across (s), frequency up (Hz), level as colour (the viridis
// colour map over an adjustable dB range) with a colour bar in dBV. The picture is rendered once per
// view, range and size, so the cursor and the readout redraw without it.
// Mouse: moving shows time, frequency and level under the pointer; a click places the cursor on that
// segment and line and picks the segment (segmentPicked); drag a box to zoom both axes, drag with the
// right or middle button to pan, wheel to zoom the time (with Ctrl the frequency), double-click to see
// all. Keys: Left/Right move the cursor one segment and pick it, Up/Down one line (with Shift ten),
// Enter picks the cursor's segment again, Home shows all, + and - zoom the time. The view always lies
// within the data. The frequency axis may be logarithmic (from the first line above 0 Hz).
class SpectrogramPlot : public QWidget
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
    // The frequency axis's tick labels from the bottom up, as drawn.
    std::vector<QString> frequencyTickLabels() const;

    // Everything in view.
    void resetView();
    // Shows a part of the plane, kept within the data (engine::viewWithin).
    void setView(const engine::SpectrogramView& newView);
    const engine::SpectrogramView& view() const
    {
        return plotView;
    }

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
    // Where the spectrogram itself is drawn inside the widget.
    QRect plotArea() const;

    // Draws the whole plot (picture, axes, colour bar, cursor, readout) into area, for the screen or a file.
    void paintPlot(QPainter& painter, const QRect& area) const;

    // Saves the plot as shown, at least 640 x 400 pixels: SVG for a name ending in ".svg", else PNG.
    // On failure strError says why and no file is left half written.
    bool saveImage(const QString& strPath, QString& strError) const;

signals:
    // The user chose a segment (click, Left/Right, Enter): the panel shows its spectrum.
    void segmentPicked(std::int64_t lngSegment);
    void cursorMoved(std::int64_t lngSegment, std::size_t lngLine);
    void readoutChanged(const QString& strText);
    void viewChanged();
    void levelRangeChanged(double dblFloor, double dblTop);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void setSpectrogram(std::shared_ptr<const engine::Spectrogram> spectrogram,
                        std::optional<engine::LevelRange> suggested);
    struct Layout;
    Layout layoutFor(const QRect& area, const QFontMetrics& metrics) const;
    const QImage& picture(const QSize& size, qreal dblRatio) const; // size in device pixels
    QString cellText(const SpectrogramCell& cell) const;
    std::optional<SpectrogramCell> cellAt(const QPointF& point) const;
    void drawAxes(QPainter& painter, const Layout& layout) const;
    void drawColourBar(QPainter& painter, const Layout& layout) const;
    void drawCursor(QPainter& painter, const Layout& layout) const;
    void drawReadout(QPainter& painter, const Layout& layout) const;
    void zoomTime(double dblCentre, double dblFactor);
    void zoomFreq(double dblCentre, double dblFactor);
    void moveCursorBy(std::int64_t lngSegments, std::ptrdiff_t lngLines);
    void keepCursorInView();
    void pickCursorSegment();
    void setHover(std::optional<QPointF> point);
    double freqAxisOf(double dblFreq) const; // Hz, or its logarithm on the logarithmic axis
    double freqOfAxis(double dblAxis) const;

    std::shared_ptr<const engine::Spectrogram> shownSpectrogram;
    std::optional<engine::LevelRange> suggestedLevels; // of shownSpectrogram, once worked out
    engine::LevelRange levels;
    engine::SpectrogramView plotView;
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

    enum class Drag { None, Box, Pan };
    Drag drag = Drag::None;
    QPoint ptDragStart;
    QPoint ptDragNow;
    engine::SpectrogramView dragStartView;
};

} // namespace kestrix::ui
