// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/recordings/band_power.h"
#include "engine/recordings/tone_figures.h"
#include "engine/view/orders.h"
#include "engine/view/plot_view.h"
#include "plot_frame.h"

#include <QColor>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <vector>

class QPainter;

namespace kestrix::ui {

// One curve of the plot: amplitudes in V at ascending frequencies in Hz.
struct PlotTrace
{
    QString strName; // legend entry
    QColor color;
    std::vector<double> dblFreq;
    std::vector<double> dblVolts;
    bool blnReference = false; // drawn beneath the measured ones
};

// What the amplitude axis shows: its titles and how its values turn into decibels. By default volts,
// in dBV (20 log10 of the volts) on the logarithmic axis; a power unit takes 10 log10.
struct AmplitudeAxis
{
    QString strTitle;    // the linear axis, with its unit
    QString strLogTitle; // the logarithmic axis, with its unit
    double dblDbPerDecade = 20.0;
    double dblZeroDbValue = 1.0; // the amplitude the logarithmic axis reads as 0 dB (> 0): 1 V for dBV
};

// The visible part of the plot: frequencies in Hz; amplitudes in the axis's unit (V unless told
// otherwise) on the linear axis and in decibels (dBV for volts) on the logarithmic one.
struct PlotView
{
    double dblLowFreq = 0.0;
    double dblHighFreq = 1.0;
    double dblLowAmp = 0.0;
    double dblHighAmp = 1.0;
};

// A spectrum plot on the view's plot frame: a trace with more lines than pixel columns is drawn as one
// bar per column from its lowest to its highest line, so a redraw costs about the same for 401 lines as
// for 25601, and a single line always looks like one.
// Mouse (beside the frame's zoom and pan): click to read the highest line within a few pixels (with
// Shift to put the reference cursor there); a double click shows everything and leaves the cursor where
// it was. Keys: Left/Right move the cursor one line (with Shift ten), D puts the reference cursor on the
// cursor's line, Ctrl+Left/Right move the reference (with Shift ten), Escape removes it, Ctrl+C copies
// the readout. The view stays within the traces and at least a few lines wide.
// With both cursors the plot shows the readout between them where it hides the least of the curves:
// both positions, the difference in frequency and in level, the RMS of the band from one to the other
// and the sum of the two lines read as tones.
class SpectrumPlot : public PlotFrame
{
    Q_OBJECT

public:
    explicit SpectrumPlot(QWidget* parent = nullptr);

    // Replaces all curves. The cursor stays on its line if the cursor trace still has it. A view that
    // showed everything shows everything of the new curves; a zoomed one stays, kept within them.
    void setTraces(std::vector<PlotTrace> traces);
    const std::vector<PlotTrace>& traces() const
    {
        return plotTraces;
    }
    // The curve the cursor snaps to: the first one that is not a reference, else the first one.
    const PlotTrace* cursorTrace() const;

    // The band shaded behind the curves, in Hz; none without a band.
    void setBand(std::optional<std::pair<double, double>> band);
    // Vertical markers at these frequencies (Hz), labelled 1x, 2x, ... (labels thinned so none touches).
    void setHarmonics(std::vector<double> dblFreqs);
    const std::vector<double>& harmonics() const
    {
        return dblHarmonics;
    }

    // The amplitude axis in dBV instead of V; the amplitudes are fitted anew to the lines in view.
    void setLogScale(bool blnLog);
    // The unit of the amplitudes and its titles; the view is fitted anew when the decibels change.
    void setAmplitudeAxis(const AmplitudeAxis& axis);
    const AmplitudeAxis& amplitudeAxis() const
    {
        return ampAxis;
    }
    bool logScale() const
    {
        return blnLogScale;
    }

    // Everything in view; the amplitude axis fitted to the curves.
    void resetView();
    // The view as asked, kept within the curves and at least a few lines wide.
    void setView(const PlotView& newView);
    PlotView view() const;

