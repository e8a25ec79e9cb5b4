// SPDX-License-Identifier: GPL-3.0-or-later
#include "level_trace_plot.h"

#include "engine/recordings/octave_analyser.h"
#include "engine/view/plot_view.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace kestrix::ui {
namespace {

const QColor clrTrace(31, 119, 180);
const QColor clrSpread(31, 119, 180, 60);
constexpr double dblMaxSpanDb = 80.0; // dB the whole view shows at most below the highest level
constexpr double dblMinSpanDb = 5.0;  // dB the view shows at least
constexpr int intMinPoints = 4;       // trace points the view shows at least

double middle(const engine::LevelTracePoint& point)
{
    return (point.dblStart + point.dblEnd) / 2.0;
}

} // namespace

LevelTracePlot::LevelTracePlot(QWidget* parent) : PlotFrame(parent)
{
    setMouseTracking(true);
    setMinimumSize(240, 140);
}

void LevelTracePlot::setTrace(std::vector<engine::LevelTracePoint> points, double dblSeconds, const QString& strLevel,
                              const QString& strReference)
{
    tracePoints = std::move(points);
    dblDuration = dblSeconds > 0.0 ? dblSeconds : 1.0;
    strLevelName = strLevel;
    strDbReference = strReference;
    strHover.clear();
    resetView();
}

void LevelTracePlot::resetView()
{
    resetFrameView();
    update();
}

FrameAxis LevelTracePlot::horizontalAxis() const
{
    return {tr("時間 [s]"), false, false, 1.0, true};
}

FrameAxis LevelTracePlot::verticalAxis() const
{
    return {QStringLiteral("%1 [dB re %2]").arg(strLevelName, strDbReference), false, false, 1.0, false};
}

bool LevelTracePlot::hasData() const
{
    return !tracePoints.empty();
}

QString LevelTracePlot::emptyText() const
{
    return tr("録音全体の時間重み付きレベルの変化がここに表示されます。");
}

FrameView LevelTracePlot::fullView() const
{
    std::vector<double> dblLevels;
    for (const engine::LevelTracePoint& point : tracePoints) {
        dblLevels.push_back(point.dblMinDb);
        dblLevels.push_back(point.dblMaxDb);
    }
    return {{0.0, dblDuration}, engine::levelChartRange(dblLevels, dblMaxSpanDb, engine::dblLevelFloorDb)};
}

FrameView LevelTracePlot::limitView(const FrameView& wanted) const
{
    const FrameView full = fullView();
    const double dblStep = tracePoints.empty() ? dblDuration : dblDuration / static_cast<double>(tracePoints.size());
    return {engine::limitRange(wanted.x, full.x, std::min(dblDuration, intMinPoints * dblStep)),
            engine::limitRange(wanted.y, {full.y.dblLow - dblMaxSpanDb, full.y.dblHigh + dblMaxSpanDb / 2.0},
                               dblMinSpanDb)};
}

void LevelTracePlot::paintData(QPainter& painter, const FrameLayout& layout) const
{
    painter.save();
    painter.setClipRect(layout.plot);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath highest;
    QPolygonF spread;
    bool blnSpread = false;
    for (const engine::LevelTracePoint& point : tracePoints) {
        const QPointF ptHigh(layout.xOf(middle(point)), layout.yOf(point.dblMaxDb));
        if (highest.elementCount() == 0) {
            highest.moveTo(ptHigh);
        } else {
            highest.lineTo(ptHigh);
        }
        spread << ptHigh;
        blnSpread = blnSpread || point.dblMinDb < point.dblMaxDb;
    }
    if (blnSpread) {
        for (auto point = tracePoints.rbegin(); point != tracePoints.rend(); ++point) {
            spread << QPointF(layout.xOf(middle(*point)), layout.yOf(point->dblMinDb));
        }
        painter.setPen(Qt::NoPen);
        painter.setBrush(clrSpread);
        painter.drawPolygon(spread);
    }
    painter.setPen(QPen(clrTrace, 1.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(highest);
    painter.restore();
}

QString LevelTracePlot::readoutAt(const QPointF& point) const
{
    const FrameLayout layout = currentLayout();
    if (tracePoints.empty() || !layout.plot.contains(point.toPoint())) {
        return {};
    }
    const double dblTime = layout.xAt(point.x());
    const auto found = std::min_element(tracePoints.begin(), tracePoints.end(), [&](const auto& a, const auto& b) {
        return std::abs(middle(a) - dblTime) < std::abs(middle(b) - dblTime);
    });
    const QString strLevel = found->dblMinDb < found->dblMaxDb
                                 ? tr("%1 〜 %2 dB").arg(found->dblMinDb, 0, 'f', 1).arg(found->dblMaxDb, 0, 'f', 1)
                                 : tr("%1 dB").arg(found->dblMaxDb, 0, 'f', 1);
    return tr("時間 %1 s　%2 %3").arg(middle(*found), 0, 'f', 2).arg(strLevelName, strLevel);
}

QStringList LevelTracePlot::readoutLines() const
{
    return strHover.isEmpty() ? QStringList() : QStringList{strHover};
}

void LevelTracePlot::pointerMoved(std::optional<QPointF> point)
{
    const QString strNow = point ? readoutAt(*point) : QString();
    if (strNow != strHover) {
        strHover = strNow;
        update();
    }
}

} // namespace kestrix::ui
