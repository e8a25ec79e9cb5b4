#include "spectrum_plot.h"

#include "engine/number_text.h"
#include "engine/plot_axis.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace kestrix::ui {
namespace {

constexpr int intPad = 8;                // px between the widget's edge, labels and the axes
constexpr int intTickLength = 4;         // px
constexpr int intSwatch = 22;            // px of line sample before each legend entry
constexpr std::size_t lngMaxXTicks = 10; // the frequency labels are wider than the amplitude ones
constexpr int intPixelsPerYTick = 40;    // px between amplitude labels at most
constexpr double dblAmpHeadroom = 1.05;  // the highest line stays just below the top edge
constexpr double dblLogHeadroom = 0.3;   // log10 units (a factor of 2) above and below the data
constexpr double dblLogDecades = 12.0;   // depth of the logarithmic axis below the highest line
constexpr double dblMaxPixels = 1e6;     // points beyond this distance are clamped before drawing
const QColor clrGrid(225, 225, 225);
const QColor clrAxis(90, 90, 90);
const QColor clrBand(255, 236, 179, 150);
const QColor clrHarmonic(180, 30, 30);
const QColor clrCursor(40, 40, 40);

struct TickSet
{
    std::vector<double> dblValues; // axis units
    std::vector<QString> strLabels;
};

TickSet frequencyTicks(const PlotView& view)
{
    TickSet ticks;
    ticks.dblValues = engine::linearTicks(view.dblLowFreq, view.dblHighFreq, lngMaxXTicks);
    const double dblStep = engine::niceStep(view.dblHighFreq - view.dblLowFreq, lngMaxXTicks);
    for (const double dblValue : ticks.dblValues) {
        ticks.strLabels.push_back(QString::fromStdString(engine::tickLabel(dblValue, dblStep)));
    }
    return ticks;
}

TickSet amplitudeTicks(const PlotView& view, bool blnLog, int intHeight)
{
    TickSet ticks;
    const auto lngMax = static_cast<std::size_t>(std::max(2, intHeight / intPixelsPerYTick));
    if (!blnLog) {
        ticks.dblValues = engine::linearTicks(view.dblLowAmp, view.dblHighAmp, lngMax);
        const double dblStep = engine::niceStep(view.dblHighAmp - view.dblLowAmp, lngMax);
        for (const double dblValue : ticks.dblValues) {
            ticks.strLabels.push_back(QString::fromStdString(engine::tickLabel(dblValue, dblStep)));
        }
        return ticks;
    }
    const double dblLow = std::pow(10.0, view.dblLowAmp);
    const double dblHigh = std::pow(10.0, view.dblHighAmp);
    const std::vector<double> dblVolts = engine::logTicks(dblLow, dblHigh, lngMax);
    const bool blnDecades = std::log10(dblHigh / dblLow) >= 1.0;
    const double dblStep = engine::niceStep(dblHigh - dblLow, lngMax);
    for (const double dblValue : dblVolts) {
        ticks.dblValues.push_back(std::log10(dblValue));
        ticks.strLabels.push_back(QString::fromStdString(blnDecades ? engine::generalNumberText(dblValue)
                                                                    : engine::tickLabel(dblValue, dblStep)));
    }
    return ticks;
}

} // namespace

struct SpectrumPlot::Layout
{
    QRect area;
    QRect plot;
    TickSet xTicks;
    TickSet yTicks;
};

