// SPDX-License-Identifier: GPL-3.0-or-later
// The spectrum page's readouts in the units shown, the harmonic markers, the references and the picture.

#include "engine/view/plot_view.h"
#include "engine/view/readable_number.h"
#include "envelope_tools.h"
#include "measure_tools.h"
#include "peak_panel.h"
#include "spectrum_page.h"
#include "spectrum_panel_text.h"
#include "spectrum_plot.h"
#include "units_text.h"
#include "view_document.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

namespace kestrix::ui {
namespace {

constexpr std::size_t lngMostMarkers = 20; // harmonic markers: more would only crowd the plot

} // namespace

engine::SpectrumScale SpectrumPage::referenceTarget(const Reference& reference) const
{
    const ShownSpectrum& shown = document.shown();
    const ViewSettings& settings = document.shownSettings();
    return ReferenceList::target(reference, shown.dblValues.empty() ? std::nullopt : std::optional(shown.scale),
                                 settings.units, settings.averaging == ViewAveraging::SingleBlock);
}

// The readout reads the values shown: the plot draws dBV as the rms volts it stands for, the values
// carry the units chosen.
void SpectrumPage::refreshLineScale()
{
    const ShownSpectrum& shown = document.shown();
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
            const ShownSpectrum& values = document.shown();
            if (lngLine >= values.dblValues.size()) {
                return QString();
            }
            const UnitsTexts texts = document.units();
            QString strText = valueText(values.dblValues[lngLine], values.scale, texts);
            if (pltSpectrum->logScale() && values.scale.units != engine::SpectrumUnits::DbV) {
                strText += tr("（%1）").arg(levelText(values.dblPlot[lngLine], texts));
            }
            return strText;
        },
        [this](std::size_t lngLine) {
            const ShownSpectrum& values = document.shown();
            return lngLine < values.dblValues.size()
                       ? generalText(values.dblValues[lngLine]) + QLatin1Char(' ') + document.units().strFile
                       : QString();
        });
}

QString SpectrumPage::cursorText() const
{
    return lblCursor->text();
}

void SpectrumPage::refreshCursorText()
{
    const PlotTrace* trace = pltSpectrum->cursorTrace();
    const std::optional<std::size_t> lngLine = pltSpectrum->cursorLine();
    if (!trace || !lngLine) {
        lblCursor->setText(tr("カーソル：グラフをクリックすると、付近で最も高い線の値を表示します"
                              "（←→ キーで 1 本ずつ移動）"));
        return;
    }
    // With a spectrum shown, the cursor trace is it; else the first reference.
    const ShownSpectrum& shown = document.shown();
    const bool blnShown = !shown.dblValues.empty();
    const Reference* first = blnShown ? nullptr : &referenceList.references().front();
    const engine::SpectrumScale scale = blnShown ? shown.scale : referenceTarget(*first);
    const UnitsTexts texts = blnShown ? document.units() : unitsTexts(scale.units);
    const double dblValue = blnShown ? shown.dblValues[*lngLine] : ReferenceList::values(*first, scale)[*lngLine];
    const double dblFreq = trace->dblFreq[*lngLine];
    const double dblSpacing = trace->dblFreq.size() > 1 ? trace->dblFreq[1] - trace->dblFreq[0] : 1.0;
    QString strText = tr("カーソル：%1 Hz%2　%3")
                          .arg(fromUtf8(engine::lineFrequencyText(dblFreq, dblSpacing)), orderText(dblFreq, dblSpacing),
                               valueText(dblValue, scale, texts));
    if (pltSpectrum->logScale() && scale.units != engine::SpectrumUnits::DbV) {
        strText += tr("（%1）").arg(levelText(trace->dblVolts[*lngLine], texts));
    }
    if (pltSpectrum->cursorOnPeak()) {
        strText += tr("　付近のピーク");
    }
    // The band spectrum shares the shown spectrum's lines.
    const bool blnBand = blnShown && *lngLine < shown.dblBandValues.size();
    if (blnBand) {
        strText += tr("　バンド %1").arg(valueText(shown.dblBandValues[*lngLine], scale, texts));
    }
    strText += referenceReadout(dblFreq);
    // The line as the spectrum file writes it, to find it there.
    strText += tr("\nファイルの値：%1 Hz, %2 %3").arg(generalText(dblFreq), generalText(dblValue), texts.strFile);
    if (blnBand) {
        strText += tr("（バンド %1 %2）").arg(generalText(shown.dblBandValues[*lngLine]), texts.strFile);
    }
    lblCursor->setText(strText);
}

QString SpectrumPage::referenceReadout(double dblFreq) const
{
    QString strText;
    const PlotTrace* trace = pltSpectrum->cursorTrace();
    for (const Reference& reference : referenceList.references()) {
        const engine::SpectrumScale scale = referenceTarget(reference);
        const QString strName = ReferenceList::legend(reference, scale);
        if (trace && trace->dblFreq == reference.dblFreq && trace->strName == strName) {
            continue; // the cursor is on this reference itself
        }
        if (!comparable(reference)) {
            strText +=
                tr("　%1（%2 のスペクトル：単位が違うため重ねていません）").arg(reference.strName, reference.strUnit);
            continue;
        }
        const std::optional<std::size_t> lngLine = engine::lineAt(reference.dblFreq, dblFreq);
        strText += tr("　%1 %2").arg(
            strName, lngLine ? valueText(carriedValue(reference.dblValues[*lngLine], *lngLine, reference.scale, scale),
                                         scale, document.units())
                             : tr("（この周波数に線なし）"));
    }
    return strText;
}

