// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/view/plot_view.h"

#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <cstddef>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

class QPainter;

namespace kestrix::ui {

// How one axis of a frame reads and labels its values.
struct FrameAxis
{
    QString strTitle;
    bool blnLog = false;       // pixels and ticks by the logarithm of the values (all above 0)
    bool blnFrequency = false; // a frequency axis (Hz): ticks in units of dblUnit, decades when logarithmic
    double dblUnit = 1.0;      // Hz of one labelled unit: 1 for Hz, a running speed for orders
    bool blnLabelEnds = false; // the view's two ends labelled as well (a time axis shows where it starts)
    // Names at given values instead of computed ticks (a band axis), ascending. Where not all fit, every
    // k-th is kept, counted from lngAnchor, k the first of lngStrides that keeps the names apart.
    std::vector<double> dblNamed{};
    std::vector<QString> strNames{};
    std::size_t lngAnchor = 0;
    std::vector<std::size_t> lngStrides{};
};

// The part of the data a frame shows, in the axes' own units.
struct FrameView
{
    engine::AxisRange x;
    engine::AxisRange y;
};

// Labelled ticks of one axis as drawn: the values and their labels, and unlabelled minor lines.
struct FrameTicks
{
    std::vector<double> dblValues;
    std::vector<QString> strLabels;
    std::vector<double> dblMinor;
};

// Where a frame draws: the plot inside the area, the ticks, and the mapping between values and pixels
// (the low end of the horizontal axis at the plot's left pixel, its high end one past the right one; the
// vertical axis likewise from one row below the bottom row to the top row, or from the bottom row to one
// above the top row where bars stand on the bottom row).
struct FrameLayout
{
    QRect area;
    QRect plot;
    FrameTicks xTicks;
    FrameTicks yTicks;
    FrameView view;
    bool blnLogX = false;
    bool blnLogY = false;
    double dblRowShift = 0.0; // rows the vertical axis is moved up

    // The pixel column of x and the pixel row of y, within a million pixels of the plot (a value not
    // above 0 on a logarithmic axis lies far beyond its low end).
    double xOf(double dblX) const;
    double yOf(double dblY) const;
    // The values at a pixel column and row.
    double xAt(double dblColumn) const;
    double yAt(double dblRow) const;
};

// The frame every plot of the view stands on: the axes with their titles and ticks (labels measured and
// thinned so that none touches another), linear or logarithmic, a grid, the readout placed inside the
// plot where it hides the least of the data, and saving the plot as a picture. Mouse and keys: drag a
// box to zoom both axes, click (plotClicked), drag with the right or middle button to pan, the wheel
// zooms the horizontal axis about the pointer (with Ctrl the vertical one), a double click or Home shows
// everything, + and - zoom the horizontal axis. The view is always what the plot's limitView keeps.
// A plot adds what it draws and what it reads.
class PlotFrame : public QWidget
{
    Q_OBJECT

public:
    explicit PlotFrame(QWidget* parent = nullptr);

    // Where the data is drawn inside the widget.
    QRect plotArea() const;
    // Draws the whole plot (axes, data, readout) into area, for the screen or a file.
    void paintPlot(QPainter& painter, const QRect& area) const;
    // Saves the plot as shown in the format its name asks for: PNG (.png), JPEG (.jpg, .jpeg) or SVG
    // (.svg), at least 640 x 400 pixels. Another name or a failure: false, strError says why, and no file
    // is left half written.
    bool saveImage(const QString& strPath, QString& strError) const;
    // Whether a name asks for one of those formats.
    static bool isPictureName(const QString& strPath);
    // Saves a picture of size px painted by paint (given the painter, its font set to font, and the
    // size) as saveImage does; strTitle names it in an SVG file.
    static bool savePicture(const QString& strPath, const QSize& size, const QString& strTitle, const QFont& font,
                            const std::function<void(QPainter&, const QSize&)>& paint, QString& strError);

