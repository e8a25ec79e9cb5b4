// SPDX-License-Identifier: GPL-3.0-or-later
#include "octave_plot.h"

#include "engine/view/octave_view.h"
#include "spectrum_panel_text.h"

#include <QKeyEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <limits>

namespace kestrix::ui {
namespace {

const QColor clrBar(31, 119, 180);
const QColor clrCursorBar(230, 100, 0);
constexpr double dblMaxSpanDb = 100.0; // dB the whole view shows at most below the highest band
constexpr double dblMinSpanDb = 5.0;   // dB the view shows at least
constexpr double dblMinBands = 3.0;    // bands the view shows at least
constexpr int intFrequencyDigits = 5;  // significant digits of a midband or an edge

// A frequency in Hz with five significant digits, without an SI prefix: "25.119", "891.25", "11220".
QString hzText(double dblHz)
{
    const int intBefore = dblHz >= 1.0 ? static_cast<int>(std::floor(std::log10(dblHz))) + 1 : 1;
    return QString::number(dblHz, 'f', std::max(0, intFrequencyDigits - intBefore)) + QStringLiteral(" Hz");
}

} // namespace

OctavePlot::OctavePlot(QWidget* parent) : PlotFrame(parent)
{
    setMinimumSize(240, 160);
}

void OctavePlot::setBands(std::vector<engine::BandReading> bands, std::int32_t lngPerOctave, const QString& strLevel,
                          const engine::EngineeringUnit& unit)
{
    bandReadings = std::move(bands);
    lngBandsPerOctave = lngPerOctave;
    strLevelName = strLevel;
    levelUnit = unit;
    lngCursor.reset();
    resetView();
}

void OctavePlot::setEmptyText(const QString& strText)
{
    strEmpty = strText;
    update();
}

void OctavePlot::resetView()
{
    resetFrameView();
    update();
}

FrameAxis OctavePlot::horizontalAxis() const
{
    FrameAxis axis{tr("周波数 [Hz]（帯域の公称中心周波数）"), true, true, 1.0, false};
    if (bandReadings.empty()) {
        return axis;
    }
    // The names anchored at the band nearest 1 kHz, so that thinned names keep the familiar ones.
    double dblNearest = std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < bandReadings.size(); ++i) {
        const engine::OctaveBand& band = bandReadings[i].band;
        axis.dblNamed.push_back(band.dblMidband);
        axis.strNames.push_back(fromUtf8(band.strNominal));
        const double dblFrom1k = std::abs(std::log(band.dblMidband / 1000.0));
        if (dblFrom1k < dblNearest) {
            dblNearest = dblFrom1k;
            axis.lngAnchor = i;
        }
    }
    axis.lngStrides = engine::bandNameStrides(lngBandsPerOctave, bandReadings.size());
    return axis;
}

FrameAxis OctavePlot::verticalAxis() const
{
    return {QStringLiteral("%1 [dB re %2]").arg(strLevelName, fromUtf8(levelUnit.strDbReference)), false, false, 1.0,
            false};
}

bool OctavePlot::hasData() const
{
    return !bandReadings.empty();
}

QString OctavePlot::emptyText() const
{
    return strEmpty.isEmpty() ? tr("録音を開くと、オクターブ分析の結果がここに表示されます。") : strEmpty;
}

FrameView OctavePlot::fullView() const
{
    if (bandReadings.empty()) {
        return {{1.0, 2.0}, {0.0, 1.0}};
    }
    std::vector<double> dblLevels;
    for (const engine::BandReading& reading : bandReadings) {
        dblLevels.push_back(reading.dblLeqDb);
    }
    return {{bandReadings.front().band.dblLower, bandReadings.back().band.dblUpper},
            engine::levelChartRange(dblLevels, dblMaxSpanDb, engine::dblLevelFloorDb)};
}

FrameView OctavePlot::limitView(const FrameView& wanted) const
{
    const FrameView full = fullView();
    // Across by the logarithms of the frequencies, at least a few bands wide.
    const double dblBandDecades = std::log10(engine::octaveRatio()) / lngBandsPerOctave;
    const auto logOf = [](double dblHz) { return dblHz > 0.0 ? std::log10(dblHz) : -HUGE_VAL; };
    const engine::AxisRange across =
        engine::limitRange({logOf(wanted.x.dblLow), logOf(wanted.x.dblHigh)},
                           {logOf(full.x.dblLow), logOf(full.x.dblHigh)}, dblMinBands * dblBandDecades);
    const engine::AxisRange up =
        engine::limitRange(wanted.y, {full.y.dblLow - dblMaxSpanDb, full.y.dblHigh + dblMaxSpanDb / 2.0}, dblMinSpanDb);
    return {{std::pow(10.0, across.dblLow), std::pow(10.0, across.dblHigh)}, up};
}

QRectF OctavePlot::barRect(std::size_t lngBand, const FrameLayout& layout) const
{
    const engine::OctaveBand& band = bandReadings[lngBand].band;
    double dblLeft = layout.xOf(band.dblLower);
    double dblRight = layout.xOf(band.dblUpper);
    if (dblRight - dblLeft > 3.0) {
        dblLeft += 1.0; // a gap between neighbours where there is room for it
    }
    const double dblTop = std::min(layout.yOf(bandReadings[lngBand].dblLeqDb), layout.plot.bottom() + 1.0);
    return {QPointF(dblLeft, dblTop), QPointF(dblRight, layout.plot.bottom() + 1.0)};
}

