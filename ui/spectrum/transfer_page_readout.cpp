// SPDX-License-Identifier: GPL-3.0-or-later
// The two-channel page's curves, its cursor readout and the texts above and below the plots.

#include "engine/run/number_text.h"
#include "spectrum_panel_text.h"
#include "transfer_document.h"
#include "transfer_page.h"
#include "transfer_plot.h"
#include "units_text.h"
#include "view_document.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

namespace kestrix::ui {
namespace {

constexpr int intReadableDigits = 4;
const QColor clrH1(31, 119, 180);
const QColor clrH2(230, 100, 0);
const QColor clrCoherence(44, 160, 44);

double decibels(double dblMagnitude)
{
    // 0 has no level: not drawn, and read as none.
    return dblMagnitude > 0.0 ? 20.0 * std::log10(dblMagnitude) : std::numeric_limits<double>::quiet_NaN();
}

QString fixedText(double dblValue, int intDecimals)
{
    return fromUtf8(engine::fixedDecimalText(dblValue, intDecimals));
}

// A value to be read at a glance, or a dash where it does not exist on the line.
QString readable(double dblValue, const std::function<QString(double)>& text)
{
    return std::isfinite(dblValue) ? text(dblValue) : QStringLiteral("—");
}

// A value as the file writes it (an empty field where it does not exist).
QString exact(double dblValue)
{
    return std::isnan(dblValue) ? QString() : generalText(dblValue);
}

} // namespace

void TransferPage::showTransfer()
{
    const TransferShown* shown = transfer.shown();
    showCurves(shown);
    cmdSaveTransferPlot->setEnabled(shown != nullptr);
    cmdSaveTransferFile->setEnabled(shown != nullptr);
    lblTransferSummary->setText(summaryText());
    lblTransferNote->setText(noteText());
    if (shown != nullptr && dblCursorHz) {
        moveCursor(static_cast<std::size_t>(std::lround(*dblCursorHz / shown->result.dblDeltaFreq)));
    } else {
        showCursor();
    }
}

void TransferPage::showCurves(const TransferShown* shown)
{
    const QString strUnit = unitText();
    pltMagnitude->setValueAxis(
        chkTransferDb->isChecked() ? tr("|H| [dB re 1 %1]").arg(strUnit) : tr("|H| [%1]").arg(strUnit), std::nullopt);
    if (chkUnwrapped->isChecked()) {
        pltPhase->setValueAxis(tr("位相 [°]"), std::nullopt);
    } else {
        pltPhase->setValueAxis(tr("位相 [°]"), engine::AxisRange{-180.0, 180.0}, {-180.0, -90.0, 0.0, 90.0, 180.0});
    }
    pltCoherence->setGuide(transfer.threshold());
    const QString strEmpty = transfer.note().isEmpty() ? tr("解析すると、ここに伝達関数を表示します") : transfer.note();
    for (TransferPlot* plot : {pltMagnitude, pltPhase}) {
        plot->setEmptyText(strEmpty);
    }
    if (shown == nullptr) {
        pltCoherence->setEmptyText(strEmpty);
        for (TransferPlot* plot : {pltMagnitude, pltPhase, pltCoherence}) {
            plot->setCurves(1.0, {}, {});
        }
        return;
    }
    const engine::TransferEstimates& est = shown->result.estimates;
    const bool blnDb = chkTransferDb->isChecked();
    const auto magnitudes = [blnDb](const std::vector<double>& dblMagnitude) {
        std::vector<double> dblShown = dblMagnitude;
        if (blnDb) {
            std::transform(dblShown.begin(), dblShown.end(), dblShown.begin(), decibels);
        }
        return dblShown;
    };
    // Every curve fades where the coherence says its line cannot be trusted (NaN: no power to judge).
    std::vector<bool> blnFaded(est.dblCoherence.size());
    for (std::size_t k = 0; k < blnFaded.size(); ++k) {
        blnFaded[k] = !(est.dblCoherence[k] >= transfer.threshold());
    }
    std::vector<TransferCurve> magnitude{{QStringLiteral("H1"), clrH1, magnitudes(est.dblH1Magnitude), false}};
    if (chkH2->isChecked()) {
        magnitude.push_back({QStringLiteral("H2"), clrH2, magnitudes(est.dblH2Magnitude), false});
    }
    const bool blnUnwrapped = chkUnwrapped->isChecked();
    const double dblDeltaFreq = shown->result.dblDeltaFreq;
    pltMagnitude->setCurves(dblDeltaFreq, std::move(magnitude), blnFaded);
    pltPhase->setCurves(dblDeltaFreq,
                        {{tr("位相"), clrH1, blnUnwrapped ? est.dblUnwrappedDeg : est.dblPhaseDeg, !blnUnwrapped}},
                        blnFaded);
    pltCoherence->setEmptyText(
        tr("コヒーレンスはありません。1 区間だけでは γ² はどの線でも 1 になり、何も示しません。"
           "2 区間以上になるよう、録音を長くするか N を小さくしてください（%1 サンプル、N = %2）。")
            .arg(shown->result.spectra.lngSamples)
            .arg(shown->result.spectra.settings.lngNumSamp));
    std::vector<TransferCurve> coherence;
    if (!est.dblCoherence.empty()) {
        coherence.push_back({QStringLiteral("γ²"), clrCoherence, est.dblCoherence, false});
    }
    pltCoherence->setCurves(dblDeltaFreq, std::move(coherence), blnFaded);
    showCursor();
}

void TransferPage::showCursor()
{
    const QStringList strReadable = readoutLines(false);
    pltMagnitude->setReadout(strReadable);
    const QStringList strExact = readoutLines(true);
    lblTransferCursor->setText(strReadable.isEmpty() ? tr("グラフをクリックすると、その線の値をここに表示します")
                                                     : (strReadable + strExact).join(QLatin1Char('\n')));
}

QString TransferPage::cursorText() const
{
    return lblTransferCursor->text();
}

QString TransferPage::unitText() const
{
    const TransferShown* shown = transfer.shown();
    engine::TransferRequest request;
    request.inputUnit = shown != nullptr ? shown->request.inputUnit : transfer.inputUnit();
    request.outputUnit = shown != nullptr ? shown->request.outputUnit : transfer.outputUnit();
    return fromUtf8(engine::responseUnit(request));
}

// The cursor's line: to be read at a glance (frequency, |H1| and its level, the phase, γ², |H2| when
// shown), or as the file writes the line.
QStringList TransferPage::readoutLines(bool blnExact) const
{
    const TransferShown* shown = transfer.shown();
    const std::optional<std::size_t> lngLine = pltMagnitude->cursorLine();
    if (shown == nullptr || !lngLine || *lngLine >= shown->result.estimates.dblH1Magnitude.size()) {
        return {};
    }
    const std::size_t k = *lngLine;
    const engine::TransferEstimates& est = shown->result.estimates;
    const double dblFreq = static_cast<double>(k) * shown->result.dblDeltaFreq;
    const bool blnCoherence = !est.dblCoherence.empty();
    const double dblCoherence = blnCoherence ? est.dblCoherence[k] : std::numeric_limits<double>::quiet_NaN();
    const QString strUnit = unitText();
    const QChar chrGap(0x3000);
    if (blnExact) {
        QStringList strFields{generalText(dblFreq) + QStringLiteral(" Hz"),
                              QStringLiteral("|H1| %1 %2").arg(exact(est.dblH1Magnitude[k]), strUnit),
                              tr("位相 %1°").arg(exact(est.dblPhaseDeg[k])),
                              tr("連続 %1°").arg(exact(est.dblUnwrappedDeg[k])),
                              QStringLiteral("|H2| %1 %2").arg(exact(est.dblH2Magnitude[k]), strUnit),
                              QStringLiteral("γ² %1").arg(blnCoherence ? exact(dblCoherence) : tr("なし"))};
        return {strFields.join(QStringLiteral(", "))};
    }
    const auto magnitudeText = [&strUnit](double dblValue) {
        return readable(dblValue,
                        [&strUnit](double dblH) {
                            return fromUtf8(engine::siText(dblH, intReadableDigits, strUnit.toStdString()));
                        }) +
               QStringLiteral("（%1）").arg(readable(
                   decibels(dblValue), [](double dblDb) { return fixedText(dblDb, 2) + QStringLiteral(" dB"); }));
    };
    const bool blnUnwrapped = chkUnwrapped->isChecked();
    const double dblPhase = blnUnwrapped ? est.dblUnwrappedDeg[k] : est.dblPhaseDeg[k];
    QString strLine = fromUtf8(engine::lineFrequencyText(dblFreq, shown->result.dblDeltaFreq)) + QStringLiteral(" Hz");
    strLine += chrGap + QStringLiteral("|H1| ") + magnitudeText(est.dblH1Magnitude[k]);
    if (chkH2->isChecked()) {
        strLine += chrGap + QStringLiteral("|H2| ") + magnitudeText(est.dblH2Magnitude[k]);
    }
    strLine += chrGap + (blnUnwrapped ? tr("位相（連続）") : tr("位相")) + QLatin1Char(' ') +
               readable(dblPhase, [](double dblDeg) { return fixedText(dblDeg, 1) + QStringLiteral("°"); });
    strLine += chrGap + QStringLiteral("γ² ") +
               (blnCoherence ? readable(dblCoherence, [](double dblValue) { return fixedText(dblValue, 3); })
                             : tr("なし（1 区間）"));
    return {strLine};
}

// What the response shown is of: the signals, the settings, and the delay between them.
QString TransferPage::summaryText() const
{
    const TransferShown* shown = transfer.shown();
    if (shown == nullptr) {
        return {};
    }
    const QStringList& strEntries = transfer.signalEntries();
    const auto entry = [&strEntries](int intSignal) {
        return intSignal >= 1 && intSignal <= strEntries.size() ? strEntries[intSignal - 1]
                                                                : QString::number(intSignal);
    };
    const engine::TransferFileResult& result = shown->result;
    QString strText =
        tr("入力 %1 → 出力 %2　%3、%4 %、N = %5、%6 区間、Δf = %7 Hz、fs = %8 Hz")
            .arg(entry(shown->source.intInput), entry(shown->source.intOutput), windowKindTitle(shown->source.window))
            .arg(shown->source.dblOverlap)
            .arg(result.spectra.settings.lngNumSamp)
            .arg(result.spectra.lngSegments)
            .arg(generalText(result.dblDeltaFreq))
            .arg(result.lngSampFreq);
    if (!result.delay) {
        return strText + tr("\n遅れ：求まりません（入力と出力に共通する成分がありません）");
    }
    const engine::ChannelDelay& delay = *result.delay;
    return strText + tr("\n出力の遅れ %1（%2 サンプル%3、相関 %4）")
                         .arg(fromUtf8(engine::siText(delay.dblSeconds, intReadableDigits, "s")),
                              fixedText(delay.dblSamples, 2), delay.dblSamples < 0.0 ? tr("：出力が先") : QString(),
                              fixedText(delay.dblCorrelation, 2));
}

QString TransferPage::noteText() const
{
    QStringList strNotes;
    if (const QString strNote = transfer.note(); !strNote.isEmpty()) {
        strNotes << strNote;
    }
    if (const TransferShown* shown = transfer.shown(); shown && shown->result.estimates.dblCoherence.empty()) {
        strNotes << tr("1 区間だけなので、コヒーレンスはありません（1 と表示しても何も示さないため）。");
    }
    if (!strSensitivityNote.isEmpty()) {
        strNotes << strSensitivityNote;
    }
    if (transfer.busy()) {
        strNotes << tr("伝達関数を読み込み中…");
    }
    return strNotes.join(QLatin1Char('\n'));
}

} // namespace kestrix::ui