    // The cursor on a line of the cursor trace (clamped to its last line), brought into view with the
    // span kept; or no cursor.
    void setCursorLine(std::optional<std::size_t> lngLine);
    std::optional<std::size_t> cursorLine() const
    {
        return lngCursorLine;
    }
    // The reference cursor of the readout between two cursors, on a line of the cursor trace (clamped
    // to its last line); or none. It stays where it is when the view moves.
    void setReferenceLine(std::optional<std::size_t> lngLine);
    std::optional<std::size_t> referenceLine() const
    {
        return lngReferenceLine;
    }
    // The frequencies (Hz) of the cursors' lines, none without them.
    std::optional<double> cursorFrequency() const;
    std::optional<double> referenceFrequency() const;
    // The line of the cursor trace nearest dblFreq (Hz); none without a trace or where dblFreq lies
    // beyond its first or last line by more than half a spacing.
    std::optional<std::size_t> lineNear(double dblFreq) const;
    // How the cursor trace's values stand for power (their units, line spacing and window); without it
    // the readout gives no band RMS and takes the values for amplitudes in V.
    void setLineScale(std::optional<engine::LineScale> scale);
    // How the readout writes the cursor trace's value on a line: to be read at a glance, and as the files
    // write it with its unit. Without them (empty functions) the trace's values are taken for volts.
    using LineText = std::function<QString(std::size_t lngLine)>;
    void setLineTexts(LineText readable, LineText exact);
    // How the readout writes an rms value of the band between the cursors (to be read at a glance) and
    // the unit after its exact text; without them, in volts.
    using RmsText = std::function<QString(double dblRms)>;
    void setRmsTexts(RmsText readable, QString strExactUnit);
    // The readout between the reference (A) and the cursor (B); none without both.
    std::optional<engine::CursorDelta> cursorDelta() const;
    // The readout as drawn (readable numbers), then a line with the values as the files write them;
    // without a reference only the cursor's line, and empty without a cursor. Ctrl+C copies it.
    QString readoutText() const;
    // Where the readout between the cursors is drawn; empty without it.
    QRect readoutArea() const;

    // The frequency axis in orders of a running speed (its labels and the readout); none: in Hz.
    void setRunningSpeed(std::optional<engine::RunningSpeed> speed);
    const std::optional<engine::RunningSpeed>& runningSpeed() const
    {
        return speed;
    }
    // The frequency axis logarithmic, with decade ticks; 0 Hz is then left out of the view.
    void setLogFrequency(bool blnLog);
    bool logFrequency() const
    {
        return blnLogFreq;
    }
    // The frequency axis as the widget draws it: its title and its tick labels from the left.
    QString frequencyAxisTitle() const;
    std::vector<QString> frequencyTickLabels() const
    {
        return horizontalTickLabels();
    }

    // Shades the lines of a spectrum dblDeltaFreq Hz apart (line k at k dblDeltaFreq) by what they were
    // counted as: the fundamental, the harmonics and the lines left out; the noise is not shaded. An
    // empty list shades nothing.
    void setLineRoles(std::vector<engine::LineRole> roles, double dblDeltaFreq);
    // The colour a role is shaded in (translucent); the noise's is transparent.
    static QColor roleColour(engine::LineRole role);

    // Whether the last click put the cursor on the highest of several lines near it.
    bool cursorOnPeak() const
    {
        return blnCursorOnPeak;
    }

    // The frequency (Hz) and the amplitude (V) at a point of the widget; the amplitude axis as shown.
    double freqAt(double dblX) const;
    double voltsAt(double dblY) const;
    // The widget position of a frequency and an amplitude.
    QPointF pointOf(double dblFreq, double dblVolts) const;