SpectrumPlot::SpectrumPlot(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(false);
    setMinimumSize(320, 220);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void SpectrumPlot::setTraces(std::vector<PlotTrace> traces)
{
    plotTraces = std::move(traces);
    const PlotTrace* trace = cursorTrace();
    if (!trace || !lngCursorLine || *lngCursorLine >= trace->dblFreq.size()) {
        lngCursorLine.reset();
    }
    update();
}

const PlotTrace* SpectrumPlot::cursorTrace() const
{
    for (const PlotTrace& trace : plotTraces) {
        if (!trace.blnReference && !trace.dblFreq.empty()) {
            return &trace;
        }
    }
    return plotTraces.empty() || plotTraces.front().dblFreq.empty() ? nullptr : &plotTraces.front();
}

void SpectrumPlot::setBand(std::optional<std::pair<double, double>> band)
{
    bandLimits = band;
    update();
}

void SpectrumPlot::setHarmonics(std::vector<double> dblFreqs)
{
    dblHarmonics = std::move(dblFreqs);
    update();
}

void SpectrumPlot::setLogScale(bool blnLog)
{
    if (blnLog == blnLogScale) {
        return;
    }
    blnLogScale = blnLog;
    fitAmplitudes();
    update();
    emit viewChanged();
}

double SpectrumPlot::ampOf(double dblVolts) const
{
    if (!blnLogScale) {
        return dblVolts;
    }
    // Zero lines (outside a band, or an exact zero) sit far below any view instead of at -infinity.
    constexpr double dblZeroLog = -300.0;
    return dblVolts > 0.0 ? std::log10(dblVolts) : dblZeroLog;
}

double SpectrumPlot::voltsOfAmp(double dblAmp) const
{
    return blnLogScale ? std::pow(10.0, dblAmp) : dblAmp;
}

void SpectrumPlot::fitAmplitudes()
{
    double dblMax = 0.0;
    double dblMinPositive = 0.0;
    for (const PlotTrace& trace : plotTraces) {
        const auto first = std::lower_bound(trace.dblFreq.begin(), trace.dblFreq.end(), plotView.dblLowFreq);
        const auto last = std::upper_bound(first, trace.dblFreq.end(), plotView.dblHighFreq);
        for (auto i = static_cast<std::size_t>(first - trace.dblFreq.begin());
             i < static_cast<std::size_t>(last - trace.dblFreq.begin()); ++i) {
            const double dblVolts = trace.dblVolts[i];
            dblMax = std::max(dblMax, dblVolts);
            if (dblVolts > 0.0 && (dblMinPositive == 0.0 || dblVolts < dblMinPositive)) {
                dblMinPositive = dblVolts;
            }
        }
    }
    if (!blnLogScale) {
        plotView.dblLowAmp = 0.0;
        plotView.dblHighAmp = dblMax > 0.0 ? dblMax * dblAmpHeadroom : 1.0;
        return;
    }
    if (dblMax <= 0.0) {
        plotView.dblLowAmp = -6.0;
        plotView.dblHighAmp = 0.0;
        return;
    }
    const double dblTop = std::log10(dblMax);
    plotView.dblHighAmp = dblTop + dblLogHeadroom;
    plotView.dblLowAmp = std::max(std::log10(dblMinPositive), dblTop - dblLogDecades) - dblLogHeadroom;
}

void SpectrumPlot::resetView()
{
    double dblLow = 0.0;
    double dblHigh = 0.0;
    bool blnAny = false;
    for (const PlotTrace& trace : plotTraces) {
        if (trace.dblFreq.empty()) {
            continue;
        }
        dblLow = blnAny ? std::min(dblLow, trace.dblFreq.front()) : trace.dblFreq.front();
        dblHigh = blnAny ? std::max(dblHigh, trace.dblFreq.back()) : trace.dblFreq.back();
        blnAny = true;
    }
    if (!blnAny || !(dblHigh > dblLow)) {
        dblHigh = dblLow + 1.0;
    }
    plotView.dblLowFreq = dblLow;
    plotView.dblHighFreq = dblHigh;
    fitAmplitudes();
    update();
    emit viewChanged();
}

void SpectrumPlot::setView(const PlotView& newView)
{
    if (!(newView.dblHighFreq > newView.dblLowFreq) || !(newView.dblHighAmp > newView.dblLowAmp)) {
        return;
    }
    plotView = newView;
    update();
    emit viewChanged();
}

void SpectrumPlot::setCursorLine(std::optional<std::size_t> lngLine)
{
    const PlotTrace* trace = cursorTrace();
    if (!trace || !lngLine) {
        lngCursorLine.reset();
        update();
        return;
    }
    lngCursorLine = std::min(*lngLine, trace->dblFreq.size() - 1);
    update();
    emit cursorMoved(*lngCursorLine);
}

QRect SpectrumPlot::plotArea() const
{
    return layoutFor(rect(), fontMetrics()).plot;
}

SpectrumPlot::Layout SpectrumPlot::layoutFor(const QRect& area, const QFontMetrics& metrics) const
{
    Layout layout;
    layout.area = area;
    const int intLine = metrics.height();
    // The amplitude labels depend on the plot's height, which hardly depends on the label width:
    // measure them once with an estimated height.
    const int intPlotHeight = std::max(20, area.height() - 2 * intPad - 3 * intLine);
    layout.yTicks = amplitudeTicks(plotView, blnLogScale, intPlotHeight);
    int intLabelWidth = metrics.horizontalAdvance(QStringLiteral("0.000"));
    for (const QString& strLabel : layout.yTicks.strLabels) {
        intLabelWidth = std::max(intLabelWidth, metrics.horizontalAdvance(strLabel));
    }
    const int intLeft = area.left() + intPad + intLine + intPad + intLabelWidth + intTickLength;
    const int intRight = area.right() - intPad - metrics.horizontalAdvance(QStringLiteral("00000")) / 2;
    const int intTop = area.top() + intPad + intLine / 2;
    const int intBottom = area.bottom() - intPad - 2 * intLine - intTickLength;
    layout.plot =
        QRect(QPoint(intLeft, intTop), QPoint(std::max(intLeft + 10, intRight), std::max(intTop + 10, intBottom)));
    layout.xTicks = frequencyTicks(plotView);
    return layout;
}

double SpectrumPlot::freqAt(double dblX) const
{
    const QRect plot = plotArea();
    return plotView.dblLowFreq + (dblX - plot.left()) / plot.width() * (plotView.dblHighFreq - plotView.dblLowFreq);
}

double SpectrumPlot::voltsAt(double dblY) const
{
    const QRect plot = plotArea();
    return voltsOfAmp(plotView.dblLowAmp +
                      (plot.bottom() - dblY) / plot.height() * (plotView.dblHighAmp - plotView.dblLowAmp));
}

QPointF SpectrumPlot::pointOf(double dblFreq, double dblVolts) const
{
    const QRect plot = plotArea();
    const double dblX =
        plot.left() + (dblFreq - plotView.dblLowFreq) / (plotView.dblHighFreq - plotView.dblLowFreq) * plot.width();
    const double dblY = plot.bottom() - (ampOf(dblVolts) - plotView.dblLowAmp) /
                                            (plotView.dblHighAmp - plotView.dblLowAmp) * plot.height();
    return {dblX, dblY};
}

void SpectrumPlot::paintPlot(QPainter& painter, const QRect& area) const
{
    painter.save();
    painter.setClipRect(area);
    painter.fillRect(area, Qt::white);
    const Layout layout = layoutFor(area, painter.fontMetrics());
    if (plotTraces.empty()) {
        painter.setPen(QColor(120, 120, 120));
        painter.drawText(area, Qt::AlignCenter | Qt::TextWordWrap,
                         tr("FFT を実行すると、ここに振幅スペクトルが表示されます。\n"
                            "参照スペクトルのファイルを開いて重ねることもできます。"));
        painter.restore();
        return;
    }
    drawGrid(painter, layout);
    drawTraces(painter, layout);
    drawMarkers(painter, layout);
    drawLegend(painter, layout);
    painter.restore();
}

void SpectrumPlot::drawGrid(QPainter& painter, const Layout& layout) const
{
    const QRect& plot = layout.plot;
    const QFontMetrics metrics = painter.fontMetrics();
    const double dblFreqSpan = plotView.dblHighFreq - plotView.dblLowFreq;
    const double dblAmpSpan = plotView.dblHighAmp - plotView.dblLowAmp;

    if (bandLimits) {
        const double dblLeft = plot.left() + (bandLimits->first - plotView.dblLowFreq) / dblFreqSpan * plot.width();
        const double dblRight = plot.left() + (bandLimits->second - plotView.dblLowFreq) / dblFreqSpan * plot.width();
        const QRectF band(QPointF(std::max<double>(dblLeft, plot.left()), plot.top()),
                          QPointF(std::min<double>(dblRight, plot.right() + 1), plot.bottom() + 1));
        if (band.width() > 0) {
            painter.fillRect(band, clrBand);
        }
    }

    for (std::size_t i = 0; i < layout.xTicks.dblValues.size(); ++i) {
        const double dblX =
            plot.left() + (layout.xTicks.dblValues[i] - plotView.dblLowFreq) / dblFreqSpan * plot.width();
        painter.setPen(clrGrid);
        painter.drawLine(QPointF(dblX, plot.top()), QPointF(dblX, plot.bottom()));
        painter.setPen(clrAxis);
        painter.drawLine(QPointF(dblX, plot.bottom()), QPointF(dblX, plot.bottom() + intTickLength));
        const QString& strLabel = layout.xTicks.strLabels[i];
        const int intWidth = metrics.horizontalAdvance(strLabel);
        painter.drawText(QPointF(dblX - intWidth / 2.0, plot.bottom() + intTickLength + metrics.ascent() + 2),
                         strLabel);
    }
    for (std::size_t i = 0; i < layout.yTicks.dblValues.size(); ++i) {
        const double dblY =
            plot.bottom() - (layout.yTicks.dblValues[i] - plotView.dblLowAmp) / dblAmpSpan * plot.height();
        painter.setPen(clrGrid);
        painter.drawLine(QPointF(plot.left(), dblY), QPointF(plot.right(), dblY));
        painter.setPen(clrAxis);
        painter.drawLine(QPointF(plot.left() - intTickLength, dblY), QPointF(plot.left(), dblY));
        const QString& strLabel = layout.yTicks.strLabels[i];
        const int intWidth = metrics.horizontalAdvance(strLabel);
        painter.drawText(QPointF(plot.left() - intTickLength - 2 - intWidth, dblY + metrics.ascent() / 2.0 - 1),
                         strLabel);
    }
    painter.setPen(clrAxis);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(plot);

    const QString strFreqTitle = tr("周波数 [Hz]");
    painter.drawText(QPointF(plot.center().x() - metrics.horizontalAdvance(strFreqTitle) / 2.0,
                             layout.area.bottom() - intPad - metrics.descent()),
                     strFreqTitle);
    const QString strAmpTitle = blnLogScale ? tr("振幅 [V]（対数）") : tr("振幅 [V]");
    painter.save();
    painter.translate(layout.area.left() + intPad + metrics.ascent(),
                      plot.center().y() + metrics.horizontalAdvance(strAmpTitle) / 2.0);
    painter.rotate(-90);
    painter.drawText(QPointF(0, 0), strAmpTitle);
    painter.restore();
}

void SpectrumPlot::drawTraces(QPainter& painter, const Layout& layout) const
{
    const QRect& plot = layout.plot;
    const double dblFreqScale = plot.width() / (plotView.dblHighFreq - plotView.dblLowFreq);
    const double dblAmpScale = plot.height() / (plotView.dblHighAmp - plotView.dblLowAmp);
    const auto lngColumns = static_cast<std::size_t>(std::max(1, plot.width()));
    painter.save();
    painter.setClipRect(plot.adjusted(0, 0, 1, 1));
    std::vector<QPointF> points;
    // References first, so the current run's curves stay on top.
    for (const bool blnReferencePass : {true, false}) {
        for (const PlotTrace& trace : plotTraces) {
            if (trace.blnReference != blnReferencePass) {
                continue;
            }
            const std::vector<engine::TracePoint> reduced = engine::decimateTrace(
                trace.dblFreq, trace.dblVolts, plotView.dblLowFreq, plotView.dblHighFreq, lngColumns);
            points.clear();
            points.reserve(reduced.size());
            for (const engine::TracePoint& point : reduced) {
                const double dblX = plot.left() + (point.dblX - plotView.dblLowFreq) * dblFreqScale;
                const double dblY = plot.bottom() - (ampOf(point.dblY) - plotView.dblLowAmp) * dblAmpScale;
                points.emplace_back(dblX, std::clamp(dblY, plot.top() - dblMaxPixels, plot.bottom() + dblMaxPixels));
            }
            // Smooth lines only where few points are in view: on a dense curve antialiasing costs a
            // hundred times the drawing (measured in bench/spectrum_redraw_bench.cpp) and shows nothing.
            painter.setRenderHint(QPainter::Antialiasing, reduced.size() <= lngColumns);
            painter.setPen(QPen(trace.color, 1));
            painter.drawPolyline(points.data(), static_cast<int>(points.size()));
        }
    }
    painter.restore();
}

void SpectrumPlot::drawMarkers(QPainter& painter, const Layout& layout) const
{
    const QRect& plot = layout.plot;
    const QFontMetrics metrics = painter.fontMetrics();
    const double dblFreqScale = plot.width() / (plotView.dblHighFreq - plotView.dblLowFreq);
    painter.save();
    painter.setClipRect(plot.adjusted(0, 0, 1, 1));
    // Label only every n-th marker when they crowd together.
    const double dblSpacing = dblHarmonics.size() > 1 ? (dblHarmonics[1] - dblHarmonics[0]) * dblFreqScale : 1e9;
    const auto lngLabelEvery = static_cast<std::size_t>(
        std::max(1.0, std::ceil(metrics.horizontalAdvance(QStringLiteral("10x ")) / dblSpacing)));
    for (std::size_t k = 0; k < dblHarmonics.size(); ++k) {
        const double dblX = plot.left() + (dblHarmonics[k] - plotView.dblLowFreq) * dblFreqScale;
        painter.setPen(QPen(clrHarmonic, 1, Qt::DashLine));
        painter.drawLine(QPointF(dblX, plot.top()), QPointF(dblX, plot.bottom()));
        if ((k + 1) % lngLabelEvery == 0 || k == 0) {
            // A label that would hide under the legend goes just below it.
            const QString strLabel = QStringLiteral("%1x").arg(k + 1);
            const QRect label(static_cast<int>(dblX) + 3, plot.top() + 2, metrics.horizontalAdvance(strLabel),
                              metrics.height());
            const QRect legend = legendBox(plot, metrics);
            const int intTop = label.intersects(legend) ? legend.bottom() + 2 : label.top();
            painter.setPen(clrHarmonic);
            painter.drawText(QPointF(label.left(), intTop + metrics.ascent()), strLabel);
        }
    }
    const PlotTrace* trace = cursorTrace();
    if (trace && lngCursorLine) {
        const double dblX = plot.left() + (trace->dblFreq[*lngCursorLine] - plotView.dblLowFreq) * dblFreqScale;
        const double dblAmp =
            (ampOf(trace->dblVolts[*lngCursorLine]) - plotView.dblLowAmp) / (plotView.dblHighAmp - plotView.dblLowAmp);
        const double dblY = plot.bottom() - std::clamp(dblAmp, -1.0, 2.0) * plot.height();
        painter.setPen(QPen(clrCursor, 1));
        painter.drawLine(QPointF(dblX, plot.top()), QPointF(dblX, plot.bottom()));
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.drawEllipse(QPointF(dblX, dblY), 4.0, 4.0);
    }
    painter.restore();
}

QRect SpectrumPlot::legendBox(const QRect& plot, const QFontMetrics& metrics) const
{
    int intWidth = 0;
    for (const PlotTrace& trace : plotTraces) {
        intWidth = std::max(intWidth, metrics.horizontalAdvance(trace.strName));
    }
    return {plot.right() - intWidth - intSwatch - 3 * intPad, plot.top() + intPad, intWidth + intSwatch + 2 * intPad,
            static_cast<int>(plotTraces.size()) * metrics.height() + intPad};
}

void SpectrumPlot::drawLegend(QPainter& painter, const Layout& layout) const
{
    const QFontMetrics metrics = painter.fontMetrics();
    const int intRowHeight = metrics.height();
    const QRect box = legendBox(layout.plot, metrics);
    painter.save();
    painter.setPen(QColor(170, 170, 170));
    painter.setBrush(QColor(255, 255, 255, 225));
    painter.drawRect(box);
    int intY = box.top() + intPad / 2;
    for (const PlotTrace& trace : plotTraces) {
        const int intMid = intY + intRowHeight / 2;
        painter.setPen(QPen(trace.color, 2));
        painter.drawLine(box.left() + intPad, intMid, box.left() + intPad + intSwatch - 6, intMid);
        painter.setPen(Qt::black);
        painter.drawText(QPoint(box.left() + intPad + intSwatch, intY + metrics.ascent()), trace.strName);
        intY += intRowHeight;
    }
    painter.restore();
}

void SpectrumPlot::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    paintPlot(painter, rect());
    if (drag == Drag::Box) {
        painter.setPen(QPen(QColor(30, 90, 200), 1, Qt::DashLine));
        painter.setBrush(QColor(30, 90, 200, 30));
        painter.drawRect(QRect(ptDragStart, ptDragNow).normalized());
    }
    if (hasFocus()) {
        painter.setPen(QPen(palette().highlight().color(), 1, Qt::DotLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

} // namespace kestrix::ui
