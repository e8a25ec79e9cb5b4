#pragma once

#include <QColor>
#include <QPoint>
#include <QString>
#include <QWidget>

#include <cstddef>
#include <optional>
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
    bool blnReference = false; // drawn beneath the others
};

// The visible part of the plot: frequencies in Hz; amplitudes in V on the linear axis and in
// log10(V) on the logarithmic one.
struct PlotView
{
    double dblLowFreq = 0.0;
    double dblHighFreq = 1.0;
    double dblLowAmp = 0.0;
    double dblHighAmp = 1.0;
};

// A spectrum plot drawn with QPainter. Each trace is reduced to the lowest and highest value per
// pixel column before it is drawn, so a redraw costs about the same for 401 lines as for 25601.
// Mouse: drag a box to zoom both axes, click to place the cursor, drag with the right or middle
// button to pan, wheel to zoom the frequencies (with Ctrl the amplitudes), double-click to see all.
// Keys: Left/Right move the cursor one line (with Shift ten), Home shows all, + and - zoom.
class SpectrumPlot : public QWidget
{
    Q_OBJECT

public:
    explicit SpectrumPlot(QWidget* parent = nullptr);

    // Replaces all curves. The cursor stays on its line if the cursor trace still has it.
    void setTraces(std::vector<PlotTrace> traces);
    const std::vector<PlotTrace>& traces() const
    {
        return plotTraces;
    }
    // The curve the cursor snaps to: the first one that is not a reference, else the first one.
    const PlotTrace* cursorTrace() const;

    // The band shaded behind the curves, in Hz; none without a band.
    void setBand(std::optional<std::pair<double, double>> band);
    // Vertical markers at these frequencies (Hz), labelled 1x, 2x, ...
    void setHarmonics(std::vector<double> dblFreqs);
    const std::vector<double>& harmonics() const
    {
        return dblHarmonics;
    }

    void setLogScale(bool blnLog);
    bool logScale() const
    {
        return blnLogScale;
    }

    // Everything in view; the amplitude axis fitted to the curves.
    void resetView();
    void setView(const PlotView& newView);
    const PlotView& view() const
    {
        return plotView;
    }

    // The cursor on a line of the cursor trace (clamped to its last line), or no cursor.
    void setCursorLine(std::optional<std::size_t> lngLine);
    std::optional<std::size_t> cursorLine() const
    {
        return lngCursorLine;
    }

    // The frequency (Hz) and the amplitude (V) at a point of the widget; the amplitude axis as shown.
    double freqAt(double dblX) const;
    double voltsAt(double dblY) const;
    // The widget position of a frequency and an amplitude.
    QPointF pointOf(double dblFreq, double dblVolts) const;
    // Where the axes and curves are drawn inside the widget.
    QRect plotArea() const;

    // Draws the whole plot (axes, curves, legend, markers, cursor) into area, for the screen or a file.
    void paintPlot(QPainter& painter, const QRect& area) const;

signals:
    void cursorMoved(std::size_t lngLine);
    void viewChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    struct Layout;
    Layout layoutFor(const QRect& area, const QFontMetrics& metrics) const;
    double ampOf(double dblVolts) const;
    double voltsOfAmp(double dblAmp) const;
    void fitAmplitudes();
    void zoomFreq(double dblCentre, double dblFactor);
    void zoomAmp(double dblCentre, double dblFactor);
    void moveCursorBy(std::ptrdiff_t lngLines);
    void drawGrid(QPainter& painter, const Layout& layout) const;
    void drawTraces(QPainter& painter, const Layout& layout) const;
    void drawMarkers(QPainter& painter, const Layout& layout) const;
    void drawLegend(QPainter& painter, const Layout& layout) const;
    QRect legendBox(const QRect& plot, const QFontMetrics& metrics) const;

    std::vector<PlotTrace> plotTraces;
    std::optional<std::pair<double, double>> bandLimits;
    std::vector<double> dblHarmonics;
    bool blnLogScale = false;
    PlotView plotView;
    std::optional<std::size_t> lngCursorLine;

    enum class Drag { None, Box, Pan };
    Drag drag = Drag::None;
    QPoint ptDragStart;
    QPoint ptDragNow;
    PlotView dragStartView;
};

} // namespace kestrix::ui
