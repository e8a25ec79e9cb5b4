// SPDX-License-Identifier: GPL-3.0-or-later
// The spectrum view's measurements: the frequency axis's controls (logarithmic, orders of a running
// speed), the converter figures of the spectrum shown with its lines shaded on the plot, and what the
// plot's readout between two cursors needs to read the units shown.

#include "measure_tools.h"
#include "metrics_panel.h"
#include "spectrogram_plot.h"
#include "spectrum_panel.h"
#include "spectrum_panel_text.h"
#include "spectrum_plot.h"
#include "units_text.h"

#include <QCheckBox>
#include <QSplitter>

namespace kestrix::ui {

void SpectrumPanel::createMeasureControls()
{
    measureTools = new MeasureTools(*pltSpectrum, *this);
    chkMetrics = new QCheckBox(tr("変換器の指標(&M)"), this);
    chkMetrics->setObjectName(QStringLiteral("chkMetrics"));
    chkMetrics->setAccessibleName(tr("変換器の指標を表示"));
    chkMetrics->setToolTip(tr("表示中のスペクトルのトーンの SNR・THD・SINAD・ENOB・SFDR をグラフの横に表示し、"
                              "数えた線を色分けします（録音を fs/2 まで解析し直します）"));
    pnlMetrics = new MetricsPanel(this);
    pnlMetrics->setVisible(false);
}

void SpectrumPanel::connectMeasureSignals()
{
    connect(measureTools, &MeasureTools::ordersChanged, this, [this] {
        refreshHarmonics();
        refreshCursorText();
    });
    connect(chkMetrics, &QCheckBox::toggled, this, &SpectrumPanel::chkMetrics_Toggled);
    connect(pnlMetrics, &MetricsPanel::shadingChanged, this,
            [this] { pltSpectrum->setLineRoles(pnlMetrics->shadedRoles(), pnlMetrics->lineSpacing()); });
    connect(chkSpectrogramLogFrequency, &QCheckBox::toggled, this, &SpectrumPanel::chkSpectrogramLogFrequency_Toggled);
}

void SpectrumPanel::refreshMeasurements()
{
    refreshLineScale();
    refreshMetrics();
}

// The readout reads the values shown: the plot draws dBV as the rms volts it stands for, the values
// carry the units chosen.
void SpectrumPanel::refreshLineScale()
{
    if (shown.dblValues.empty() || !(shown.dblDeltaFreq > 0.0)) {
        pltSpectrum->setLineScale(std::nullopt);
        pltSpectrum->setLineTexts({}, {});
        return;
    }
    const bool blnLevels = shown.scale.units == engine::SpectrumUnits::DbV;
    pltSpectrum->setLineScale(engine::LineScale{blnLevels ? engine::SpectrumUnits::Rms : shown.scale.units,
                                                shown.dblDeltaFreq, shown.scale.dblNoiseBandwidth / shown.dblDeltaFreq,
                                                shown.scale.blnClassic});
    pltSpectrum->setLineTexts(
        [this](std::size_t lngLine) {
            if (lngLine >= shown.dblValues.size()) {
                return QString();
            }
            QString strText = valueText(shown.dblValues[lngLine], shown.scale);
            if (chkLogScale->isChecked() && shown.scale.units != engine::SpectrumUnits::DbV) {
                strText += tr("（%1）").arg(levelText(shown.dblPlot[lngLine], shown.scale));
            }
            return strText;
        },
        [this](std::size_t lngLine) {
            return lngLine < shown.dblValues.size() ? generalText(shown.dblValues[lngLine]) + QLatin1Char(' ') +
                                                          unitsTexts(shown.scale.units).strFile
                                                    : QString();
        });
}

// The figures of the spectrum shown: the picked segment's, the average's, or the first block's (no
// window), each averaged to half the rate when the figures were asked for.
void SpectrumPanel::refreshMetrics()
{
    if (!chkMetrics->isChecked()) {
        pnlMetrics->clear();
        return;
    }
    const engine::AveragedPower* power = nullptr;
    std::int32_t lngSampFreq = 0;
    if (lngShownSegment && segmentReading) {
        power = &segmentReading->average.figuresPower;
        lngSampFreq = segmentReading->average.lngSampFreq;
    } else if (lastReading) {
        const bool blnBlock = shownSettings.averaging == ViewAveraging::SingleBlock;
        power = blnBlock ? &lastReading->firstBlockPower : &lastReading->average.figuresPower;
        lngSampFreq = lastReading->average.lngSampFreq;
    }
    if (power == nullptr || !viewRecording || power->lngSegments == 0) {
        pnlMetrics->clear();
        return;
    }
    pnlMetrics->showAverage(*power, lngSampFreq, viewRecording->dblMaxVolt, shown.strName);
}

std::optional<double> SpectrumPanel::orderSpeedHz() const
{
    const std::optional<engine::RunningSpeed> speed = measureTools ? measureTools->orderSpeed() : std::nullopt;
    return speed ? std::optional<double>(speed->dblHz) : std::nullopt;
}

QString SpectrumPanel::orderText(double dblFreq, double dblSpacing) const
{
    const std::optional<double> dblSpeed = orderSpeedHz();
    if (!dblSpeed) {
        return {};
    }
    return tr("（%1 次）")
        .arg(fromUtf8(engine::lineFrequencyText(engine::orderOf(dblFreq, *dblSpeed), dblSpacing / *dblSpeed)));
}

void SpectrumPanel::chkMetrics_Toggled(bool blnChecked)
{
    pnlMetrics->setVisible(blnChecked);
    // The panel would take more than its share as it appears: the plot keeps three fifths.
    if (blnChecked) {
        const int intWidth = splPlot->width();
        splPlot->setSizes({intWidth * 3 / 5, intWidth - intWidth * 3 / 5});
    }
    // Shown, the figures want the recording averaged to half the rate: read again where it was not.
    settingChanged();
    refreshMetrics();
}

void SpectrumPanel::chkSpectrogramLogFrequency_Toggled(bool blnChecked)
{
    pltSpectrogram->setLogFrequency(blnChecked);
}

} // namespace kestrix::ui
