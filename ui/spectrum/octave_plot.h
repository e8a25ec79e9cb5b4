// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/recordings/octave_analyser.h"
#include "plot_frame.h"

#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace kestrix::ui {

// Band levels on the view's plot frame: frequency across on a logarithmic axis named by the bands'
// nominal midbands (thinned to whole fractions of an octave where not all fit), the level up in dB re
// the engineering unit's reference; each band a bar from its lower to its upper edge, so the bars tile
// the axis as the bands do. The band cursor is highlighted and read inside the plot: its nominal and
// exact midband, its edges, its level and its rms in the unit. Mouse (beside the frame's zoom and pan):
// a click puts the cursor on the band under it. Keys: Left/Right the next band down or up, Home all.
class OctavePlot : public PlotFrame
{
    Q_OBJECT

public:
    explicit OctavePlot(QWidget* parent = nullptr);

    // Shows bands (ascending, b to an octave) whole, their levels named strLevel ("LAeq") in unit; the
    // cursor goes. No bands: the empty text.
    void setBands(std::vector<engine::BandReading> bands, std::int32_t lngBandsPerOctave, const QString& strLevel,
                  const engine::EngineeringUnit& unit);
    const std::vector<engine::BandReading>& bands() const
    {
        return bandReadings;
    }
    void setEmptyText(const QString& strText);

    // The cursor on band lngBand (kept in view), or none; no cursor without bands.
    void setCursorBand(std::optional<std::size_t> lngBand);
    std::optional<std::size_t> cursorBand() const
    {
        return lngCursor;
    }
    // The cursor's band as the readout gives it, one line a fact; empty without a cursor.
    QStringList cursorLines() const;
    // Where the readout is drawn in the plot; empty without a cursor.
    QRect readoutArea() const;

    void resetView();
    // The frequency ticks as drawn (values in Hz, the bands' names).
    FrameTicks frequencyTicks() const
    {
        return currentLayout().xTicks;
    }
    // The point of the widget at a frequency (Hz) and level (dB).
    QPointF pointOf(double dblHz, double dblLevelDb) const;

signals:
    // The user moved the cursor (a click, a key).
    void cursorChanged();

protected:
    FrameAxis horizontalAxis() const override;
    FrameAxis verticalAxis() const override;
    bool hasData() const override;
    QString emptyText() const override;
    FrameView fullView() const override;
    FrameView limitView(const FrameView& wanted) const override;
    void paintData(QPainter& painter, const FrameLayout& layout) const override;
    QStringList readoutLines() const override;
    double hiddenData(const QRect& box, const FrameLayout& layout) const override;
    void plotClicked(const QPointF& point, Qt::KeyboardModifiers modifiers) override;
    bool plotKey(QKeyEvent* event) override;
    double keyZoomCentre() const override;

private:
    QRectF barRect(std::size_t lngBand, const FrameLayout& layout) const;
    void keepCursorInView();

    std::vector<engine::BandReading> bandReadings;
    std::int32_t lngBandsPerOctave = 3;
    QString strLevelName;
    engine::EngineeringUnit levelUnit;
    QString strEmpty;
    std::optional<std::size_t> lngCursor;
};

} // namespace kestrix::ui