    // The amplitude axis as the widget draws it: its title, and its tick labels from the bottom up.
    QString amplitudeAxisTitle() const;
    std::vector<QString> amplitudeTickLabels() const
    {
        return verticalTickLabels();
    }

signals:
    void cursorChanged();

protected:
    FrameAxis horizontalAxis() const override;
    FrameAxis verticalAxis() const override;
    bool hasData() const override;
    QString emptyText() const override;
    FrameView fullView() const override;
    FrameView limitView(const FrameView& wanted) const override;
    void paintBackdrop(QPainter& painter, const FrameLayout& layout) const override;
    void paintData(QPainter& painter, const FrameLayout& layout) const override;
    QStringList readoutLines() const override;
    double hiddenData(const QRect& box, const FrameLayout& layout) const override;
    std::vector<QRect> keptClear(const FrameLayout& layout, const QFontMetrics& metrics) const override;
    void plotClicked(const QPointF& point, Qt::KeyboardModifiers modifiers) override;
    void plotPressed(quint64 lngTime) override;
    void plotDoubleClicked(quint64 lngTime) override;
    bool plotKey(QKeyEvent* event) override;
    double keyZoomCentre() const override;

private:
    struct Bounds
    {
        engine::AxisRange freq;
        engine::AxisRange amp; // V, or dBV on the logarithmic axis
        double dblMinFreqSpan = 0.0;
        double dblMinAmpSpan = 0.0;
    };

    // spectrum_plot.cpp: the traces, the view and its limits, the cursors and the keys.
    double ampOf(double dblVolts) const;
    engine::AxisRange fittedAmplitudes(double dblLowFreq, double dblHighFreq) const;
    void updateBounds();
    void moveCursorBy(std::ptrdiff_t lngLines);
    void moveReferenceBy(std::ptrdiff_t lngLines);
    std::optional<std::size_t> lineAt(double dblX, bool& blnHighest) const;
    void placeCursorAt(double dblX);
    bool measureKey(QKeyEvent* event);
    void bringIntoView(double dblFreq);
    void updateLogFrequencies();
    std::span<const double> drawnFrequencies(const PlotTrace& trace, std::span<const double>& dblValues) const;

    // spectrum_plot_paint.cpp: the drawing and the readout's texts.
    void drawTrace(QPainter& painter, const FrameLayout& layout, const PlotTrace& trace) const;
    void drawCursor(QPainter& painter, const FrameLayout& layout) const;
    void drawReference(QPainter& painter, const FrameLayout& layout) const;
    void drawRoles(QPainter& painter, const FrameLayout& layout) const;
    void drawMarkers(QPainter& painter, const FrameLayout& layout) const;
    void drawMarkerLabels(QPainter& painter, const FrameLayout& layout) const;
    void drawLegend(QPainter& painter, const FrameLayout& layout) const;
    QRect legendBox(const QRect& plot, const QFontMetrics& metrics) const;
    QStringList readableLines() const; // the positions, then the differences
    QString lineValueText(std::size_t lngLine) const;
    QString lineExactText(std::size_t lngLine) const;
    QString frequencyText(double dblFreq) const;

    std::vector<PlotTrace> plotTraces;
    std::optional<std::pair<double, double>> bandLimits;
    std::vector<double> dblHarmonics;
    bool blnLogScale = false;
    AmplitudeAxis ampAxis;
    Bounds bounds;
    std::optional<std::size_t> lngCursorLine;
    bool blnCursorOnPeak = false;
    std::optional<std::size_t> lngReferenceLine;
    std::optional<engine::LineScale> lineScale;
    LineText lineReadable;
    LineText lineExact;
    RmsText rmsReadable;
    QString strRmsUnit = QStringLiteral("V");
    std::optional<engine::RunningSpeed> speed;
    bool blnLogFreq = false;
    // Per trace on the logarithmic axis: the logarithms of its frequencies above 0 Hz, from its first
    // line above 0 Hz on, so a redraw takes no logarithms.
    struct LogFrequencies
    {
        std::size_t lngFirst = 0;
        std::vector<double> dblLogFreq;
    };
    std::vector<LogFrequencies> logFreqs;
    std::vector<engine::LineRole> lineRoles;
    double dblRoleSpacing = 0.0;
    // The cursor before the press that may turn out to start a double click, which leaves it there.
    std::optional<std::size_t> lngCursorBeforePress;
    bool blnPeakBeforePress = false;
    quint64 lngPressTime = 0; // ms, the event's time stamp
};

} // namespace kestrix::ui
