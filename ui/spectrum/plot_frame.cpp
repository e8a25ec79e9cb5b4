// SPDX-License-Identifier: GPL-3.0-or-later
#include "plot_frame.h"

#include "engine/view/axis_labels.h"
#include "engine/view/octave_view.h"

#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QSaveFile>
#include <QSvgGenerator>

#include <algorithm>
#include <limits>
#include <string>
#include <utility>

namespace kestrix::ui {
namespace {

constexpr int intPad = 8;              // px between the widget's edge, labels and the axes
constexpr int intTickLength = 4;       // px
constexpr double dblMaxPixels = 1e6;   // positions beyond this distance are clamped before drawing
constexpr QSize sizMinImage(640, 400); // px, a saved picture stays readable even from a small window
constexpr int intJpegQuality = 92;
const QColor clrGrid(225, 225, 225);
const QColor clrMinorGrid(240, 240, 240);
const QColor clrAxis(90, 90, 90);

// Ticks as the frame draws them, their labels in the toolkit's text.
FrameTicks frameTicks(engine::AxisTicks ticks)
{
    FrameTicks frame{std::move(ticks.dblValues), {}, std::move(ticks.dblMinor)};
    for (const std::string& strLabel : ticks.strLabels) {
        frame.strLabels.push_back(QString::fromStdString(strLabel));
    }
    return frame;
}

// Half a label's extent along its axis: half its width across, half a line's height up.
double halfExtent(const QString& strLabel, bool blnHorizontal, const QFontMetrics& metrics)
{
    return (blnHorizontal ? metrics.horizontalAdvance(strLabel) : metrics.height()) / 2.0;
}

// The names of a band axis in view, thinned by the first of its strides that keeps them apart.
FrameTicks namedTicks(const FrameAxis& axis, engine::AxisRange range, int intLength, bool blnHorizontal,
                      const QFontMetrics& metrics, int intGap)
{
    FrameTicks ticks;
    for (const std::size_t lngStride : axis.lngStrides) {
        ticks = {};
        for (const std::size_t i : engine::namesAtStride(axis.dblNamed.size(), axis.lngAnchor, lngStride)) {
            if (axis.dblNamed[i] >= range.dblLow && axis.dblNamed[i] <= range.dblHigh) {
                ticks.dblValues.push_back(axis.dblNamed[i]);
                ticks.strLabels.push_back(axis.strNames[i]);
            }
        }
        std::vector<double> dblHalves;
        for (const QString& strLabel : ticks.strLabels) {
            dblHalves.push_back(halfExtent(strLabel, blnHorizontal, metrics));
        }
        if (engine::labelsApart(engine::labelSpans(ticks.dblValues, dblHalves, range, axis.blnLog, intLength),
                                intGap)) {
            break;
        }
    }
    return ticks;
}

void drawUpwards(QPainter& painter, double dblX, double dblCentreY, const QString& strText)
{
    painter.save();
    painter.translate(dblX, dblCentreY + painter.fontMetrics().horizontalAdvance(strText) / 2.0);
    painter.rotate(-90);
    painter.drawText(QPointF(0, 0), strText);
    painter.restore();
}

// The lines of a readout fitted to intWidth px: a line too wide breaks at its wide spaces, and a
// piece still too wide is cut with an ellipsis.
QStringList fittedLines(const QStringList& strLines, int intWidth, const QFontMetrics& metrics)
{
    const QChar chrSpace(0x3000);
    QStringList strFitted;
    for (const QString& strLine : strLines) {
        if (metrics.horizontalAdvance(strLine) <= intWidth) {
            strFitted << strLine;
            continue;
        }
        QString strCurrent;
        for (const QString& strPiece : strLine.split(chrSpace)) {
            const QString strJoined = strCurrent.isEmpty() ? strPiece : strCurrent + chrSpace + strPiece;
            if (strCurrent.isEmpty() || metrics.horizontalAdvance(strJoined) <= intWidth) {
                strCurrent = strJoined;
            } else {
                strFitted << metrics.elidedText(strCurrent, Qt::ElideRight, intWidth);
                strCurrent = strPiece;
            }
        }
        strFitted << metrics.elidedText(strCurrent, Qt::ElideRight, intWidth);
    }
    return strFitted;
}

} // namespace

double FrameLayout::xOf(double dblX) const
{
    const double dblLow = engine::axisPosition(view.x.dblLow, blnLogX);
    const double dblHigh = engine::axisPosition(view.x.dblHigh, blnLogX);
    const double dblColumn =
        plot.left() + (engine::axisPosition(dblX, blnLogX) - dblLow) / (dblHigh - dblLow) * plot.width();
    return std::clamp(dblColumn, plot.left() - dblMaxPixels, plot.right() + dblMaxPixels);
}

double FrameLayout::yOf(double dblY) const
{
    const double dblLow = engine::axisPosition(view.y.dblLow, blnLogY);
    const double dblHigh = engine::axisPosition(view.y.dblHigh, blnLogY);
    const double dblRow =
        plot.top() + (dblHigh - engine::axisPosition(dblY, blnLogY)) / (dblHigh - dblLow) * plot.height() - dblRowShift;
    return std::clamp(dblRow, plot.top() - dblMaxPixels, plot.bottom() + dblMaxPixels);
}

double FrameLayout::xAt(double dblColumn) const
{
    const double dblLow = engine::axisPosition(view.x.dblLow, blnLogX);
    const double dblHigh = engine::axisPosition(view.x.dblHigh, blnLogX);
    return engine::valueAtPosition(dblLow + (dblColumn - plot.left()) / plot.width() * (dblHigh - dblLow), blnLogX);
}

double FrameLayout::yAt(double dblRow) const
{
    const double dblLow = engine::axisPosition(view.y.dblLow, blnLogY);
    const double dblHigh = engine::axisPosition(view.y.dblHigh, blnLogY);
    return engine::valueAtPosition(dblHigh - (dblRow + dblRowShift - plot.top()) / plot.height() * (dblHigh - dblLow),
                                   blnLogY);
}

PlotFrame::PlotFrame(QWidget* parent) : QWidget(parent), clrBox(30, 90, 200), clrBoxFill(30, 90, 200, 30)
{
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QRect PlotFrame::plotArea() const
{
    return currentLayout().plot;
}

int PlotFrame::rightRoom(const QFontMetrics& metrics, const FrameView& /*view*/, int /*intPlotHeight*/) const
{
    // Half the widest frequency label, which may stand at the right edge.
    return metrics.horizontalAdvance(QStringLiteral("00000")) / 2;
}

FrameTicks PlotFrame::ticksFor(const FrameAxis& axis, engine::AxisRange range, int intLength, bool blnHorizontal,
                               const QFontMetrics& metrics, const std::vector<double>& dblPreferred) const
{
    if (!(range.dblHigh > range.dblLow)) {
        return {};
    }
    // From at most ten labels across (one per four digits' width) or one per 40 px up, fewer until no two
    // labels touch.
    constexpr std::size_t lngMostAcross = 10;
    constexpr int intPixelsPerTickUp = 40;
    const int intGap = blnHorizontal ? metrics.horizontalAdvance(QStringLiteral("  ")) : metrics.height() / 3;
    const int intLabel = blnHorizontal ? metrics.horizontalAdvance(QStringLiteral("0000")) + intGap
                                       : std::max(intPixelsPerTickUp, metrics.height() + intGap);
    if (!axis.dblNamed.empty()) {
        return namedTicks(axis, range, intLength, blnHorizontal, metrics, intGap);
    }
    auto lngMax = static_cast<std::size_t>(std::max(1, intLength / std::max(1, intLabel)));
    if (blnHorizontal) {
        lngMax = std::min(lngMax, lngMostAcross);
    }
    const engine::TickScale scale{axis.blnLog, axis.blnFrequency, axis.dblUnit, axis.blnLabelEnds};
    return frameTicks(
        engine::thinnedTicks(scale, range, lngMax, dblPreferred, intLength, intGap, [&](const std::string& strLabel) {
            return halfExtent(QString::fromStdString(strLabel), blnHorizontal, metrics);
        }));
}

std::pair<int, int> PlotFrame::plotRows(const QRect& area, const QFontMetrics& metrics) const
{
    const int intLine = metrics.height();
    const int intHeader = readoutAbove() ? intLine + intPad / 2 : 0;
    const int intTop = area.top() + intPad + intLine / 2 + intHeader;
    // Beneath the plot: the ticks and, where they are drawn, their labels and the axis's title.
    const int intBelow = blnHorizontalLabels ? intPad + 2 * intLine + intTickLength : intPad / 2 + intTickLength;
    return {intTop, area.bottom() - intBelow};
}

int PlotFrame::labelWidth(const FrameTicks& ticks, const QFontMetrics& metrics)
{
    int intWidth = metrics.horizontalAdvance(QStringLiteral("0.000"));
    for (const QString& strLabel : ticks.strLabels) {
        intWidth = std::max(intWidth, metrics.horizontalAdvance(strLabel));
    }
    return intWidth;
}

int PlotFrame::labelWidthFor(const QRect& area, const QFontMetrics& metrics) const
{
    const auto [intTop, intBottom] = plotRows(area, metrics);
    return labelWidth(
        ticksFor(verticalAxis(), view.y, std::max(20, intBottom - intTop), false, metrics, dblVerticalTicks), metrics);
}

FrameLayout PlotFrame::layoutFor(const QRect& area, const QFontMetrics& metrics) const
{
    FrameLayout layout;
    layout.area = area;
    layout.view = view;
    const FrameAxis across = horizontalAxis();
    const FrameAxis up = verticalAxis();
    layout.blnLogX = across.blnLog;
    layout.blnLogY = up.blnLog;
    layout.dblRowShift = blnBarsOnBottomRow ? 1.0 : 0.0;
    const auto [intTop, intBottom] = plotRows(area, metrics);
    const int intPlotHeight = std::max(20, intBottom - intTop);
    layout.yTicks = ticksFor(up, view.y, intPlotHeight, false, metrics, dblVerticalTicks);
    const int intLabelWidth = verticalLabelRoom(metrics, labelWidth(layout.yTicks, metrics));
    const int intLeft = area.left() + intPad + metrics.height() + intPad + intLabelWidth + intTickLength;
    const int intRight = area.right() - intPad - rightRoom(metrics, view, intPlotHeight);
    layout.plot =
        QRect(QPoint(intLeft, intTop), QPoint(std::max(intLeft + 10, intRight), std::max(intTop + 10, intBottom)));
    layout.xTicks = ticksFor(across, view.x, layout.plot.width(), true, metrics);
    return layout;
}

std::vector<QString> PlotFrame::horizontalTickLabels() const
{
    return currentLayout().xTicks.strLabels;
}

std::vector<QString> PlotFrame::verticalTickLabels() const
{
    return currentLayout().yTicks.strLabels;
}

void PlotFrame::paintPlot(QPainter& painter, const QRect& area) const
{
    painter.save();
    painter.setClipRect(area);
    painter.fillRect(area, Qt::white);
    if (!hasData()) {
        painter.setPen(QColor(120, 120, 120));
        painter.drawText(area.adjusted(intPad, intPad, -intPad, -intPad), Qt::AlignCenter | Qt::TextWordWrap,
                         emptyText());
        painter.restore();
        return;
    }
    const FrameLayout layout = layoutFor(area, painter.fontMetrics());
    paintBackdrop(painter, layout);
    drawAxes(painter, layout);
    paintData(painter, layout);
    paintRightRoom(painter, layout);
    drawReadout(painter, layout);
    painter.restore();
}

void PlotFrame::drawAxes(QPainter& painter, const FrameLayout& layout) const
{
    const QRect& plot = layout.plot;
    const QFontMetrics metrics = painter.fontMetrics();
    if (blnGrid) {
        painter.setPen(clrMinorGrid);
        for (const double dblMinor : layout.xTicks.dblMinor) {
            const double dblX = layout.xOf(dblMinor);
            painter.drawLine(QPointF(dblX, plot.top()), QPointF(dblX, plot.bottom()));
        }
        for (const double dblMinor : layout.yTicks.dblMinor) {
            const double dblY = layout.yOf(dblMinor);
            painter.drawLine(QPointF(plot.left(), dblY), QPointF(plot.right(), dblY));
        }
    }
    for (std::size_t i = 0; i < layout.xTicks.dblValues.size(); ++i) {
        const double dblX = layout.xOf(layout.xTicks.dblValues[i]);
        if (blnGrid) {
            painter.setPen(clrGrid);
            painter.drawLine(QPointF(dblX, plot.top()), QPointF(dblX, plot.bottom()));
        }
        painter.setPen(clrAxis);
        painter.drawLine(QPointF(dblX, plot.bottom() + 1), QPointF(dblX, plot.bottom() + 1 + intTickLength));
        if (!blnHorizontalLabels) {
            continue;
        }
        const QString& strLabel = layout.xTicks.strLabels[i];
        painter.drawText(QPointF(dblX - metrics.horizontalAdvance(strLabel) / 2.0,
                                 plot.bottom() + 1 + intTickLength + metrics.ascent() + 2),
                         strLabel);
    }
    for (std::size_t i = 0; i < layout.yTicks.dblValues.size(); ++i) {
        const double dblY = layout.yOf(layout.yTicks.dblValues[i]);
        if (blnGrid) {
            painter.setPen(clrGrid);
            painter.drawLine(QPointF(plot.left(), dblY), QPointF(plot.right(), dblY));
        }
        painter.setPen(clrAxis);
        painter.drawLine(QPointF(plot.left() - 1 - intTickLength, dblY), QPointF(plot.left() - 1, dblY));
        const QString& strLabel = layout.yTicks.strLabels[i];
        painter.drawText(QPointF(plot.left() - 1 - intTickLength - 2 - metrics.horizontalAdvance(strLabel),
                                 dblY + metrics.ascent() / 2.0 - 1),
                         strLabel);
    }
    painter.setPen(clrAxis);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(plot.adjusted(-1, -1, 0, 0));
    if (blnHorizontalLabels) {
        const QString strAcross = horizontalAxis().strTitle;
        painter.drawText(QPointF(plot.center().x() - metrics.horizontalAdvance(strAcross) / 2.0,
                                 layout.area.bottom() - intPad - metrics.descent()),
                         strAcross);
    }
    drawUpwards(painter, layout.area.left() + intPad + metrics.ascent(), plot.center().y(), verticalAxis().strTitle);
}

QRect PlotFrame::readoutBox(const FrameLayout& layout, const QFontMetrics& metrics, QStringList& strLines) const
{
    strLines = readoutLines();
    if (strLines.isEmpty()) {
        return {};
    }
    const QRect& plot = layout.plot;
    const int intLine = metrics.height();
    if (readoutAbove()) {
        strLines = QStringList{metrics.elidedText(strLines.join(QChar(0x3000)), Qt::ElideRight, plot.width())};
        return {plot.left(), plot.top() - intPad / 2 - intLine - 1, plot.width(), intLine};
    }
    strLines = fittedLines(strLines, std::max(intLine, plot.width() - 4 * intPad), metrics);
    int intWidth = 0;
    for (const QString& strLine : strLines) {
        intWidth = std::max(intWidth, metrics.horizontalAdvance(strLine));
    }
    const QSize size(intWidth + 2 * intPad, static_cast<int>(strLines.size()) * intLine + intPad);
    // Inside the plot, where it hides the least of the data: along the top and the bottom edges (the
    // corners first, then eight places between them), and below each box it keeps clear of.
    constexpr int intPlaces = 8;
    const QRect inner = plot.adjusted(intPad, intPad, -intPad, -intPad);
    const int intFree = std::max(0, inner.width() - size.width());
    std::vector<QPoint> ptCorners;
    for (const int intTop : {inner.top(), inner.bottom() - size.height() + 1}) {
        ptCorners.emplace_back(inner.left(), intTop);
        ptCorners.emplace_back(inner.left() + intFree, intTop);
        for (int intPlace = 1; intPlace < intPlaces; ++intPlace) {
            ptCorners.emplace_back(inner.left() + intFree * intPlace / intPlaces, intTop);
        }
    }
    const std::vector<QRect> clear = keptClear(layout, metrics);
    for (const QRect& box : clear) {
        ptCorners.emplace_back(box.right() - size.width() + 1, box.bottom() + intPad);
        ptCorners.emplace_back(inner.left(), box.bottom() + intPad);
    }
    QRect best;
    double dblBest = std::numeric_limits<double>::infinity();
    for (const QPoint& ptCorner : ptCorners) {
        QRect box(ptCorner, size);
        // Kept inside the plot, the top left first where it cannot be (a plot smaller than the box).
        box.moveRight(std::min(box.right(), plot.right() - 1));
        box.moveBottom(std::min(box.bottom(), plot.bottom() - 1));
        box.moveLeft(std::max(box.left(), plot.left() + 1));
        box.moveTop(std::max(box.top(), plot.top() + 1));
        double dblCost = hiddenData(box, layout);
        for (const QRect& kept : clear) {
            dblCost += box.intersects(kept) ? 1e12 : 0.0;
        }
        if (dblCost < dblBest) {
            dblBest = dblCost;
            best = box;
        }
    }
    return best;
}

void PlotFrame::drawReadout(QPainter& painter, const FrameLayout& layout) const
{
    const QFontMetrics metrics = painter.fontMetrics();
    QStringList strLines;
    const QRect box = readoutBox(layout, metrics, strLines);
    if (box.isEmpty()) {
        return;
    }
    painter.save();
    painter.setClipRect(layout.area);
    if (readoutAbove()) {
        painter.setPen(Qt::black);
        painter.drawText(QPointF(box.left(), box.top() + metrics.ascent()), strLines.front());
        painter.restore();
        return;
    }
    painter.setPen(QColor(170, 170, 170));
    painter.setBrush(QColor(255, 255, 255, 225));
    painter.drawRect(box);
    painter.setPen(Qt::black);
    int intY = box.top() + intPad / 2 + metrics.ascent();
    for (const QString& strLine : strLines) {
        painter.drawText(QPointF(box.left() + intPad, intY), strLine);
        intY += metrics.height();
    }
    painter.restore();
}

void PlotFrame::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    paintPlot(painter, rect());
    if (drag == Drag::Box) {
        painter.setPen(QPen(clrBox, 1, Qt::DashLine));
        painter.setBrush(clrBoxFill);
        painter.drawRect(QRect(ptDragStart, ptDragNow).normalized());
    }
    if (hasFocus()) {
        painter.setPen(QPen(palette().highlight().color(), 1, Qt::DotLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

bool PlotFrame::isPictureName(const QString& strPath)
{
    const QString strSuffix = QFileInfo(strPath).suffix().toLower();
    return strSuffix == QLatin1String("png") || strSuffix == QLatin1String("jpg") ||
           strSuffix == QLatin1String("jpeg") || strSuffix == QLatin1String("svg");
}

bool PlotFrame::saveImage(const QString& strPath, QString& strError) const
{
    return savePicture(
        strPath, size().expandedTo(sizMinImage), accessibleName(), font(),
        [this](QPainter& painter, const QSize& size) { paintPlot(painter, QRect(QPoint(0, 0), size)); }, strError);
}

bool PlotFrame::savePicture(const QString& strPath, const QSize& size, const QString& strTitle, const QFont& font,
                            const std::function<void(QPainter&, const QSize&)>& paint, QString& strError)
{
    if (!isPictureName(strPath)) {
        strError = tr("画像の形式は名前の拡張子で決まります。.png（PNG）、.jpg か .jpeg（JPEG）、"
                      ".svg（SVG）のどれかを付けてください。");
        return false;
    }
    const QString strSuffix = QFileInfo(strPath).suffix().toLower();
    QSaveFile file(strPath);
    bool blnWritten = file.open(QIODevice::WriteOnly);
    if (blnWritten && strSuffix == QLatin1String("svg")) {
        QSvgGenerator generator;
        generator.setOutputDevice(&file);
        generator.setSize(size);
        generator.setViewBox(QRect(QPoint(0, 0), size));
        generator.setTitle(QStringLiteral("Kestrix ") + strTitle);
        QPainter painter(&generator);
        painter.setFont(font);
        paint(painter, size);
        painter.end();
    } else if (blnWritten) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setFont(font);
        paint(painter, size);
        painter.end();
        blnWritten =
            strSuffix == QLatin1String("png") ? image.save(&file, "PNG") : image.save(&file, "JPEG", intJpegQuality);
    }
    blnWritten = blnWritten && file.commit();
    if (!blnWritten) {
        strError = file.errorString().isEmpty() ? tr("画像を書き込めませんでした。") : file.errorString();
    }
    return blnWritten;
}

} // namespace kestrix::ui
