// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "plot_frame.h"

#include <QColor>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <optional>
#include <vector>

namespace kestrix::ui {

// One curve of a two-channel plot: a value per line from 0 Hz, NaN where it does not exist.
struct TransferCurve
{
    QString strName; // legend entry
    QColor color;
    std::vector<double> dblValues;
    bool blnWrapped = false; // a phase wrapped to (-180, 180]: not joined across a wrap
};

// Values over the lines of a frequency response on the view's plot frame: the lines marked faded (their
// coherence under the threshold) drawn pale in every curve, a guide across the plot (the threshold),
// and the cursor on a line of all its curves. Plots stacked over one frequency axis line their left
// edges up (setGroup), and only the bottom one labels the frequencies (setFrequencyLabels).
// Mouse (beside the frame's zoom and pan): a click picks the line nearest it (lineClicked). Keys:
// Left/Right ask for the cursor one line (with Shift ten) back or on (cursorStepped). The vertical axis
// is fixed (a phase, the coherence) or fitted to the curves; the view stays within the lines and at
// least four of them wide.
class TransferPlot : public PlotFrame
{
    Q_OBJECT

public:
    explicit TransferPlot(QWidget* parent = nullptr);

    // Replaces the curves over lines dblDeltaFreq Hz apart and the lines drawn faded (one flag per
    // line; none: every line as it is). A view that showed everything shows everything of the new
    // curves; a zoomed one stays, kept within them.
    void setCurves(double dblDeltaFreq, std::vector<TransferCurve> curves, std::vector<bool> blnFaded);
    const std::vector<TransferCurve>& curves() const
    {
        return plotCurves;
    }
    const std::vector<bool>& fadedLines() const
    {
        return blnFadedLines;
    }
    double lineSpacing() const
    {
        return dblSpacing;
    }
    // The vertical axis: its title, its fixed range (none: fitted to the curves) and the values it is
    // best labelled at (none: steps of 1, 2 or 5).
    void setValueAxis(const QString& strTitle, std::optional<engine::AxisRange> fixed,
                      std::vector<double> dblTicks = {});
    // The least height of the plot (px), more where its vertical title needs more.
    void setLeastHeight(int intHeight);
    // A dashed line across the plot at this value; none without.
    void setGuide(std::optional<double> dblValue);
    // What the plot says without curves.
    void setEmptyText(const QString& strText);
    // The frequency labels and title beneath the plot (the bottom one of a stack), else its ticks alone.
    void setFrequencyLabels(bool blnLabels);
    // The plots stacked with it, this one too: their plots share one left edge.
    void setGroup(std::vector<const TransferPlot*> group);
    // The frequency axis logarithmic (0 Hz left out of the view), or linear.
    void setLogFrequency(bool blnLog);

    // The frequencies in view (Hz); the values in view stay (kept within the curves).
    void setFrequencyView(engine::AxisRange range);
    engine::AxisRange frequencyView() const
    {
        return frameView().x;
    }
    engine::AxisRange valueView() const
    {
        return frameView().y;
    }
    void resetView();

    // The cursor on a line (clamped to the last one), or none; brought into view with the span kept.
    void setCursorLine(std::optional<std::size_t> lngLine);
    std::optional<std::size_t> cursorLine() const
    {
        return lngCursorLine;
    }
    // The readout drawn inside the plot where it hides the least of the curves; empty for none.
    void setReadout(const QStringList& strLines);

    // The widget position of a frequency (Hz) and a value, and the frequency at a column.
    QPointF pointOf(double dblFreq, double dblValue) const;
    double freqAt(double dblX) const;
    std::vector<QString> frequencyTickLabels() const
    {
        return horizontalTickLabels();
    }
    std::vector<QString> valueTickLabels() const
    {
        return verticalTickLabels();
    }

signals:
    void lineClicked(std::size_t lngLine);
    void cursorStepped(std::ptrdiff_t lngLines);

protected:
    FrameAxis horizontalAxis() const override;
    FrameAxis verticalAxis() const override;
    bool hasData() const override;
    QString emptyText() const override;
    FrameView fullView() const override;
    FrameView limitView(const FrameView& wanted) const override;
    void paintData(QPainter& painter, const FrameLayout& layout) const override;
    QStringList readoutLines() const override
    {
        return strReadout;
    }
    double hiddenData(const QRect& box, const FrameLayout& layout) const override;
    std::vector<QRect> keptClear(const FrameLayout& layout, const QFontMetrics& metrics) const override;
    void plotClicked(const QPointF& point, Qt::KeyboardModifiers modifiers) override;
    bool plotKey(QKeyEvent* event) override;
    double keyZoomCentre() const override;
    int verticalLabelRoom(const QFontMetrics& metrics, int intOwnWidth) const override;

private:
    std::size_t firstLine() const; // the first line drawn: 1 on the logarithmic axis
    void fitTitle();
    engine::AxisRange frequencyBounds() const;
    engine::AxisRange valueBounds() const;
    std::size_t lineNear(double dblFreq) const;
    void drawCurve(QPainter& painter, const FrameLayout& layout, const TransferCurve& curve) const;
    void drawRun(QPainter& painter, const FrameLayout& layout, const TransferCurve& curve, std::size_t lngFirst,
                 std::size_t lngLast, const QColor& color) const;
    void drawCursor(QPainter& painter, const FrameLayout& layout) const;
    void drawLegend(QPainter& painter, const FrameLayout& layout) const;
    QRect legendBox(const QRect& plot, const QFontMetrics& metrics) const;

    double dblSpacing = 1.0;
    std::vector<TransferCurve> plotCurves;
    std::vector<bool> blnFadedLines;
    std::vector<double> dblAxisX; // per line, its place on the frequency axis (Hz, or log10 of Hz)
    QString strValueTitle;
    int intLeastHeight = 110; // px
    std::optional<engine::AxisRange> fixedValues;
    std::optional<double> dblGuide;
    QString strEmpty;
    std::vector<const TransferPlot*> stacked;
    bool blnLogFreq = false;
    std::optional<std::size_t> lngCursorLine;
    QStringList strReadout;
};

} // namespace kestrix::ui