void OctavePlot::paintData(QPainter& painter, const FrameLayout& layout) const
{
    painter.save();
    painter.setClipRect(layout.plot);
    painter.setPen(Qt::NoPen);
    for (std::size_t i = 0; i < bandReadings.size(); ++i) {
        painter.setBrush(lngCursor == i ? clrCursorBar : clrBar);
        painter.drawRect(barRect(i, layout));
    }
    painter.restore();
}

QStringList OctavePlot::cursorLines() const
{
    if (!lngCursor) {
        return {};
    }
    const engine::BandReading& reading = bandReadings[*lngCursor];
    const engine::OctaveBand& band = reading.band;
    const QChar chrSpace(0x3000);
    return {tr("%1 Hz 帯（1/%2 オクターブ）").arg(fromUtf8(band.strNominal)).arg(lngBandsPerOctave),
            tr("中心 %1%4下端 %2%4上端 %3")
                .arg(hzText(band.dblMidband), hzText(band.dblLower), hzText(band.dblUpper), chrSpace),
            tr("%1 %2 dB re %3%5実効値 %4")
                .arg(strLevelName, QString::number(reading.dblLeqDb, 'f', 2), fromUtf8(levelUnit.strDbReference),
                     fromUtf8(engine::siText(reading.dblRms, 4, levelUnit.strUnit)), chrSpace)};
}

QStringList OctavePlot::readoutLines() const
{
    return cursorLines();
}

// A bar's top is its level: a readout over it hides what the bar says, one over its body only where the
// bar stands. So hiding a top costs as much as hiding a bar's body the whole height of the plot over a
// thousand times its width, and the readout goes where it hides the fewest tops, then the least body.
double OctavePlot::hiddenData(const QRect& box, const FrameLayout& layout) const
{
    constexpr double dblTopWeight = 1000.0;
    const QRectF area(box);
    double dblHidden = 0.0;
    for (std::size_t i = 0; i < bandReadings.size(); ++i) {
        const QRectF bar = barRect(i, layout);
        const QRectF hidden = bar.intersected(area);
        dblHidden += hidden.width() * hidden.height();
        if (hidden.width() > 0.0 && bar.top() >= area.top() && bar.top() <= area.bottom() + 1.0) {
            dblHidden += dblTopWeight * layout.plot.height() * hidden.width();
        }
    }
    return dblHidden;
}

QRect OctavePlot::readoutArea() const
{
    QStringList strLines;
    return readoutBox(currentLayout(), fontMetrics(), strLines);
}

void OctavePlot::setCursorBand(std::optional<std::size_t> lngBand)
{
    if (lngBand && *lngBand >= bandReadings.size()) {
        lngBand.reset();
    }
    lngCursor = lngBand;
    keepCursorInView();
    update();
}

void OctavePlot::keepCursorInView()
{
    if (!lngCursor) {
        return;
    }
    const engine::OctaveBand& band = bandReadings[*lngCursor].band;
    const FrameView& shown = frameView();
    if (band.dblLower >= shown.x.dblLow && band.dblUpper <= shown.x.dblHigh) {
        return;
    }
    // Moved by whole ratios, keeping the zoom: the band then stands at the near edge of the view.
    const double dblFactor =
        band.dblLower < shown.x.dblLow ? band.dblLower / shown.x.dblLow : band.dblUpper / shown.x.dblHigh;
    applyFrameView({{shown.x.dblLow * dblFactor, shown.x.dblHigh * dblFactor}, shown.y});
}

void OctavePlot::plotClicked(const QPointF& point, Qt::KeyboardModifiers /*modifiers*/)
{
    const FrameLayout layout = currentLayout();
    if (bandReadings.empty() || !layout.plot.contains(point.toPoint())) {
        return;
    }
    std::vector<engine::OctaveBand> bands;
    for (const engine::BandReading& reading : bandReadings) {
        bands.push_back(reading.band);
    }
    setCursorBand(engine::bandIndexAt(bands, layout.xAt(point.x())));
    emit cursorChanged();
}

bool OctavePlot::plotKey(QKeyEvent* event)
{
    if (bandReadings.empty() || (event->key() != Qt::Key_Left && event->key() != Qt::Key_Right)) {
        return false;
    }
    const std::size_t lngLast = bandReadings.size() - 1;
    if (!lngCursor) {
        setCursorBand(event->key() == Qt::Key_Left ? lngLast : 0);
    } else if (event->key() == Qt::Key_Left) {
        setCursorBand(*lngCursor == 0 ? 0 : *lngCursor - 1);
    } else {
        setCursorBand(std::min(lngLast, *lngCursor + 1));
    }
    emit cursorChanged();
    return true;
}

double OctavePlot::keyZoomCentre() const
{
    if (lngCursor) {
        return bandReadings[*lngCursor].band.dblMidband;
    }
    return std::sqrt(frameView().x.dblLow * frameView().x.dblHigh);
}

QPointF OctavePlot::pointOf(double dblHz, double dblLevelDb) const
{
    const FrameLayout layout = currentLayout();
    return {layout.xOf(dblHz), layout.yOf(dblLevelDb)};
}

} // namespace kestrix::ui
