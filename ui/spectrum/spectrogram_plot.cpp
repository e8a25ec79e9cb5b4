// SPDX-License-Identifier: GPL-3.0-or-later
// The spectrogram plot's data, view, picture and colour bar on the frame.

#include "spectrogram_plot.h"

#include "engine/run/number_text.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <span>
#include <vector>

namespace kestrix::ui {
namespace {

constexpr int intPad = 8;        // px between the plot, the colour bar and its labels
constexpr int intTickLength = 4; // px
constexpr int intBarWidth = 16;  // px of the colour bar
const QColor clrAxis(90, 90, 90);

engine::SpectrogramView spectrogramView(const FrameView& view)
{
    return {view.x.dblLow, view.x.dblHigh, view.y.dblLow, view.y.dblHigh};
}

FrameView frameViewOf(const engine::SpectrogramView& view)
{
    return {{view.dblLowTime, view.dblHighTime}, {view.dblLowFreq, view.dblHighFreq}};
}

} // namespace

SpectrogramPlot::SpectrogramPlot(QWidget* parent) : PlotFrame(parent)
{
    setObjectName(QStringLiteral("pltSpectrogram"));
    setAccessibleName(tr("スペクトログラム"));
    setAccessibleDescription(tr("左右キー：区間　上下キー：周波数の線　Enter：区間を選ぶ　Home：全体表示"));
    setMouseTracking(true);
    setMinimumSize(240, 200);
    blnGrid = false;
    blnBarsOnBottomRow = false;
    clrBox = Qt::white;
    clrBoxFill = QColor(255, 255, 255, 40);
}

FrameAxis SpectrogramPlot::horizontalAxis() const
{
    return {tr("時間 [s]"), false, false, 1.0, true};
}

FrameAxis SpectrogramPlot::verticalAxis() const
{
    return {tr("周波数 [Hz]"), blnLogFreq, true, 1.0, false};
}

bool SpectrogramPlot::hasData() const
{
    return shownSpectrogram && shownSpectrogram->segmentCount() > 0;
}

QString SpectrogramPlot::emptyText() const
{
    return tr("記録を解析すると、ここにスペクトログラムが表示されます。");
}

FrameView SpectrogramPlot::fullView() const
{
    return frameViewOf(shownSpectrogram ? engine::fullView(*shownSpectrogram, blnLogFreq) : engine::SpectrogramView{});
}

FrameView SpectrogramPlot::limitView(const FrameView& wanted) const
{
    if (!shownSpectrogram) {
        return frameView();
    }
    return frameViewOf(engine::viewWithin(*shownSpectrogram, spectrogramView(wanted), blnLogFreq));
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
    resetFrameView();
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
    engine::SpectrogramView moved = view();
    if (moved.dblLowFreq <= logFull.dblLowFreq) {
        moved.dblLowFreq = blnLog ? logFull.dblLowFreq : linearFull.dblLowFreq;
    }
    applyFrameView(frameViewOf(moved));
}

void SpectrogramPlot::resetView()
{
    if (shownSpectrogram) {
        resetFrameView();
    }
}

void SpectrogramPlot::setView(const engine::SpectrogramView& newView)
{
    if (shownSpectrogram) {
        applyFrameView(frameViewOf(newView));
    }
}

engine::SpectrogramView SpectrogramPlot::view() const
{
    return spectrogramView(frameView());
}

double SpectrogramPlot::timeAt(double dblX) const
{
    return currentLayout().xAt(dblX);
}

double SpectrogramPlot::freqAt(double dblY) const
{
    return currentLayout().yAt(dblY);
}

QPointF SpectrogramPlot::pointOf(double dblTime, double dblFreq) const
{
    const FrameLayout layout = currentLayout();
    return {layout.xOf(dblTime), layout.yOf(dblFreq)};
}

const QImage& SpectrogramPlot::picture(const QSize& size, qreal dblRatio) const
{
    const PictureKey key{shownSpectrogram.get(), view(), levels, size, blnLogFreq};
    if (pictureKey && pictureKey->shown == key.shown && pictureKey->view == key.view &&
        pictureKey->range == key.range && pictureKey->size == key.size && pictureKey->blnLogFreq == key.blnLogFreq) {
        imgPicture.setDevicePixelRatio(dblRatio);
        return imgPicture;
    }
    // The last picture's pixels are drawn over when the size stays: a new one would be fresh memory,
    // every page of it a fault on the window's thread.
    if (imgPicture.size() != size || imgPicture.format() != QImage::Format_RGB32) {
        imgPicture = QImage(size, QImage::Format_RGB32);
    }
    const auto lngStride = static_cast<std::size_t>(imgPicture.bytesPerLine()) / sizeof(std::uint32_t);
    const std::span<std::uint32_t> lngPixels(reinterpret_cast<std::uint32_t*>(imgPicture.bits()),
                                             lngStride * static_cast<std::size_t>(size.height()));
    engine::renderSpectrogram(*shownSpectrogram, key.view, levels, size.width(), size.height(), lngPixels, lngStride,
                              blnLogFreq);
    pictureKey = key;
    imgPicture.setDevicePixelRatio(dblRatio);
    return imgPicture;
}

void SpectrogramPlot::paintData(QPainter& painter, const FrameLayout& layout) const
{
    // One picture pixel per device pixel, so a high-density screen shows the cells sharp.
    const qreal dblRatio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    painter.drawImage(layout.plot.topLeft(), picture((QSizeF(layout.plot.size()) * dblRatio).toSize(), dblRatio));
    drawCursor(painter, layout);
}

FrameTicks SpectrogramPlot::levelTicks(const QFontMetrics& metrics, int intBarHeight) const
{
    return ticksFor({tr("レベル [dBV]"), false, false, 1.0, false}, {levels.dblFloor, levels.dblTop}, intBarHeight,
                    false, metrics);
}

int SpectrogramPlot::rightRoom(const QFontMetrics& metrics, const FrameView& /*shown*/, int intPlotHeight) const
{
    int intLabels = metrics.horizontalAdvance(QStringLiteral("-000"));
    for (const QString& strLabel : levelTicks(metrics, intPlotHeight).strLabels) {
        intLabels = std::max(intLabels, metrics.horizontalAdvance(strLabel));
    }
    return 2 * intPad + intBarWidth + intTickLength + 3 + intLabels + intPad + metrics.height();
}

void SpectrogramPlot::paintRightRoom(QPainter& painter, const FrameLayout& layout) const
{
    const QRect bar(QPoint(layout.plot.right() + 1 + 2 * intPad, layout.plot.top()),
                    QSize(intBarWidth, layout.plot.height()));
    const QFontMetrics metrics = painter.fontMetrics();
    QImage imgBar(1, bar.height(), QImage::Format_RGB32);
    for (int y = 0; y < bar.height(); ++y) {
        imgBar.setPixel(0, y, engine::viridisColour(1.0 - (y + 0.5) / bar.height()));
    }
    painter.drawImage(bar, imgBar);
    painter.setPen(clrAxis);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(bar.adjusted(-1, -1, 0, 0));
    const FrameTicks ticks = levelTicks(metrics, bar.height());
    const double dblScale = bar.height() / (levels.dblTop - levels.dblFloor);
    int intLabelRight = bar.right();
    for (std::size_t i = 0; i < ticks.dblValues.size(); ++i) {
        const double dblY = bar.top() + (levels.dblTop - ticks.dblValues[i]) * dblScale;
        painter.drawLine(QPointF(bar.right() + 1, dblY), QPointF(bar.right() + 1 + intTickLength, dblY));
        const QString& strLabel = ticks.strLabels[i];
        painter.drawText(QPointF(bar.right() + intTickLength + 3, dblY + metrics.ascent() / 2.0 - 1), strLabel);
        intLabelRight = std::max(intLabelRight, bar.right() + intTickLength + 3 + metrics.horizontalAdvance(strLabel));
    }
    const QString strTitle = tr("レベル [dBV]");
    painter.save();
    painter.translate(intLabelRight + intPad + metrics.ascent(),
                      bar.center().y() + metrics.horizontalAdvance(strTitle) / 2.0);
    painter.rotate(-90);
    painter.drawText(QPointF(0, 0), strTitle);
    painter.restore();
}

void SpectrogramPlot::drawCursor(QPainter& painter, const FrameLayout& layout) const
{
    if (!cursor) {
        return;
    }
    const QRect& plot = layout.plot;
    const double dblX = layout.xOf(shownSpectrogram->segmentTime(cursor->lngSegment));
    // 0 Hz lies below a logarithmic axis: its line is drawn at the bottom edge.
    const double dblLineFreq = shownSpectrogram->lineFrequency(cursor->lngLine);
    const double dblY =
        blnLogFreq && !(dblLineFreq >= layout.view.y.dblLow) ? plot.bottom() + 1.0 : layout.yOf(dblLineFreq);
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

QStringList SpectrogramPlot::readoutLines() const
{
    const QString strText = readoutText();
    return strText.isEmpty() ? QStringList{} : QStringList{strText};
}

std::optional<SpectrogramCell> SpectrogramPlot::cellAt(const QPointF& point) const
{
    const QRect plot = plotArea();
    if (!hasData() || point.x() < plot.left() || point.x() >= plot.left() + plot.width() || point.y() < plot.top() ||
        point.y() >= plot.top() + plot.height()) {
        return std::nullopt;
    }
    return SpectrogramCell{*shownSpectrogram->segmentAt(timeAt(point.x())),
                           shownSpectrogram->lineAt(freqAt(point.y()))};
}

} // namespace kestrix::ui