    // The tick labels as drawn from the left and from the bottom up.
    std::vector<QString> horizontalTickLabels() const;
    std::vector<QString> verticalTickLabels() const;

signals:
    void viewChanged();

protected:
    // What a plot tells its frame.
    virtual FrameAxis horizontalAxis() const = 0;
    virtual FrameAxis verticalAxis() const = 0;
    virtual bool hasData() const = 0;
    virtual QString emptyText() const = 0;
    virtual FrameView fullView() const = 0;
    // A view kept within the data (and at least a few lines or cells wide).
    virtual FrameView limitView(const FrameView& wanted) const = 0;
    // Drawn inside the plot: beneath the grid, then above it.
    virtual void paintBackdrop(QPainter& /*painter*/, const FrameLayout& /*layout*/) const {}
    virtual void paintData(QPainter& painter, const FrameLayout& layout) const = 0;
    // Room and drawing right of the plot (a colour bar); px for a plot intPlotHeight high.
    virtual int rightRoom(const QFontMetrics& metrics, const FrameView& view, int intPlotHeight) const;
    virtual void paintRightRoom(QPainter& /*painter*/, const FrameLayout& /*layout*/) const {}
    // The readout: its lines, empty for none; in a line above the plot rather than inside it where
    // readoutAbove says so (a plot that fills its area with data).
    virtual QStringList readoutLines() const
    {
        return {};
    }
    virtual bool readoutAbove() const
    {
        return false;
    }
    // How much of the data a box inside the plot would hide (0: nothing), and boxes the readout keeps
    // clear of (the legend).
    virtual double hiddenData(const QRect& /*box*/, const FrameLayout& /*layout*/) const
    {
        return 0.0;
    }
    virtual std::vector<QRect> keptClear(const FrameLayout& /*layout*/, const QFontMetrics& /*metrics*/) const
    {
        return {};
    }
    // Input a plot takes: a click (a left press and release without a drag), a double click, keys before
    // the frame's own (true when taken), the pointer over the plot (none when it leaves).
    virtual void plotClicked(const QPointF& /*point*/, Qt::KeyboardModifiers /*modifiers*/) {}
    // Times are the events' time stamps, ms.
    virtual void plotPressed(quint64 /*lngTime*/) {}
    virtual void plotDoubleClicked(quint64 lngTime);
    virtual bool plotKey(QKeyEvent* /*event*/)
    {
        return false;
    }
    virtual void pointerMoved(std::optional<QPointF> /*point*/) {}
    // The value + and - zoom the horizontal axis about.
    virtual double keyZoomCentre() const;
    // The room left of the plot for the vertical axis's labels, given the widest one it draws itself
    // (plots stacked over one horizontal axis take the widest of them all, so that they line up).
    virtual int verticalLabelRoom(const QFontMetrics& /*metrics*/, int intOwnWidth) const
    {
        return intOwnWidth;
    }

    const FrameView& frameView() const
    {
        return view;
    }
    // The view as asked, through limitView; a view with its low end not below its high end is ignored.
    void setFrameView(const FrameView& wanted);
    // The view as limitView keeps it, without asking about its ends (a pan or a zoom past the data).
    void applyFrameView(const FrameView& wanted);
    void resetFrameView();
    bool showsEverything() const;
    FrameLayout layoutFor(const QRect& area, const QFontMetrics& metrics) const;
    FrameLayout currentLayout() const
    {
        return layoutFor(rect(), fontMetrics());
    }
    // The width of the widest vertical label the layout for area draws itself.
    int labelWidthFor(const QRect& area, const QFontMetrics& metrics) const;
    void zoomHorizontal(double dblCentre, double dblFactor);
    void zoomVertical(double dblCentre, double dblFactor);
    // The labelled ticks of an axis intLength px long, as many as fit without two labels touching; a
    // linear one at dblPreferred (ascending; every second, fourth ... one where they would touch) while
    // two or more of them lie in view.
    FrameTicks ticksFor(const FrameAxis& axis, engine::AxisRange range, int intLength, bool blnHorizontal,
                        const QFontMetrics& metrics, const std::vector<double>& dblPreferred = {}) const;
    // The readout's box as it would be drawn, for tests of where it lands; empty without a readout.
    QRect readoutBox(const FrameLayout& layout, const QFontMetrics& metrics, QStringList& strLines) const;

    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void leaveEvent(QEvent* event) override;

    bool blnGrid = true;                  // grid lines across the plot at the ticks
    bool blnHorizontalLabels = true;      // the horizontal axis's labels and title drawn (else its ticks alone)
    std::vector<double> dblVerticalTicks; // the values the vertical axis is best labelled at (ticksFor)
    bool blnBarsOnBottomRow = true;       // the vertical axis's low end on the bottom row (else cells tile the plot)
    QColor clrBox;                        // the zoom box's outline
    QColor clrBoxFill;                    // and its fill

private:
    std::pair<int, int> plotRows(const QRect& area, const QFontMetrics& metrics) const; // its top and bottom
    static int labelWidth(const FrameTicks& ticks, const QFontMetrics& metrics);
    void drawAxes(QPainter& painter, const FrameLayout& layout) const;
    void drawReadout(QPainter& painter, const FrameLayout& layout) const;

    FrameView view;
    enum class Drag { None, Box, Pan };
    Drag drag = Drag::None;
    QPoint ptDragStart;
    QPoint ptDragNow;
    FrameView dragStartView;
};

} // namespace kestrix::ui