bool SpectrumPage::comparable(const Reference& reference) const
{
    // Values of another unit cannot be carried into those shown: volts are no g.
    return document.shown().dblValues.empty() || reference.strUnit == document.units().strUnit;
}

QString SpectrumPage::orderText(double dblFreq, double dblSpacing) const
{
    const std::optional<engine::RunningSpeed>& speed = document.orderSpeed();
    if (!speed) {
        return {};
    }
    return tr("（%1 次）")
        .arg(fromUtf8(engine::lineFrequencyText(engine::orderOf(dblFreq, speed->dblHz), dblSpacing / speed->dblHz)));
}

void SpectrumPage::refreshHarmonics()
{
    const PlotTrace* trace = pltSpectrum->cursorTrace();
    const std::optional<engine::RunningSpeed>& speed = document.orderSpeed();
    std::optional<double> dblFundamental;
    // With the axis in orders the markers stand at the running speed's orders, else at the chosen peak's.
    if (pnlPeaks->harmonicsWanted() && trace) {
        dblFundamental = speed ? std::optional<double>(speed->dblHz) : pnlPeaks->chosenFrequency();
    }
    // On the envelope, a bearing's defect frequency typed is marked whether or not a peak is chosen.
    if (trace && document.envelopeShown() && envelopeTools->defectFrequency()) {
        dblFundamental = envelopeTools->defectFrequency();
    }
    pltSpectrum->setHarmonics(dblFundamental
                                  ? engine::harmonicFrequencies(*dblFundamental, trace->dblFreq.back(), lngMostMarkers)
                                  : std::vector<double>{});
}

bool SpectrumPage::openReference(const std::string& strPath)
{
    if (const std::optional<QString> strRefusal = referenceList.open(strPath)) {
        ui.showMessage(strRefusal->toStdString(), platform::MessageStyle::Exclamation);
        return false;
    }
    const Reference& added = referenceList.references().back();
    cboReferences->addItem(added.strName);
    cboReferences->setItemData(cboReferences->count() - 1, fromUtf8(strPath), Qt::ToolTipRole);
    cboReferences->setCurrentIndex(cboReferences->count() - 1);
    cmdRemoveReference->setEnabled(true);
    refreshTraces();
    applyCursors();
    return true;
}

void SpectrumPage::removeReference(int lngIndex)
{
    if (lngIndex < 0 || lngIndex >= static_cast<int>(referenceList.references().size())) {
        return;
    }
    referenceList.remove(static_cast<std::size_t>(lngIndex));
    cboReferences->removeItem(lngIndex);
    cmdRemoveReference->setEnabled(!referenceList.references().empty());
    refreshTraces();
    applyCursors();
}

void SpectrumPage::openReferenceDialog()
{
    platform::OpenFileRequest request;
    request.strTitle = tr("参照スペクトルを開く").toStdString();
    request.strFilter = tr("スペクトルファイル (*_SPC.csv)|*_SPC.csv|CSV ファイル (*.csv)|*.csv|"
                           "すべてのファイル (*.*)|*.*")
                            .toStdString();
    request.lngFlags = platform::open_flags::lngFileMustExist | platform::open_flags::lngHideReadOnly |
                       platform::open_flags::lngNoChangeDir;
    if (const std::optional<std::string> strPath = ui.chooseOpenFile(request)) {
        openReference(*strPath);
    }
}

QString SpectrumPage::proposedImageName() const
{
    const std::vector<Reference>& references = referenceList.references();
    return document.proposedPictureName(QStringLiteral("SPC"),
                                        references.empty() ? std::string() : references.front().strPath);
}

bool SpectrumPage::savePlotImage(const QString& strPath)
{
    QString strError;
    if (!SpectrumPlot::isPictureName(strPath)) {
        ui.showMessage(tr("画像の形式は名前の拡張子で決まります。.png（PNG）、.jpg か .jpeg（JPEG）、"
                          ".svg（SVG）のどれかを付けてください。\n%1")
                           .arg(strPath)
                           .toStdString(),
                       platform::MessageStyle::Exclamation);
        return false;
    }
    if (pltSpectrum->saveImage(strPath, strError)) {
        return true;
    }
    return pictureNotSaved(ui, strPath, strError);
}

void SpectrumPage::savePicture()
{
    // Also reached by its shortcut, which a disabled button does not stop.
    if (pltSpectrum->traces().empty()) {
        return;
    }
    if (const std::optional<QString> strPath = askPictureName(ui, tr("画像を保存"), proposedImageName())) {
        savePlotImage(*strPath);
    }
}

} // namespace kestrix::ui
