// SPDX-License-Identifier: GPL-3.0-or-later
// The spectrum plot's traces, its view and their limits, the cursors, and its own mouse and keys.

#include "spectrum_plot.h"

#include "engine/view/plot_axis.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>

#include <algorithm>
#include <cmath>
#include <limits>

namespace kestrix::ui {
namespace {

constexpr double dblAmpHeadroom = 1.05;     // the highest line stays just below the top edge
constexpr double dblDbHeadroom = 6.0;       // dB (a factor of 2) above and below the data
constexpr double dblDbDepth = 240.0;        // dB: depth of the logarithmic axis below the highest line
constexpr double dblZeroDb = -7000.0;       // dBV where a line of 0 V is drawn: below any positive double
constexpr double dblEmptyDbLow = -120.0;    // dBV: the logarithmic axis without any positive line
constexpr double dblMinLinesAcross = 4.0;   // the deepest zoom still shows this many line spacings
constexpr double dblMinAmpSpanShare = 1e-6; // the deepest amplitude zoom, of the full span
constexpr double dblMinDbSpan = 0.1;        // dB, the same on the logarithmic axis
constexpr double dblLoneLineSpan = 1.0;     // Hz shown around a curve of a single line
constexpr double dblPickReach = 3.0;        // px each side of a click in which the highest line is read
constexpr std::ptrdiff_t lngBigStep = 10;   // lines per Shift+arrow

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

SpectrumPlot::SpectrumPlot(QWidget* parent) : PlotFrame(parent)
{
    setMinimumSize(240, 220);
    ampAxis = {tr("振幅 [V]"), tr("振幅 [dBV]"), 20.0};
    resetView();
}

FrameAxis SpectrumPlot::horizontalAxis() const
{
    return {frequencyAxisTitle(), blnLogFreq, true, speed ? speed->dblHz : 1.0, false};
}

FrameAxis SpectrumPlot::verticalAxis() const
{
    return {amplitudeAxisTitle(), false, false, 1.0, false};
}

bool SpectrumPlot::hasData() const
{
    return !plotTraces.empty();
}

QString SpectrumPlot::emptyText() const
{
    return tr("FFT を実行するか「録音を開く...」で録音を開くと、ここにスペクトルが表示されます。\n"
              "参照スペクトルのファイルを開いて重ねることもできます。");
}

FrameView SpectrumPlot::fullView() const
{
    return {bounds.freq, bounds.amp};
}

FrameView SpectrumPlot::limitView(const FrameView& wanted) const
{
    return {blnLogFreq ? engine::limitLogRange(wanted.x, bounds.freq, bounds.dblMinFreqSpan)
                       : engine::limitRange(wanted.x, bounds.freq, bounds.dblMinFreqSpan),
            engine::limitRange(wanted.y, bounds.amp, bounds.dblMinAmpSpan)};
}

void SpectrumPlot::setAmplitudeAxis(const AmplitudeAxis& axis)
{
    const bool blnRescaled =
        axis.dblDbPerDecade != ampAxis.dblDbPerDecade || axis.dblZeroDbValue != ampAxis.dblZeroDbValue;
    ampAxis = axis;
    if (blnRescaled && blnLogScale) {
        resetView();
    }
    update();
}

void SpectrumPlot::setTraces(std::vector<PlotTrace> traces)
{
    const bool blnWasFull = showsEverything();
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
    if (blnWasFull) {
        resetView();
    } else {
        updateBounds();
        applyFrameView(frameView());
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
    const engine::AxisRange fitted = fittedAmplitudes(frameView().x.dblLow, frameView().x.dblHigh);
    applyFrameView(
        {frameView().x, {std::max(fitted.dblLow, bounds.amp.dblLow), std::min(fitted.dblHigh, bounds.amp.dblHigh)}});
}

double SpectrumPlot::ampOf(double dblVolts) const
{
    if (!blnLogScale) {
        return dblVolts;
    }
    // Zero lines (outside a band, or an exact zero) sit far below any view instead of at -infinity.
    return dblVolts > 0.0 ? ampAxis.dblDbPerDecade * std::log10(dblVolts / ampAxis.dblZeroDbValue) : dblZeroDb;
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
    resetFrameView();
}

void SpectrumPlot::setView(const PlotView& newView)
{
    setFrameView({{newView.dblLowFreq, newView.dblHighFreq}, {newView.dblLowAmp, newView.dblHighAmp}});
}

PlotView SpectrumPlot::view() const
{
    const FrameView& shown = frameView();
    return {shown.x.dblLow, shown.x.dblHigh, shown.y.dblLow, shown.y.dblHigh};
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

void SpectrumPlot::setReferenceLine(std::optional<std::size_t> lngLine)
{
    const PlotTrace* trace = cursorTrace();
    if (!trace || !lngLine) {
        lngReferenceLine.reset();
    } else {
        lngReferenceLine = std::min(*lngLine, trace->dblFreq.size() - 1);
        bringIntoView(trace->dblFreq[*lngReferenceLine]);
    }
    update();
    emit cursorChanged();
}

std::optional<std::size_t> SpectrumPlot::lineNear(double dblFreq) const
{
    const PlotTrace* trace = cursorTrace();
    if (!trace || !std::isfinite(dblFreq)) {
        return std::nullopt;
    }
    const std::vector<double>& dblFreqs = trace->dblFreq;
    const double dblHalf = dblFreqs.size() > 1 ? (dblFreqs[1] - dblFreqs[0]) / 2.0 : dblLoneLineSpan / 2.0;
    if (dblFreq < dblFreqs.front() - dblHalf || dblFreq > dblFreqs.back() + dblHalf) {
        return std::nullopt;
    }
    return engine::nearestIndex(dblFreqs, dblFreq);
}

void SpectrumPlot::setLogFrequency(bool blnLog)
{
    if (blnLog == blnLogFreq) {
        return;
    }
    const bool blnWasFull = showsEverything();
    blnLogFreq = blnLog;
    updateLogFrequencies();
    updateBounds();
    if (blnWasFull) {
        resetFrameView();
    } else {
        // A zoomed view keeps its upper end; its lower one moves off 0 Hz.
        const FrameView& shown = frameView();
        applyFrameView({{std::max(shown.x.dblLow, bounds.freq.dblLow), shown.x.dblHigh}, shown.y});
    }
}

void SpectrumPlot::updateLogFrequencies()
{
    logFreqs.clear();
    if (!blnLogFreq) {
        return;
    }
    for (const PlotTrace& trace : plotTraces) {
        LogFrequencies logs;
        logs.lngFirst = static_cast<std::size_t>(std::upper_bound(trace.dblFreq.begin(), trace.dblFreq.end(), 0.0) -
                                                 trace.dblFreq.begin());
        logs.dblLogFreq.reserve(trace.dblFreq.size() - logs.lngFirst);
        for (std::size_t i = logs.lngFirst; i < trace.dblFreq.size(); ++i) {
            logs.dblLogFreq.push_back(std::log10(trace.dblFreq[i]));
        }
        logFreqs.push_back(std::move(logs));
    }
}

std::span<const double> SpectrumPlot::drawnFrequencies(const PlotTrace& trace, std::span<const double>& dblValues) const
{
    // On the logarithmic axis a trace is drawn from its lines above 0 Hz against their logarithms.
    dblValues = trace.dblVolts;
    if (!blnLogFreq) {
        return trace.dblFreq;
    }
    const LogFrequencies& logs = logFreqs[static_cast<std::size_t>(&trace - plotTraces.data())];
    dblValues = dblValues.subspan(logs.lngFirst);
    return logs.dblLogFreq;
}

void SpectrumPlot::bringIntoView(double dblFreq)
{
    const FrameView& shown = frameView();
    if (dblFreq >= shown.x.dblLow && dblFreq <= shown.x.dblHigh) {
        return;
    }
    const double dblEdge = dblFreq < shown.x.dblLow ? shown.x.dblLow : shown.x.dblHigh;
    if (!blnLogFreq) {
        const double dblShift = dblFreq - dblEdge;
        applyFrameView({{shown.x.dblLow + dblShift, shown.x.dblHigh + dblShift}, shown.y});
    } else if (dblFreq > 0.0) {
        // 0 Hz has no place on the logarithmic axis: the view stays.
        const double dblRatio = dblFreq / dblEdge;
        applyFrameView({{shown.x.dblLow * dblRatio, shown.x.dblHigh * dblRatio}, shown.y});
    }
}

double SpectrumPlot::freqAt(double dblX) const
{
    return currentLayout().xAt(dblX);
}

double SpectrumPlot::voltsAt(double dblY) const
{
    const double dblAmp = currentLayout().yAt(dblY);
    return blnLogScale ? ampAxis.dblZeroDbValue * std::pow(10.0, dblAmp / ampAxis.dblDbPerDecade) : dblAmp;
}

QPointF SpectrumPlot::pointOf(double dblFreq, double dblVolts) const
{
    const FrameLayout layout = currentLayout();
    return {layout.xOf(dblFreq), layout.yOf(ampOf(dblVolts))};
}

std::optional<std::size_t> SpectrumPlot::lineAt(double dblX, bool& blnHighest) const
{
    const PlotTrace* trace = cursorTrace();
    if (!trace) {
        return std::nullopt;
    }
    // At 65536 points a pixel column holds about 39 lines: what is drawn where the click lands is the
    // highest of them, not the one nearest by frequency.
    const double dblReach = (freqAt(dblX + dblPickReach) - freqAt(dblX - dblPickReach)) / 2.0;
    const engine::PickedLine picked = engine::pickLine(trace->dblFreq, trace->dblVolts, freqAt(dblX), dblReach);
    blnHighest = picked.blnHighest;
    return picked.lngIndex;
}

void SpectrumPlot::placeCursorAt(double dblX)
{
    bool blnHighest = false;
    const std::optional<std::size_t> lngLine = lineAt(dblX, blnHighest);
    if (!lngLine) {
        return;
    }
    setCursorLine(lngLine);
    blnCursorOnPeak = blnHighest;
    emit cursorChanged();
}

void SpectrumPlot::plotClicked(const QPointF& point, Qt::KeyboardModifiers modifiers)
{
    if (modifiers & Qt::ShiftModifier) {
        bool blnHighest = false;
        setReferenceLine(lineAt(point.x(), blnHighest));
    } else {
        placeCursorAt(point.x());
    }
}

void SpectrumPlot::plotPressed(quint64 lngTime)
{
    lngPressTime = lngTime;
    lngCursorBeforePress = lngCursorLine;
    blnPeakBeforePress = blnCursorOnPeak;
}

void SpectrumPlot::plotDoubleClicked(quint64 lngTime)
{
    // The first click of the two has moved the cursor: put it back, then show everything.
    const auto lngInterval = static_cast<quint64>(QApplication::doubleClickInterval());
    if (lngTime >= lngPressTime && lngTime - lngPressTime <= lngInterval) {
        const bool blnPeak = blnPeakBeforePress;
        setCursorLine(lngCursorBeforePress);
        blnCursorOnPeak = blnPeak && lngCursorLine.has_value();
        emit cursorChanged();
    }
    resetView();
}

double SpectrumPlot::keyZoomCentre() const
{
    const std::optional<double> dblCursor = cursorFrequency();
    return dblCursor ? *dblCursor : PlotFrame::keyZoomCentre();
}

void SpectrumPlot::moveCursorBy(std::ptrdiff_t lngLines)
{
    const PlotTrace* trace = cursorTrace();
    if (!trace) {
        return;
    }
    const auto lngLast = static_cast<std::ptrdiff_t>(trace->dblFreq.size()) - 1;
    const std::ptrdiff_t lngFrom =
        lngCursorLine ? static_cast<std::ptrdiff_t>(*lngCursorLine)
                      : static_cast<std::ptrdiff_t>(engine::nearestIndex(trace->dblFreq, PlotFrame::keyZoomCentre()));
    setCursorLine(static_cast<std::size_t>(std::clamp<std::ptrdiff_t>(lngFrom + lngLines, 0, lngLast)));
}

void SpectrumPlot::moveReferenceBy(std::ptrdiff_t lngLines)
{
    const PlotTrace* trace = cursorTrace();
    // Without a reference it starts from the cursor, as D would put it.
    const std::optional<std::size_t> lngFrom = lngReferenceLine ? lngReferenceLine : lngCursorLine;
    if (!trace || !lngFrom) {
        return;
    }
    const auto lngLast = static_cast<std::ptrdiff_t>(trace->dblFreq.size()) - 1;
    setReferenceLine(static_cast<std::size_t>(
        std::clamp<std::ptrdiff_t>(static_cast<std::ptrdiff_t>(*lngFrom) + lngLines, 0, lngLast)));
}

// The keys of the reference cursor and the readout; whether the key was one of them.
bool SpectrumPlot::measureKey(QKeyEvent* event)
{
    const bool blnControl = event->modifiers() & Qt::ControlModifier;
    const std::ptrdiff_t lngStep = (event->modifiers() & Qt::ShiftModifier) ? lngBigStep : 1;
    if (event->matches(QKeySequence::Copy)) {
        const QString strText = readoutText();
        if (!strText.isEmpty()) {
            QApplication::clipboard()->setText(strText);
        }
        return true;
    }
    if (event->key() == Qt::Key_D && !blnControl && !(event->modifiers() & Qt::AltModifier)) {
        if (lngCursorLine) {
            setReferenceLine(lngCursorLine);
        }
        return true;
    }
    if (event->key() == Qt::Key_Escape && lngReferenceLine) {
        setReferenceLine(std::nullopt);
        return true;
    }
    if (blnControl && (event->key() == Qt::Key_Left || event->key() == Qt::Key_Right)) {
        moveReferenceBy(event->key() == Qt::Key_Left ? -lngStep : lngStep);
        return true;
    }
    return false;
}

bool SpectrumPlot::plotKey(QKeyEvent* event)
{
    if (measureKey(event)) {
        return true;
    }
    const std::ptrdiff_t lngStep = (event->modifiers() & Qt::ShiftModifier) ? lngBigStep : 1;
    if (event->key() == Qt::Key_Left || event->key() == Qt::Key_Right) {
        moveCursorBy(event->key() == Qt::Key_Left ? -lngStep : lngStep);
        return true;
    }
    return false;
}

} // namespace kestrix::ui
