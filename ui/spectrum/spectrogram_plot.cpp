// SPDX-License-Identifier: GPL-3.0-or-later
#include "spectrogram_plot.h"

#include "engine/run/number_text.h"
#include "engine/view/plot_axis.h"

#include <QPainter>
#include <QSaveFile>
#include <QSvgGenerator>

#include <algorithm>
#include <cmath>
#include <span>
#include <vector>

namespace kestrix::ui {
namespace {

constexpr int intPad = 8;              // px between the widget's edge, labels and the axes
constexpr int intTickLength = 4;       // px
constexpr int intBarWidth = 16;        // px of the colour bar
constexpr int intPixelsPerXTick = 90;  // px between time labels at most
constexpr int intPixelsPerYTick = 40;  // px between frequency and level labels at most
constexpr QSize sizMinImage(640, 400); // px, a saved picture stays readable even from a small window
const QColor clrAxis(90, 90, 90);

struct TickSet
{
    std::vector<double> dblValues;
    std::vector<QString> strLabels;
};

TickSet ticksOf(double dblLow, double dblHigh, int intLength, int intPixelsPerTick)
{
    TickSet ticks;
    const auto lngMax = static_cast<std::size_t>(std::max(2, intLength / intPixelsPerTick));
    ticks.dblValues = engine::linearTicks(dblLow, dblHigh, lngMax);
    const double dblStep = engine::niceStep(dblHigh - dblLow, lngMax);
    for (const double dblValue : ticks.dblValues) {
        ticks.strLabels.push_back(QString::fromStdString(engine::tickLabel(dblValue, dblStep)));
    }
    return ticks;
}

TickSet frequencyTicksOf(double dblLow, double dblHigh, int intLength, bool blnLog)
{
    const auto lngMax = static_cast<std::size_t>(std::max(2, intLength / intPixelsPerYTick));
    engine::AxisTicks ticks = engine::frequencyTicks(dblLow, dblHigh, lngMax, 1.0, blnLog);
    TickSet set;
    set.dblValues = std::move(ticks.dblValues);
    for (const std::string& strLabel : ticks.strLabels) {
        set.strLabels.push_back(QString::fromStdString(strLabel));
    }
    return set;
}

int widestLabel(const QFontMetrics& metrics, const TickSet& ticks, const QString& strAtLeast)
{
    int intWidth = metrics.horizontalAdvance(strAtLeast);
    for (const QString& strLabel : ticks.strLabels) {
        intWidth = std::max(intWidth, metrics.horizontalAdvance(strLabel));
    }
    return intWidth;
}

// Text rotated to read upwards, centred on a vertical line at dblX.
void drawUpwards(QPainter& painter, double dblX, double dblCentreY, const QString& strText)
{
    painter.save();
    painter.translate(dblX, dblCentreY + painter.fontMetrics().horizontalAdvance(strText) / 2.0);
    painter.rotate(-90);
    painter.drawText(QPointF(0, 0), strText);
    painter.restore();
}

} // namespace

struct SpectrogramPlot::Layout
{
    QRect area;
    QRect plot;
    QRect bar;
    TickSet timeTicks;
    TickSet freqTicks;
    TickSet levelTicks;
};

SpectrogramPlot::SpectrogramPlot(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("pltSpectrogram"));
    setAccessibleName(tr("スペクトログラム"));
    setAccessibleDescription(tr("左右キー：区間　上下キー：周波数の線　Enter：区間を選ぶ　Home：全体表示"));
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setMinimumSize(360, 240);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void SpectrogramPlot::setSpectrogram(std::shared_ptr<const engine::Spectrogram> spectrogram)
{
    setSpectrogram(std::move(spectrogram), std::nullopt);
}

void SpectrogramPlot::setSpectrogram(std::shared_ptr<const engine::Spectrogram> spectrogram,
                                     const engine::LevelRange& suggested)
{
    setSpectrogram(std::move(spectrogram), std::optional<engine::LevelRange>(suggested));
}

void SpectrogramPlot::setSpectrogram(std::shared_ptr<const engine::Spectrogram> spectrogram,
                                     std::optional<engine::LevelRange> suggested)
{
    shownSpectrogram = std::move(spectrogram);
    suggestedLevels = suggested;
    pictureKey.reset();
    cursor.reset();
    hover.reset();
    plotView = shownSpectrogram ? engine::fullView(*shownSpectrogram, blnLogFreq) : engine::SpectrogramView{};
    resetLevelRange();
    update();
    emit viewChanged();
    emit readoutChanged(readoutText());
}

bool SpectrogramPlot::setLevelRange(const engine::LevelRange& range)
{
    if (!std::isfinite(range.dblFloor) || !std::isfinite(range.dblTop) || !(range.dblFloor < range.dblTop)) {
        return false;
    }
    if (!(range == levels)) {
        levels = range;
        update();
        emit levelRangeChanged(levels.dblFloor, levels.dblTop);
    }
    return true;
}

bool SpectrogramPlot::setLevelFloor(double dblFloor)
{
    return setLevelRange({dblFloor, levels.dblTop});
}

bool SpectrogramPlot::setLevelTop(double dblTop)
{
    return setLevelRange({levels.dblFloor, dblTop});
}

void SpectrogramPlot::resetLevelRange()
{
    if (shownSpectrogram && !suggestedLevels) {
        suggestedLevels = engine::suggestedLevelRange(*shownSpectrogram);
    }
    setLevelRange(suggestedLevels.value_or(engine::LevelRange{}));
}

void SpectrogramPlot::setLogFrequency(bool blnLog)
{
    if (blnLog == blnLogFreq) {
        return;
    }
    blnLogFreq = blnLog;
    if (!shownSpectrogram) {
        update();
        return;
    }
    // A view from 0 Hz starts at the first line on the logarithmic axis; back on the linear one, a view
    // from the first line starts at 0 Hz again.
    const engine::SpectrogramView linearFull = engine::fullView(*shownSpectrogram, false);
    const engine::SpectrogramView logFull = engine::fullView(*shownSpectrogram, true);
    engine::SpectrogramView moved = plotView;
    if (blnLog && moved.dblLowFreq <= logFull.dblLowFreq) {
        moved.dblLowFreq = logFull.dblLowFreq;
    } else if (!blnLog && moved.dblLowFreq <= logFull.dblLowFreq) {
        moved.dblLowFreq = linearFull.dblLowFreq;
    }
    plotView = engine::viewWithin(*shownSpectrogram, moved, blnLogFreq);
    update();
    emit viewChanged();
}

std::vector<QString> SpectrogramPlot::frequencyTickLabels() const
{
    return layoutFor(rect(), fontMetrics()).freqTicks.strLabels;
}

double SpectrogramPlot::freqAxisOf(double dblFreq) const
{
    return blnLogFreq ? std::log10(dblFreq) : dblFreq;
}

double SpectrogramPlot::freqOfAxis(double dblAxis) const
{
    return blnLogFreq ? std::pow(10.0, dblAxis) : dblAxis;
}

void SpectrogramPlot::resetView()
{
    if (shownSpectrogram) {
        setView(engine::fullView(*shownSpectrogram, blnLogFreq));
    }
}

void SpectrogramPlot::setView(const engine::SpectrogramView& newView)
{
    if (!shownSpectrogram) {
        return;
    }
    const engine::SpectrogramView kept = engine::viewWithin(*shownSpectrogram, newView, blnLogFreq);
    if (!(kept == plotView)) {
        plotView = kept;
        update();
        emit viewChanged();
    }
}

void SpectrogramPlot::setCursorCell(std::optional<SpectrogramCell> cell)
{
    if (!shownSpectrogram || shownSpectrogram->segmentCount() == 0 || !cell) {
        cursor.reset();
    } else {
        cursor = SpectrogramCell{std::clamp<std::int64_t>(cell->lngSegment, 0, shownSpectrogram->segmentCount() - 1),
                                 std::min(cell->lngLine, shownSpectrogram->lineCount() - 1)};
        emit cursorMoved(cursor->lngSegment, cursor->lngLine);
    }
    update();
    emit readoutChanged(readoutText());
}

QString SpectrogramPlot::cellText(const SpectrogramCell& cell) const
{
    const engine::Spectrogram& data = *shownSpectrogram;
    // Milliseconds, or more where segments lie closer than that.
    const int intTimeDecimals = std::clamp(static_cast<int>(std::ceil(-std::log10(data.segmentSpacing()))) + 2, 3, 9);
    return tr("時間 %1 s　周波数 %2 Hz　レベル %3 dBV（区間 %4）")
        .arg(QString::number(data.segmentTime(cell.lngSegment), 'f', intTimeDecimals),
             QString::fromStdString(engine::generalNumberText(data.lineFrequency(cell.lngLine))),
             QString::number(data.level(cell.lngSegment, cell.lngLine), 'f', 1), QString::number(cell.lngSegment));
}

QString SpectrogramPlot::cursorText() const
{
    return cursor ? cellText(*cursor) : QString();
}

QString SpectrogramPlot::readoutText() const
{
    if (hover) {
        return cellText(*hover);
    }
    return cursorText();
}

std::optional<SpectrogramCell> SpectrogramPlot::cellAt(const QPointF& point) const
{
    const QRect plot = plotArea();
    if (!shownSpectrogram || shownSpectrogram->segmentCount() == 0 || point.x() < plot.left() ||
        point.x() >= plot.left() + plot.width() || point.y() < plot.top() || point.y() >= plot.top() + plot.height()) {
        return std::nullopt;
    }
    return SpectrogramCell{*shownSpectrogram->segmentAt(timeAt(point.x())),
                           shownSpectrogram->lineAt(freqAt(point.y()))};
}

QRect SpectrogramPlot::plotArea() const
{
    return layoutFor(rect(), fontMetrics()).plot;
}

SpectrogramPlot::Layout SpectrogramPlot::layoutFor(const QRect& area, const QFontMetrics& metrics) const
{
    Layout layout;
    layout.area = area;
    const int intLine = metrics.height();
    const int intTop = area.top() + intPad + intLine / 2;
    const int intBottom = area.bottom() - intPad - 2 * intLine - intTickLength;
    const int intHeight = std::max(20, intBottom - intTop);
    layout.freqTicks = frequencyTicksOf(plotView.dblLowFreq, plotView.dblHighFreq, intHeight, blnLogFreq);
    layout.levelTicks = ticksOf(levels.dblFloor, levels.dblTop, intHeight, intPixelsPerYTick);
    const int intLeft = area.left() + intPad + intLine + intPad +
                        widestLabel(metrics, layout.freqTicks, QStringLiteral("0000")) + intTickLength;
    const int intBarRight = area.right() - intPad - intLine - intPad -
                            widestLabel(metrics, layout.levelTicks, QStringLiteral("-000")) - intTickLength;
    const int intRight = intBarRight - intBarWidth - 2 * intPad;
    layout.plot =
        QRect(QPoint(intLeft, intTop), QPoint(std::max(intLeft + 10, intRight), std::max(intTop + 10, intBottom)));
    layout.bar = QRect(QPoint(layout.plot.right() + 2 * intPad, intTop),
                       QPoint(layout.plot.right() + 2 * intPad + intBarWidth - 1, layout.plot.bottom()));
    layout.timeTicks = ticksOf(plotView.dblLowTime, plotView.dblHighTime, layout.plot.width(), intPixelsPerXTick);
    return layout;
}

double SpectrogramPlot::timeAt(double dblX) const
{
    const QRect plot = plotArea();
    return plotView.dblLowTime + (dblX - plot.left()) / plot.width() * (plotView.dblHighTime - plotView.dblLowTime);
}

double SpectrogramPlot::freqAt(double dblY) const
{
    const QRect plot = plotArea();
    const double dblHigh = freqAxisOf(plotView.dblHighFreq);
    return freqOfAxis(dblHigh - (dblY - plot.top()) / plot.height() * (dblHigh - freqAxisOf(plotView.dblLowFreq)));
}

QPointF SpectrogramPlot::pointOf(double dblTime, double dblFreq) const
{
    const QRect plot = plotArea();
    const double dblHigh = freqAxisOf(plotView.dblHighFreq);
    return {plot.left() + (dblTime - plotView.dblLowTime) / (plotView.dblHighTime - plotView.dblLowTime) * plot.width(),
            plot.top() + (dblHigh - freqAxisOf(dblFreq)) / (dblHigh - freqAxisOf(plotView.dblLowFreq)) * plot.height()};
}

const QImage& SpectrogramPlot::picture(const QSize& size, qreal dblRatio) const
{
    const PictureKey key{shownSpectrogram.get(), plotView, levels, size, blnLogFreq};
    if (pictureKey && pictureKey->shown == key.shown && pictureKey->view == key.view &&
        pictureKey->range == key.range && pictureKey->size == key.size && pictureKey->blnLogFreq == key.blnLogFreq) {
        imgPicture.setDevicePixelRatio(dblRatio);
        return imgPicture;
    }
    imgPicture = QImage(size, QImage::Format_RGB32);
    const auto lngStride = static_cast<std::size_t>(imgPicture.bytesPerLine()) / sizeof(std::uint32_t);
    const std::span<std::uint32_t> lngPixels(reinterpret_cast<std::uint32_t*>(imgPicture.bits()),
                                             lngStride * static_cast<std::size_t>(size.height()));
    engine::renderSpectrogram(*shownSpectrogram, plotView, levels, size.width(), size.height(), lngPixels, lngStride,
                              blnLogFreq);
    pictureKey = key;
    imgPicture.setDevicePixelRatio(dblRatio);
    return imgPicture;
}

void SpectrogramPlot::paintPlot(QPainter& painter, const QRect& area) const
{
    painter.save();
    painter.setClipRect(area);
    painter.fillRect(area, Qt::white);
    if (!shownSpectrogram || shownSpectrogram->segmentCount() == 0) {
        painter.setPen(QColor(120, 120, 120));
        painter.drawText(area, Qt::AlignCenter | Qt::TextWordWrap,
                         tr("記録を解析すると、ここにスペクトログラムが表示されます。"));
        painter.restore();
        return;
    }
    const Layout layout = layoutFor(area, painter.fontMetrics());
    // One picture pixel per device pixel, so a high-density screen shows the cells sharp.
    const qreal dblRatio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    painter.drawImage(layout.plot.topLeft(), picture((QSizeF(layout.plot.size()) * dblRatio).toSize(), dblRatio));
    drawAxes(painter, layout);
    drawColourBar(painter, layout);
    drawCursor(painter, layout);
    drawReadout(painter, layout);
    painter.restore();
}

void SpectrogramPlot::drawAxes(QPainter& painter, const Layout& layout) const
{
    const QRect& plot = layout.plot;
    const QFontMetrics metrics = painter.fontMetrics();
    painter.setPen(clrAxis);
    const double dblTimeScale = plot.width() / (plotView.dblHighTime - plotView.dblLowTime);
    for (std::size_t i = 0; i < layout.timeTicks.dblValues.size(); ++i) {
        const double dblX = plot.left() + (layout.timeTicks.dblValues[i] - plotView.dblLowTime) * dblTimeScale;
        const double dblBottom = plot.top() + plot.height();
        painter.drawLine(QPointF(dblX, dblBottom), QPointF(dblX, dblBottom + intTickLength));
        const QString& strLabel = layout.timeTicks.strLabels[i];
        painter.drawText(
            QPointF(dblX - metrics.horizontalAdvance(strLabel) / 2.0, dblBottom + intTickLength + metrics.ascent() + 2),
            strLabel);
    }
    const double dblHighAxis = freqAxisOf(plotView.dblHighFreq);
    const double dblFreqScale = plot.height() / (dblHighAxis - freqAxisOf(plotView.dblLowFreq));
    for (std::size_t i = 0; i < layout.freqTicks.dblValues.size(); ++i) {
        const double dblY = plot.top() + (dblHighAxis - freqAxisOf(layout.freqTicks.dblValues[i])) * dblFreqScale;
        painter.drawLine(QPointF(plot.left() - intTickLength, dblY), QPointF(plot.left(), dblY));
        const QString& strLabel = layout.freqTicks.strLabels[i];
        painter.drawText(QPointF(plot.left() - intTickLength - 2 - metrics.horizontalAdvance(strLabel),
                                 dblY + metrics.ascent() / 2.0 - 1),
                         strLabel);
    }
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(plot.adjusted(-1, -1, 0, 0));
    const QString strTimeTitle = tr("時間 [s]");
    painter.drawText(QPointF(plot.center().x() - metrics.horizontalAdvance(strTimeTitle) / 2.0,
                             layout.area.bottom() - intPad - metrics.descent()),
                     strTimeTitle);
    drawUpwards(painter, layout.area.left() + intPad + metrics.ascent(), plot.center().y(), tr("周波数 [Hz]"));
}

void SpectrogramPlot::drawColourBar(QPainter& painter, const Layout& layout) const
{
    const QRect& bar = layout.bar;
    const QFontMetrics metrics = painter.fontMetrics();
    QImage imgBar(1, bar.height(), QImage::Format_RGB32);
    for (int y = 0; y < bar.height(); ++y) {
        imgBar.setPixel(0, y, engine::viridisColour(1.0 - (y + 0.5) / bar.height()));
    }
    painter.drawImage(bar, imgBar);
    painter.setPen(clrAxis);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(bar.adjusted(-1, -1, 0, 0));
    const double dblScale = bar.height() / (levels.dblTop - levels.dblFloor);
    int intLabelRight = bar.right();
    for (std::size_t i = 0; i < layout.levelTicks.dblValues.size(); ++i) {
        const double dblY = bar.top() + (levels.dblTop - layout.levelTicks.dblValues[i]) * dblScale;
        painter.drawLine(QPointF(bar.right() + 1, dblY), QPointF(bar.right() + 1 + intTickLength, dblY));
        const QString& strLabel = layout.levelTicks.strLabels[i];
        painter.drawText(QPointF(bar.right() + intTickLength + 3, dblY + metrics.ascent() / 2.0 - 1), strLabel);
        intLabelRight = std::max(intLabelRight, bar.right() + intTickLength + 3 + metrics.horizontalAdvance(strLabel));
    }
    drawUpwards(painter, intLabelRight + intPad + metrics.ascent(), bar.center().y(), tr("レベル [dBV]"));
}

void SpectrogramPlot::drawCursor(QPainter& painter, const Layout& layout) const
{
    if (!cursor) {
        return;
    }
    const QRect& plot = layout.plot;
    const double dblX = plot.left() + (shownSpectrogram->segmentTime(cursor->lngSegment) - plotView.dblLowTime) /
                                          (plotView.dblHighTime - plotView.dblLowTime) * plot.width();
    // 0 Hz lies below a logarithmic axis: its line is drawn at the bottom edge.
    const double dblLineFreq = shownSpectrogram->lineFrequency(cursor->lngLine);
    const double dblY = blnLogFreq && !(dblLineFreq >= plotView.dblLowFreq)
                            ? plot.bottom() + 1.0
                            : plot.top() + (freqAxisOf(plotView.dblHighFreq) - freqAxisOf(dblLineFreq)) /
                                               (freqAxisOf(plotView.dblHighFreq) - freqAxisOf(plotView.dblLowFreq)) *
                                               plot.height();
    painter.save();
    painter.setClipRect(plot);
    // Dark under light, so the cross shows on every colour of the map.
    for (const QPen& pen : {QPen(QColor(0, 0, 0, 160), 3), QPen(Qt::white, 1)}) {
        painter.setPen(pen);
        painter.drawLine(QPointF(dblX, plot.top()), QPointF(dblX, plot.bottom() + 1));
        painter.drawLine(QPointF(plot.left(), dblY), QPointF(plot.right() + 1, dblY));
    }
    painter.restore();
}

void SpectrogramPlot::drawReadout(QPainter& painter, const Layout& layout) const
{
    const QString strText = readoutText();
    if (strText.isEmpty()) {
        return;
    }
    const QFontMetrics metrics = painter.fontMetrics();
    const QRect box(layout.plot.left() + intPad, layout.plot.top() + intPad,
                    metrics.horizontalAdvance(strText) + 2 * intPad, metrics.height() + intPad);
    painter.save();
    painter.setClipRect(layout.plot);
    painter.setPen(QColor(170, 170, 170));
    painter.setBrush(QColor(255, 255, 255, 225));
    painter.drawRect(box);
    painter.setPen(Qt::black);
    painter.drawText(QPointF(box.left() + intPad, box.top() + intPad / 2 + metrics.ascent()), strText);
    painter.restore();
}

void SpectrogramPlot::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    paintPlot(painter, rect());
    if (drag == Drag::Box) {
        painter.setPen(QPen(Qt::white, 1, Qt::DashLine));
        painter.setBrush(QColor(255, 255, 255, 40));
        painter.drawRect(QRect(ptDragStart, ptDragNow).normalized());
    }
    if (hasFocus()) {
        painter.setPen(QPen(palette().highlight().color(), 1, Qt::DotLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

bool SpectrogramPlot::saveImage(const QString& strPath, QString& strError) const
{
    const QSize size = this->size().expandedTo(sizMinImage);
    QSaveFile file(strPath);
    bool blnWritten = file.open(QIODevice::WriteOnly);
    if (blnWritten && strPath.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive)) {
        QSvgGenerator generator;
        generator.setOutputDevice(&file);
        generator.setSize(size);
        generator.setViewBox(QRect(QPoint(0, 0), size));
        generator.setTitle(tr("Kestrix スペクトログラム"));
        QPainter painter(&generator);
        painter.setFont(font());
        paintPlot(painter, QRect(QPoint(0, 0), size));
        painter.end();
    } else if (blnWritten) {
        QImage image(size, QImage::Format_RGB32);
        QPainter painter(&image);
        painter.setFont(font());
        paintPlot(painter, image.rect());
        painter.end();
        blnWritten = image.save(&file, "PNG");
    }
    blnWritten = blnWritten && file.commit();
    if (!blnWritten) {
        strError = file.errorString().isEmpty() ? tr("画像を書き込めませんでした。") : file.errorString();
    }
    return blnWritten;
}

} // namespace kestrix::ui
