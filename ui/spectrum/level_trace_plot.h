// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/view/octave_view.h"
#include "plot_frame.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace kestrix::ui {

// A level-versus-time trace on the view's plot frame: time across from the recording's start to its
// end, the time-weighted level up (dB). Where the trace's points each hold several levels (a long
// recording), the band between their lowest and highest is shaded under the line of the highest, so no
// peak is lost. The time and level under the pointer are read above the plot.
class LevelTracePlot : public PlotFrame
{
    Q_OBJECT

public:
    explicit LevelTracePlot(QWidget* parent = nullptr);

    // Shows a trace whole: its points (in time order) over dblSeconds (> 0), its levels named strLevel
    // ("LAF") in dB re strReference ("1 V"). No points: the empty text.
    void setTrace(std::vector<engine::LevelTracePoint> points, double dblSeconds, const QString& strLevel,
                  const QString& strReference);
    const std::vector<engine::LevelTracePoint>& points() const
    {
        return tracePoints;
    }
    void resetView();
    // The time (s) and level read under a point of the widget, as the readout gives them; empty outside
    // the plot or without a trace.
    QString readoutAt(const QPointF& point) const;

protected:
    FrameAxis horizontalAxis() const override;
    FrameAxis verticalAxis() const override;
    bool hasData() const override;
    QString emptyText() const override;
    FrameView fullView() const override;
    FrameView limitView(const FrameView& wanted) const override;
    void paintData(QPainter& painter, const FrameLayout& layout) const override;
    QStringList readoutLines() const override;
    bool readoutAbove() const override
    {
        return true;
    }
    void pointerMoved(std::optional<QPointF> point) override;

private:
    std::vector<engine::LevelTracePoint> tracePoints;
    double dblDuration = 1.0;
    QString strLevelName;
    QString strDbReference;
    QString strHover; // the readout under the pointer
};

} // namespace kestrix::ui
