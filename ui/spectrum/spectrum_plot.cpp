// SPDX-License-Identifier: GPL-3.0-or-later
#include "spectrum_plot.h"

#include "engine/view/plot_axis.h"
#include "spectrum_plot_layout.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <limits>

namespace kestrix::ui {
namespace {

constexpr std::size_t lngMaxXTicks = 10;    // the frequency labels are wider than the amplitude ones
constexpr int intPixelsPerYTick = 40;       // px between amplitude labels at most
constexpr double dblAmpHeadroom = 1.05;     // the highest line stays just below the top edge
constexpr double dblDbHeadroom = 6.0;       // dB (a factor of 2) above and below the data
constexpr double dblDbDepth = 240.0;        // dB: depth of the logarithmic axis below the highest line
constexpr double dblZeroDb = -7000.0;       // dBV where a line of 0 V is drawn: below any positive double
constexpr double dblEmptyDbLow = -120.0;    // dBV: the logarithmic axis without any positive line
constexpr double dblMinLinesAcross = 4.0;   // the deepest zoom still shows this many line spacings
constexpr double dblMinAmpSpanShare = 1e-6; // the deepest amplitude zoom, of the full span
constexpr double dblMinDbSpan = 0.1;        // dB, the same on the logarithmic axis
constexpr double dblLoneLineSpan = 1.0;     // Hz shown around a curve of a single line

TickSet ticksOf(double dblLow, double dblHigh, std::size_t lngMaxTicks)
{
    TickSet ticks;
    ticks.dblValues = engine::linearTicks(dblLow, dblHigh, lngMaxTicks);
    const double dblStep = engine::niceStep(dblHigh - dblLow, lngMaxTicks);
    for (const double dblValue : ticks.dblValues) {
        ticks.strLabels.push_back(QString::fromStdString(engine::tickLabel(dblValue, dblStep)));
    }
    return ticks;
}

// The frequency axis's ticks, in Hz or in orders of dblUnitHz.
TickSet frequencyTicksOf(double dblLow, double dblHigh, double dblUnitHz, bool blnLog, std::vector<double>& dblMinor)
{
    engine::AxisTicks ticks = engine::frequencyTicks(dblLow, dblHigh, lngMaxXTicks, dblUnitHz, blnLog);
    TickSet set;
    set.dblValues = std::move(ticks.dblValues);
    for (const std::string& strLabel : ticks.strLabels) {
        set.strLabels.push_back(QString::fromStdString(strLabel));
    }
    dblMinor = std::move(ticks.dblMinor);
    return set;
}

// The finest average line spacing of the curves (Hz); 0 when none has two lines.
double finestSpacing(const std::vector<PlotTrace>& traces)
{
    double dblFinest = 0.0;
    for (const PlotTrace& trace : traces) {
        if (trace.dblFreq.size() < 2) {
            continue;
        }
        const double dblSpacing =
            (trace.dblFreq.back() - trace.dblFreq.front()) / static_cast<double>(trace.dblFreq.size() - 1);
        dblFinest = dblFinest == 0.0 ? dblSpacing : std::min(dblFinest, dblSpacing);
    }
    return dblFinest;
}

} // namespace

SpectrumPlot::SpectrumPlot(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(false);
    setMinimumSize(240, 160);
    setAttribute(Qt::WA_OpaquePaintEvent);
    ampAxis = {tr("振幅 [V]"), tr("振幅 [dBV]"), 20.0};
}

void SpectrumPlot::setAmplitudeAxis(const AmplitudeAxis& axis)
{
    const bool blnRescaled = axis.dblDbPerDecade != ampAxis.dblDbPerDecade;
    ampAxis = axis;
    if (blnRescaled && blnLogScale) {
        updateBounds();
        resetView();
    }
    update();
}

void SpectrumPlot::setTraces(std::vector<PlotTrace> traces)
{
    plotTraces = std::move(traces);
    const PlotTrace* trace = cursorTrace();
    if (!trace || !lngCursorLine || *lngCursorLine >= trace->dblFreq.size()) {
        lngCursorLine.reset();
        blnCursorOnPeak = false;
    }
    if (!trace || !lngReferenceLine || *lngReferenceLine >= trace->dblFreq.size()) {
        lngReferenceLine.reset();
    }
    updateLogFrequencies();
    updateBounds();
    if (blnFullView) {
        resetView();
    } else {
        applyView(plotView);
    }
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
    updateBounds();
    const engine::AxisRange fitted = fittedAmplitudes(plotView.dblLowFreq, plotView.dblHighFreq);
    plotView.dblLowAmp = std::max(fitted.dblLow, bounds.amp.dblLow);
    plotView.dblHighAmp = std::min(fitted.dblHigh, bounds.amp.dblHigh);
    update();
    emit viewChanged();
}

double SpectrumPlot::axisOf(double dblFreq) const
{
    if (!blnLogFreq) {
        return dblFreq;
    }
    return dblFreq > 0.0 ? std::log10(dblFreq) : -std::numeric_limits<double>::infinity();
}

double SpectrumPlot::freqOfAxis(double dblAxis) const
{
    return blnLogFreq ? std::pow(10.0, dblAxis) : dblAxis;
}

double SpectrumPlot::ampOf(double dblVolts) const
{
    if (!blnLogScale) {
        return dblVolts;
    }
    // Zero lines (outside a band, or an exact zero) sit far below any view instead of at -infinity.
    return dblVolts > 0.0 ? ampAxis.dblDbPerDecade * std::log10(dblVolts) : dblZeroDb;
}

double SpectrumPlot::voltsOfAmp(double dblAmp) const
{
    return blnLogScale ? std::pow(10.0, dblAmp / ampAxis.dblDbPerDecade) : dblAmp;
}

engine::AxisRange SpectrumPlot::fittedAmplitudes(double dblLowFreq, double dblHighFreq) const
{
    double dblMax = 0.0;
    double dblMinPositive = 0.0;
    for (const PlotTrace& trace : plotTraces) {
        const auto first = std::lower_bound(trace.dblFreq.begin(), trace.dblFreq.end(), dblLowFreq);
        const auto last = std::upper_bound(first, trace.dblFreq.end(), dblHighFreq);
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
        // A run's amplitudes are finite, but the headroom may not be; and an axis shorter than the
        // smallest amplitude the plot shows would map a pixel to more than the largest double.
        const double dblTop = dblMax * dblAmpHeadroom;
        const double dblHigh = dblMax > 0.0 ? (std::isfinite(dblTop) ? dblTop : dblMax) : 1.0;
        return {0.0, std::max(dblHigh, engine::dblMinPlotVolts)};
    }
    if (dblMax <= 0.0) {
        return {dblEmptyDbLow, 0.0};
    }
    const double dblTop = ampOf(dblMax);
    return {std::max(ampOf(dblMinPositive), dblTop - dblDbDepth) - dblDbHeadroom, dblTop + dblDbHeadroom};
}

void SpectrumPlot::updateBounds()
{
    bool blnAny = false;
    for (const PlotTrace& trace : plotTraces) {
        // On the logarithmic axis a trace starts at its first line above 0 Hz.
        const auto first =
            blnLogFreq ? std::upper_bound(trace.dblFreq.begin(), trace.dblFreq.end(), 0.0) : trace.dblFreq.begin();
        if (first == trace.dblFreq.end()) {
            continue;
        }
        bounds.freq.dblLow = blnAny ? std::min(bounds.freq.dblLow, *first) : *first;
        bounds.freq.dblHigh = blnAny ? std::max(bounds.freq.dblHigh, trace.dblFreq.back()) : trace.dblFreq.back();
        blnAny = true;
    }
    if (!blnAny) {
        bounds.freq = blnLogFreq ? engine::AxisRange{1.0, 10.0} : engine::AxisRange{0.0, 1.0};
    } else if (!(bounds.freq.dblHigh > bounds.freq.dblLow)) {
        const double dblLine = bounds.freq.dblLow;
        bounds.freq = blnLogFreq ? engine::AxisRange{dblLine / 2.0, dblLine * 2.0}
                                 : engine::AxisRange{dblLine - dblLoneLineSpan / 2.0, dblLine + dblLoneLineSpan / 2.0};
    }
    bounds.dblMinFreqSpan = dblMinLinesAcross * finestSpacing(plotTraces);
    bounds.amp = fittedAmplitudes(bounds.freq.dblLow, bounds.freq.dblHigh);
    const double dblAmpSpan = bounds.amp.dblHigh - bounds.amp.dblLow;
    bounds.dblMinAmpSpan = blnLogScale ? dblMinDbSpan : dblAmpSpan * dblMinAmpSpanShare;
}

void SpectrumPlot::resetView()
{
    updateBounds();
    plotView = {bounds.freq.dblLow, bounds.freq.dblHigh, bounds.amp.dblLow, bounds.amp.dblHigh};
    blnFullView = true;
    update();
    emit viewChanged();
}

void SpectrumPlot::setView(const PlotView& newView)
{
    if (!(newView.dblHighFreq > newView.dblLowFreq) || !(newView.dblHighAmp > newView.dblLowAmp)) {
        return;
    }
    applyView(newView);
}

void SpectrumPlot::applyView(const PlotView& newView)
{
    const engine::AxisRange freq =
        blnLogFreq
            ? engine::limitLogRange({newView.dblLowFreq, newView.dblHighFreq}, bounds.freq, bounds.dblMinFreqSpan)
            : engine::limitRange({newView.dblLowFreq, newView.dblHighFreq}, bounds.freq, bounds.dblMinFreqSpan);
    const engine::AxisRange amp =
        engine::limitRange({newView.dblLowAmp, newView.dblHighAmp}, bounds.amp, bounds.dblMinAmpSpan);
    plotView = {freq.dblLow, freq.dblHigh, amp.dblLow, amp.dblHigh};
    blnFullView = freq.dblLow == bounds.freq.dblLow && freq.dblHigh == bounds.freq.dblHigh &&
                  amp.dblLow == bounds.amp.dblLow && amp.dblHigh == bounds.amp.dblHigh;
    update();
    emit viewChanged();
}

void SpectrumPlot::setCursorLine(std::optional<std::size_t> lngLine)
{
    const PlotTrace* trace = cursorTrace();
    blnCursorOnPeak = false;
    if (!trace || !lngLine) {
        lngCursorLine.reset();
    } else {
        lngCursorLine = std::min(*lngLine, trace->dblFreq.size() - 1);
        // A line outside a zoomed view (stepped to, or picked in the peak table) is brought into it.
        bringIntoView(trace->dblFreq[*lngCursorLine]);
    }
    update();
    emit cursorChanged();
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
    const auto lngMaxYTicks = static_cast<std::size_t>(std::max(2, intPlotHeight / intPixelsPerYTick));
    layout.yTicks = ticksOf(plotView.dblLowAmp, plotView.dblHighAmp, lngMaxYTicks);
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
    layout.blnLogFreq = blnLogFreq;
    layout.dblLowAxis = axisOf(plotView.dblLowFreq);
    layout.dblHighAxis = axisOf(plotView.dblHighFreq);
    layout.xTicks = frequencyTicksOf(plotView.dblLowFreq, plotView.dblHighFreq, speed ? speed->dblHz : 1.0, blnLogFreq,
                                     layout.dblMinorX);
    return layout;
}

QString SpectrumPlot::amplitudeAxisTitle() const
{
    return blnLogScale ? ampAxis.strLogTitle : ampAxis.strTitle;
}

std::vector<QString> SpectrumPlot::amplitudeTickLabels() const
{
    return layoutFor(rect(), fontMetrics()).yTicks.strLabels;
}

double SpectrumPlot::freqAt(double dblX) const
{
    const QRect plot = plotArea();
    const double dblLow = axisOf(plotView.dblLowFreq);
    return freqOfAxis(dblLow + (dblX - plot.left()) / plot.width() * (axisOf(plotView.dblHighFreq) - dblLow));
}

double SpectrumPlot::voltsAt(double dblY) const
{
    return voltsOfAmp(ampAt(dblY));
}

double SpectrumPlot::ampAt(double dblY) const
{
    const QRect plot = plotArea();
    return plotView.dblLowAmp + (plot.bottom() - dblY) / plot.height() * (plotView.dblHighAmp - plotView.dblLowAmp);
}

QPointF SpectrumPlot::pointOf(double dblFreq, double dblVolts) const
{
    const Layout layout = layoutFor(rect(), fontMetrics());
    const QRect& plot = layout.plot;
    const double dblY = plot.bottom() - (ampOf(dblVolts) - plotView.dblLowAmp) /
                                            (plotView.dblHighAmp - plotView.dblLowAmp) * plot.height();
    return {layout.xOf(dblFreq), dblY};
}

} // namespace kestrix::ui
