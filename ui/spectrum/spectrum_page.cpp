// SPDX-License-Identifier: GPL-3.0-or-later
// The spectrum page's controls and their places, and how it follows the document.

#include "spectrum_page.h"

#include "envelope_tools.h"
#include "flow_layout.h"
#include "levels_panel.h"
#include "measure_tools.h"
#include "metrics_panel.h"
#include "peak_panel.h"
#include "spectrum_plot.h"
#include "units_text.h"
#include "view_document.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>
#include <QSplitter>
#include <QVBoxLayout>

#include <algorithm>
#include <iterator>

namespace kestrix::ui {
namespace {

const QColor clrSpectrum(31, 119, 180);
const QColor clrBandSpectrum(230, 100, 0);
constexpr int intSideBySide = 760; // px: narrower, the converter figures go below the plot

template <typename Control> Control* named(Control* control, const char* strName, const QString& strAccessible)
{
    control->setObjectName(QLatin1String(strName));
    control->setAccessibleName(strAccessible);
    return control;
}

} // namespace

SpectrumPage::SpectrumPage(ViewDocument& document, platform::PlatformUi& ui, platform::TextFiles& files,
                           QWidget* parent)
    : ViewPage(parent), document(document), ui(ui), referenceList(files)
{
    setObjectName(QStringLiteral("pgSpectrum"));
    createControls();
    arrangeControls();
    connectSignals();
    showSpectrum(true);
}

void SpectrumPage::createControls()
{
    chkLogScale = named(new QCheckBox(tr("対数目盛 (dBV)"), this), "chkLogScale", tr("対数目盛 (dBV)"));
    cmdResetZoom = named(new QPushButton(tr("全体表示"), this), "cmdResetZoom", tr("全体表示"));
    cmdOpenReference = named(new QPushButton(tr("参照を開く..."), this), "cmdOpenReference", tr("参照を開く"));
    cboReferences = named(new QComboBox(this), "cboReferences", tr("参照スペクトル"));
    cboReferences->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cboReferences->setMinimumContentsLength(12);
    cmdRemoveReference = named(new QPushButton(tr("参照を削除"), this), "cmdRemoveReference", tr("参照を削除"));
    cmdRemoveReference->setEnabled(false);
    cmdSavePlot = named(new QPushButton(tr("画像を保存..."), this), "cmdSavePlot", tr("画像を保存"));
    pltSpectrum = named(new SpectrumPlot(this), "pltSpectrum", tr("スペクトルのグラフ"));
    const QString strPlotHelp = tr("クリック：付近で最も高い線を読む　←→：1 本ずつ（Shift：10 本）\n"
                                   "D：カーソルの線に基準を置く　Shift+クリック：そこに基準　Ctrl+←→：基準を動かす"
                                   "　Esc：基準を消す　Ctrl+C：読み取りをコピー\n"
                                   "ドラッグ：拡大　右ドラッグ：移動　ホイール：周波数の拡大縮小（Ctrl：振幅）\n"
                                   "ダブルクリック・Home：全体表示　＋／－：拡大・縮小");
    pltSpectrum->setToolTip(strPlotHelp);
    pltSpectrum->setAccessibleDescription(strPlotHelp);
    measureTools = new MeasureTools(*pltSpectrum, *this);
    chkMetrics = named(new QCheckBox(tr("変換器の指標(&M)"), this), "chkMetrics", tr("変換器の指標を表示"));
    chkMetrics->setToolTip(tr("表示中のスペクトルのトーンの SNR・THD・SINAD・ENOB・SFDR をグラフの横に表示し、"
                              "数えた線を色分けします（録音を fs/2 まで解析し直します）"));
    pnlMetrics = new MetricsPanel(this);
    pnlMetrics->setVisible(false);
    chkLevels = named(new QCheckBox(tr("状態の指標(&V)"), this), "chkLevels", tr("状態の指標を表示"));
    chkLevels->setToolTip(tr("録音全体の実効値・ピーク・ピーク間・クレストファクタ・尖度・平均と、帯域 RMS"
                             "（速度では ISO 20816 の 10〜1000 Hz）をグラフの横に表示します"));
    pnlLevels = new LevelsPanel(document, this);
    pnlLevels->setVisible(false);
    envelopeTools = new EnvelopeTools(document, ui, *this);
    // A changing text: screen readers read the text itself, so no fixed name is set.
    lblCursor = new QLabel(this);
    lblCursor->setObjectName(QStringLiteral("lblCursor"));
    lblCursor->setAccessibleDescription(tr("カーソルの値"));
    lblCursor->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblCursor->setWordWrap(true);
    pnlPeaks = new PeakPanel(document, this);
}

void SpectrumPage::arrangeControls()
{
    // Groups of commands in a row that wraps rather than clips them in a narrow view.
    layTools = new FlowLayout;
    layTools->setSpacing(12);
    const auto group = [this](const char* strName, const std::vector<QWidget*>& controls) {
        layTools->addGroup(*this, strName, controls);
    };
    // The logarithmic axis's box names its decibels ("対数目盛 (dB re 1 nm/s p-p)"): a group of its own,
    // so a long reference wraps the row rather than widening it.
    group("grpLogScale", {chkLogScale});
    std::vector<QWidget*> viewControls;
    for (QWidget* control : measureTools->scaleControls()) {
        viewControls.push_back(control);
    }
    viewControls.push_back(cmdResetZoom);
    group("grpView", viewControls);
    group("grpReferences", {cmdOpenReference, cboReferences});
    group("grpPicture", {cmdRemoveReference, cmdSavePlot});
    const std::vector<QWidget*> orderControls = measureTools->orderControls();
    group("grpOrders", {orderControls.begin(), orderControls.begin() + 3});
    group("grpOrderCommands", {orderControls.begin() + 3, orderControls.end()});
    // The band and the defect frequency apart, so a narrow view can put them on two rows.
    const std::vector<QWidget*> envelopeControls = envelopeTools->controls();
    group("grpEnvelope", {envelopeControls.begin(), envelopeControls.begin() + EnvelopeTools::intBandControls});
    group("grpDefect", {envelopeControls.begin() + EnvelopeTools::intBandControls, envelopeControls.end()});
    group("grpMetrics", {chkMetrics, chkLevels});
    // The converter figures beside the plot, so the lines they shade stay in sight; the user sets the share.
    splPlot = new QSplitter(Qt::Horizontal, this);
    splPlot->setObjectName(QStringLiteral("splPlot"));
    splPlot->setChildrenCollapsible(false);
    splPlot->addWidget(pltSpectrum);
    splPlot->addWidget(pnlMetrics);
    splPlot->addWidget(pnlLevels);
    splPlot->setStretchFactor(0, 3);
    splPlot->setStretchFactor(1, 2);
    splPlot->setStretchFactor(2, 2);
    auto* layPage = new QVBoxLayout(this);
    layPage->setContentsMargins(0, 0, 0, 0);
    layPage->addLayout(layTools);
    layPage->addWidget(splPlot, 3);
    layPage->addWidget(lblCursor);
    layPage->addWidget(pnlPeaks, 1);
}

void SpectrumPage::connectSignals()
{
    connect(chkLogScale, &QCheckBox::toggled, this, [this](bool blnChecked) {
        pltSpectrum->setLogScale(blnChecked);
        refreshCursorText();
    });
    connect(cmdResetZoom, &QPushButton::clicked, this, &SpectrumPage::showEverything);
    connect(cmdOpenReference, &QPushButton::clicked, this, &SpectrumPage::openReferenceDialog);
    connect(cmdRemoveReference, &QPushButton::clicked, this,
            [this] { removeReference(cboReferences->currentIndex()); });
    connect(cmdSavePlot, &QPushButton::clicked, this, &SpectrumPage::savePicture);
    connect(chkMetrics, &QCheckBox::toggled, this, &SpectrumPage::chkMetrics_Toggled);
    connect(chkLevels, &QCheckBox::toggled, this, &SpectrumPage::chkLevels_Toggled);
    connect(pnlMetrics, &MetricsPanel::shadingChanged, this,
            [this] { pltSpectrum->setLineRoles(pnlMetrics->shadedRoles(), pnlMetrics->lineSpacing()); });
    connect(pltSpectrum, &SpectrumPlot::cursorChanged, this, &SpectrumPage::plot_CursorChanged);
    connect(measureTools, &MeasureTools::ordersChanged, this,
            [this] { document.setOrderSpeed(measureTools->orderSpeed()); });
    connect(pnlPeaks, &PeakPanel::peakChosen, pltSpectrum,
            [this](std::size_t lngLine) { pltSpectrum->setCursorLine(lngLine); });
    connect(pnlPeaks, &PeakPanel::harmonicsChanged, this, &SpectrumPage::refreshHarmonics);
    connect(envelopeTools, &EnvelopeTools::defectFrequencyChanged, this, &SpectrumPage::refreshHarmonics);
    connect(&document, &ViewDocument::spectrumChanged, this, &SpectrumPage::showSpectrum);
    connect(&document, &ViewDocument::cursorsChanged, this, &SpectrumPage::applyCursors);
    connect(&document, &ViewDocument::speedChanged, this, [this] {
        refreshHarmonics();
        refreshCursorText();
    });
}

std::vector<QWidget*> SpectrumPage::focusOrder() const
{
    // In the order they stand: the tool row, the plot and the figures beside it, the peaks. Labels
    // among the groups take no focus: a link to one would break the chain.
    std::vector<QWidget*> controls{chkLogScale};
    const auto append = [&controls](const std::vector<QWidget*>& more) {
        std::copy_if(more.begin(), more.end(), std::back_inserter(controls),
                     [](const QWidget* control) { return control->focusPolicy() != Qt::NoFocus; });
    };
    append(measureTools->scaleControls());
    append({cmdResetZoom, cmdOpenReference, cboReferences, cmdRemoveReference, cmdSavePlot});
    append(measureTools->orderControls());
    append(envelopeTools->controls());
    append({chkMetrics, chkLevels, pltSpectrum});
    append(pnlMetrics->focusOrder());
    append(pnlLevels->focusOrder());
    append(pnlPeaks->focusOrder());
    return controls;
}

void SpectrumPage::showEverything()
{
    pltSpectrum->resetView();
}

void SpectrumPage::showSpectrum(bool blnNewView)
{
    applyUnits();
    refreshTraces();
    if (blnNewView) {
        pltSpectrum->resetView();
    }
    applyCursors();
    refreshLineScale();
    refreshMetrics();
    refreshHarmonics();
    refreshCursorText();
}

void SpectrumPage::applyUnits()
{
    const UnitsTexts texts = document.units();
    pltSpectrum->setAmplitudeAxis({texts.strAxis, texts.strLogAxis, texts.dblDbPerDecade, texts.dblZeroDbValue});
    // The band's RMS between two cursors is an rms value of the unit shown.
    pltSpectrum->setRmsTexts([strUnit = texts.strUnit](double dblRms) { return unitValueText(dblRms, strUnit); },
                             texts.strUnit);
    // The box names the decibels the axis then reads: dBV, or dB of the density shown.
    const QString strLog = tr("対数目盛 (%1)").arg(texts.strDb);
    chkLogScale->setText(strLog);
    chkLogScale->setAccessibleName(strLog);
    chkLogScale->setToolTip(
        texts.strDb.startsWith(QLatin1String("dB re "))
            ? tr("振幅を %1（%2 を 0 dB とするデシベル）で表示します").arg(texts.strDb, texts.strDb.mid(6))
            : tr("振幅を %1（1 %2 を 0 dB とするデシベル）で表示します")
                  .arg(texts.strDb, texts.strDb == QLatin1String("dBV") ? QStringLiteral("V") : texts.strLegend));
    // A level is only ever read on the logarithmic axis; the choice made before comes back after it.
    const bool blnLevels = document.shown().scale.units == engine::SpectrumUnits::DbV;
    if (blnLevels && !blnLogBeforeLevels) {
        blnLogBeforeLevels = chkLogScale->isChecked();
        chkLogScale->setChecked(true);
    } else if (!blnLevels && blnLogBeforeLevels) {
        chkLogScale->setChecked(*blnLogBeforeLevels);
        blnLogBeforeLevels.reset();
    }
    chkLogScale->setEnabled(!blnLevels);
}

void SpectrumPage::refreshTraces()
{
    const ShownSpectrum& shown = document.shown();
    std::vector<PlotTrace> traces;
    std::optional<std::pair<double, double>> band;
    if (!shown.dblPlot.empty()) {
        PlotTrace spectrum{shown.strName, clrSpectrum, {}, shown.dblPlot, false};
        spectrum.dblFreq.resize(shown.dblPlot.size());
        for (std::size_t i = 0; i < spectrum.dblFreq.size(); ++i) {
            // The product the spectrum file's frequency column is written from.
            spectrum.dblFreq[i] = static_cast<double>(i) * shown.dblDeltaFreq;
        }
        PlotTrace bandSpectrum{tr("バンドスペクトル"), clrBandSpectrum, {}, {}, false};
        const engine::RunSpectra* run = document.run() ? &*document.run() : nullptr;
        if (!shown.dblBandPlot.empty() && run != nullptr) {
            // Shaded only where the spectrum has lines; the upper limit may lie far beyond them.
            band = std::pair{run->dblLowFreq, std::min(run->dblHighFreq, spectrum.dblFreq.back())};
            // Only the lines that pass the band: the others are zero by construction, not measured.
            for (std::size_t i = 0; i < shown.dblBandPlot.size() && i < spectrum.dblFreq.size(); ++i) {
                const double dblFreq = spectrum.dblFreq[i];
                if (dblFreq > run->dblLowFreq && dblFreq < run->dblHighFreq) {
                    bandSpectrum.dblFreq.push_back(dblFreq);
                    bandSpectrum.dblVolts.push_back(shown.dblBandPlot[i]);
                }
            }
        }
        traces.push_back(std::move(spectrum));
        if (band) {
            traces.push_back(std::move(bandSpectrum));
        }
    }
    for (const Reference& reference : referenceList.references()) {
        if (!comparable(reference)) {
            continue; // said so in the readout
        }
        const engine::SpectrumScale target = referenceTarget(reference);
        traces.push_back({ReferenceList::legend(reference, target), reference.color, reference.dblFreq,
                          ReferenceList::plotted(reference, target), true});
    }
    pltSpectrum->setBand(band);
    pltSpectrum->setTraces(std::move(traces));
    cmdSavePlot->setEnabled(!pltSpectrum->traces().empty());
}

// The plot's cursors at the document's places, on the lines nearest them.
void SpectrumPage::applyCursors()
{
    blnApplyingCursors = true;
    const std::optional<std::size_t> lngCursor = lineOf(document.cursorHz());
    const std::optional<std::size_t> lngReference = lineOf(document.referenceHz());
    if (pltSpectrum->cursorLine() != lngCursor) {
        pltSpectrum->setCursorLine(lngCursor);
    }
    if (pltSpectrum->referenceLine() != lngReference) {
        pltSpectrum->setReferenceLine(lngReference);
    }
    blnApplyingCursors = false;
    refreshCursorText();
}

std::optional<std::size_t> SpectrumPage::lineOf(const std::optional<double>& dblHz) const
{
    return dblHz ? pltSpectrum->lineNear(*dblHz) : std::nullopt;
}

void SpectrumPage::plot_CursorChanged()
{
    // A cursor the user moved goes to the document; one still on the line nearest the document's place
    // leaves that place as it is (another spectrum may have lines nearer it).
    if (!blnApplyingCursors) {
        std::optional<double> dblCursor = document.cursorHz();
        std::optional<double> dblReference = document.referenceHz();
        if (pltSpectrum->cursorLine() != lineOf(dblCursor)) {
            dblCursor = pltSpectrum->cursorFrequency();
        }
        if (pltSpectrum->referenceLine() != lineOf(dblReference)) {
            dblReference = pltSpectrum->referenceFrequency();
        }
        document.setCursors(dblCursor, dblReference);
    }
    refreshHarmonics();
    refreshCursorText();
}

// The figures of the spectrum shown: the picked segment's, the average's, or the first block's (no
// window), each averaged to half the rate when the figures were asked for.
void SpectrumPage::refreshMetrics()
{
    std::int32_t lngSampFreq = 0;
    const engine::AveragedPower* power = chkMetrics->isChecked() ? document.figuresPower(lngSampFreq) : nullptr;
    if (power == nullptr) {
        pnlMetrics->clear();
        return;
    }
    pnlMetrics->showAverage(*power, lngSampFreq, document.recording()->dblMaxVolt, document.shown().strName,
                            document.shownSettings().quantity.sensor);
}

void SpectrumPage::showBesidePlot(QWidget& panel, bool blnShown)
{
    panel.setVisible(blnShown);
    // A panel would take more than its share as it appears: the plot keeps three fifths, the panels
    // shown share the rest.
    if (blnShown) {
        const int intLength = splPlot->orientation() == Qt::Horizontal ? splPlot->width() : splPlot->height();
        const int intPanels = (pnlMetrics->isVisibleTo(this) ? 1 : 0) + (pnlLevels->isVisibleTo(this) ? 1 : 0);
        const int intPanelLength = (intLength - intLength * 3 / 5) / std::max(intPanels, 1);
        splPlot->setSizes({intLength - intPanels * intPanelLength, pnlMetrics->isVisibleTo(this) ? intPanelLength : 0,
                           pnlLevels->isVisibleTo(this) ? intPanelLength : 0});
    }
}

void SpectrumPage::chkLevels_Toggled(bool blnChecked)
{
    showBesidePlot(*pnlLevels, blnChecked);
}

void SpectrumPage::chkMetrics_Toggled(bool blnChecked)
{
    showBesidePlot(*pnlMetrics, blnChecked);
    // Shown, the figures want the recording averaged to half the rate: read again where it was not.
    ViewSettings wanted = document.settings();
    wanted.blnFigures = blnChecked;
    document.setSettings(wanted);
    refreshMetrics();
}

void SpectrumPage::resizeEvent(QResizeEvent* event)
{
    // The figures beside the plot where there is room for both, below it in a narrow view.
    const Qt::Orientation orientation = event->size().width() >= intSideBySide ? Qt::Horizontal : Qt::Vertical;
    if (splPlot->orientation() != orientation) {
        splPlot->setOrientation(orientation);
    }
    ViewPage::resizeEvent(event);
}

} // namespace kestrix::ui
