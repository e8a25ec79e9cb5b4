// SPDX-License-Identifier: GPL-3.0-or-later
#include "spectrum_panel.h"

#include "engine/run/number_text.h"
#include "engine/view/plot_view.h"
#include "engine/view/readable_number.h"
#include "flow_layout.h"
#include "measure_tools.h"
#include "metrics_panel.h"
#include "platform/sndfile/sndfile_sound_files.h"
#include "source_chooser.h"
#include "spectrogram_plot.h"
#include "spectrum_panel_text.h"
#include "spectrum_plot.h"
#include "units_text.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <iterator>
#include <tuple>

namespace kestrix::ui {
namespace {

const QColor clrSpectrum(31, 119, 180);
const QColor clrBandSpectrum(230, 100, 0);

template <typename Control> Control* named(Control* control, const char* strName, const QString& strAccessible)
{
    control->setObjectName(QLatin1String(strName));
    control->setAccessibleName(strAccessible);
    return control;
}

// A command's tooltip with its shortcut, as menus show it.
QString withShortcut(const QString& strText, const QKeySequence& keys)
{
    return QStringLiteral("%1 (%2)").arg(strText, keys.toString(QKeySequence::NativeText));
}

} // namespace

SpectrumPanel::SpectrumPanel(platform::PlatformUi& ui, platform::TextFiles& files, QWidget* parent)
    : QWidget(parent), ui(ui), files(files), ownSounds(std::make_unique<platform::SndfileSoundFiles>()),
      sounds(*ownSounds)
{
    initialise();
}

SpectrumPanel::SpectrumPanel(platform::PlatformUi& ui, platform::TextFiles& files, platform::SoundFiles& sounds,
                             QWidget* parent)
    : QWidget(parent), ui(ui), files(files), sounds(sounds)
{
    initialise();
}

// The job's work reads the files and sound files the panel holds: it is stopped and waited for before
// any of them goes.
SpectrumPanel::~SpectrumPanel()
{
    delete job;
    // The children outlive this panel's own part: a field that loses the focus as it goes (its editing
    // finished) must not reach the panel's handlers through the tools or the plot.
    for (QObject* child : findChildren<QObject*>()) {
        child->blockSignals(true);
    }
}

void SpectrumPanel::initialise()
{
    setObjectName(QStringLiteral("pnlSpectrum"));
    ownChooser = std::make_unique<DialogSourceChooser>(this);
    chooser = ownChooser.get();
    createControls();
    createAnalysisControls();
    createSpectrogramPage();
    createMeasureControls();
    createShortcuts();
    arrangeControls();
    connectSignals();
    connectAnalysisSignals();
    connectSpectrogramSignals();
    connectMeasureSignals();
    refreshShown();
    refreshCursorText();
    refreshAnalysisState();
    refreshSpectrogram();
}

void SpectrumPanel::createControls()
{
    tabPages = named(new QTabWidget(this), "tabPages", tr("表示"));
    tabPages->tabBar()->setObjectName(QStringLiteral("tabPagesBar"));
    tabPages->tabBar()->setAccessibleName(tr("表示するページ"));
    tabPages->setDocumentMode(true);
    pgSpectrum = new QWidget(tabPages);
    pgSpectrum->setObjectName(QStringLiteral("pgSpectrum"));
    chkLogScale = named(new QCheckBox(tr("対数目盛 (dBV)"), this), "chkLogScale", tr("対数目盛 (dBV)"));
    chkLogScale->setToolTip(tr("振幅を dBV（1 V を 0 dB とするデシベル）で表示します"));
    cmdResetZoom = named(new QPushButton(tr("全体表示"), this), "cmdResetZoom", tr("全体表示"));
    cmdOpenReference = named(new QPushButton(tr("参照を開く..."), this), "cmdOpenReference", tr("参照を開く"));
    cboReferences = named(new QComboBox(this), "cboReferences", tr("参照スペクトル"));
    cboReferences->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cboReferences->setMinimumContentsLength(20);
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
    lblCursor = named(new QLabel(this), "lblCursor", tr("カーソルの値"));
    lblCursor->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblCursor->setWordWrap(true);
    createPeakControls();
}

void SpectrumPanel::createShortcuts()
{
    const auto shortcut = [this](QAction*& action, const QKeySequence& keys, QPushButton* cmd) {
        action = new QAction(cmd->text(), this);
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
        cmd->setToolTip(withShortcut(cmd->accessibleName(), keys));
    };
    shortcut(actOpenReference, QKeySequence(Qt::CTRL | Qt::Key_O), cmdOpenReference);
    shortcut(actSavePlot, QKeySequence(Qt::CTRL | Qt::Key_S), cmdSavePlot);
    shortcut(actCopyTable, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C), cmdCopyPeaks);
    shortcut(actResetZoom, QKeySequence(Qt::CTRL | Qt::Key_0), cmdResetZoom);
    cmdCopyPeaks->setToolTip(cmdCopyPeaks->toolTip() + tr("　表の中では Ctrl+C でも"));
    cmdSaveSpectrogram->setToolTip(withShortcut(cmdSaveSpectrogram->accessibleName(), actSavePlot->shortcut()));
    // The pages from anywhere in the window. Ctrl+Tab keeps its old meaning (none) so that it never
    // moves the view away under the keyboard.
    for (const auto& [action, keys, intStep] :
         {std::tuple{&actNextPage, Qt::Key_PageDown, 1}, std::tuple{&actPreviousPage, Qt::Key_PageUp, -1}}) {
        *action = new QAction(this);
        (*action)->setShortcut(QKeySequence(Qt::CTRL | keys));
        (*action)->setShortcutContext(Qt::WindowShortcut);
        addAction(*action);
        connect(*action, &QAction::triggered, this, [this, intStep = intStep] {
            tabPages->setCurrentIndex((tabPages->currentIndex() + intStep + tabPages->count()) % tabPages->count());
        });
    }
    tabPages->installEventFilter(this);
    tabPages->setToolTip(tr("ページの切り替え：Ctrl+PageDown / Ctrl+PageUp"));
}

QWidget* SpectrumPanel::addToolGroup(FlowLayout& layout, const char* strName, const std::vector<QWidget*>& controls)
{
    auto* group = new QWidget(this);
    group->setObjectName(QLatin1String(strName));
    auto* layGroup = new QHBoxLayout(group);
    layGroup->setContentsMargins(0, 0, 0, 0);
    for (QWidget* control : controls) {
        layGroup->addWidget(control);
    }
    layout.addWidget(group);
    return group;
}

void SpectrumPanel::arrangeControls()
{
    // New groups of commands join the tool row; it wraps rather than clip them.
    layTools = new FlowLayout;
    layTools->setSpacing(12);
    std::vector<QWidget*> viewControls{chkLogScale};
    for (QWidget* control : measureTools->scaleControls()) {
        viewControls.push_back(control);
    }
    viewControls.push_back(cmdResetZoom);
    addToolGroup(*layTools, "grpView", viewControls);
    addToolGroup(*layTools, "grpReferences", {cmdOpenReference, cboReferences, cmdRemoveReference});
    addToolGroup(*layTools, "grpPicture", {cmdSavePlot});
    addToolGroup(*layTools, "grpOrders", measureTools->orderControls());
    addToolGroup(*layTools, "grpMetrics", {chkMetrics});

    layPeakTools = new FlowLayout;
    layPeakTools->setSpacing(12);
    addToolGroup(*layPeakTools, "grpPeakThreshold", {lblPeakThreshold, spnPeakThreshold});
    addToolGroup(*layPeakTools, "grpPeakCommands", {cmdCopyPeaks, chkHarmonics});

    // The spectrum page as the view has always had it, the spectrogram page; the analysis group beside.
    tabPages->addTab(pgSpectrum, tr("スペクトル"));
    tabPages->addTab(pgSpectrogram, tr("スペクトログラム"));
    layPanel = new QVBoxLayout(pgSpectrum);
    layPanel->setContentsMargins(0, 0, 0, 0);
    layPanel->addLayout(layTools);
    // The converter figures beside the plot, so the lines they shade stay in sight; the user sets the share.
    splPlot = new QSplitter(Qt::Horizontal, pgSpectrum);
    splPlot->setObjectName(QStringLiteral("splPlot"));
    splPlot->setChildrenCollapsible(false);
    splPlot->addWidget(pltSpectrum);
    splPlot->addWidget(pnlMetrics);
    splPlot->setStretchFactor(0, 3);
    splPlot->setStretchFactor(1, 2);
    layPanel->addWidget(splPlot, 3);
    layPanel->addWidget(lblCursor);
    layPanel->addLayout(layPeakTools);
    layPanel->addWidget(tblPeaks, 1);
    auto* layPages = new QHBoxLayout(this);
    layPages->setContentsMargins(0, 0, 0, 0);
    layPages->addWidget(tabPages, 1);
    layPages->addWidget(grpAnalysis, 0);

    const std::vector<QWidget*> controls = focusOrder();
    for (std::size_t i = 1; i < controls.size(); ++i) {
        QWidget::setTabOrder(controls[i - 1], controls[i]);
    }
}

void SpectrumPanel::connectSignals()
{
    connect(chkLogScale, &QCheckBox::toggled, this, &SpectrumPanel::chkLogScale_Toggled);
    connect(cmdResetZoom, &QPushButton::clicked, this, &SpectrumPanel::cmdResetZoom_Click);
    connect(actResetZoom, &QAction::triggered, this, [this] {
        if (tabPages->currentWidget() == pgSpectrogram) {
            pltSpectrogram->resetView();
        } else {
            cmdResetZoom_Click();
        }
    });
    connect(cmdOpenReference, &QPushButton::clicked, this, &SpectrumPanel::cmdOpenReference_Click);
    connect(actOpenReference, &QAction::triggered, this, &SpectrumPanel::cmdOpenReference_Click);
    connect(cmdRemoveReference, &QPushButton::clicked, this, &SpectrumPanel::cmdRemoveReference_Click);
    connect(cmdSavePlot, &QPushButton::clicked, this, &SpectrumPanel::cmdSavePlot_Click);
    connect(actSavePlot, &QAction::triggered, this, [this] {
        if (tabPages->currentWidget() == pgSpectrogram) {
            cmdSaveSpectrogram_Click();
        } else {
            cmdSavePlot_Click();
        }
    });
    connect(cmdCopyPeaks, &QPushButton::clicked, this, &SpectrumPanel::cmdCopyPeaks_Click);
    connect(actCopyPeaks, &QAction::triggered, this, &SpectrumPanel::cmdCopyPeaks_Click);
    connect(actCopyTable, &QAction::triggered, this, &SpectrumPanel::cmdCopyPeaks_Click);
    connect(chkHarmonics, &QCheckBox::toggled, this, &SpectrumPanel::chkHarmonics_Toggled);
    connect(spnPeakThreshold, &QSpinBox::valueChanged, this, &SpectrumPanel::spnPeakThreshold_Changed);
    connect(tblPeaks, &QTableWidget::itemSelectionChanged, this, &SpectrumPanel::tblPeaks_SelectionChanged);
    connect(pltSpectrum, &SpectrumPlot::cursorChanged, this, [this] { refreshCursorText(); });
}

std::vector<QWidget*> SpectrumPanel::focusOrder() const
{
    // The spectrum page's controls in the order they stand (the tool row, the plot and the figures beside
    // it, the peaks), then the analysis group's, then the page tabs and the spectrogram page's.
    std::vector<QWidget*> controls{chkLogScale};
    // Labels among the groups take no focus: a link to one would break the chain.
    const auto append = [&controls](const std::vector<QWidget*>& more) {
        std::copy_if(more.begin(), more.end(), std::back_inserter(controls),
                     [](const QWidget* control) { return control->focusPolicy() != Qt::NoFocus; });
    };
    append(measureTools->scaleControls());
    append({cmdResetZoom, cmdOpenReference, cboReferences, cmdRemoveReference, cmdSavePlot});
    append(measureTools->orderControls());
    append({chkMetrics, pltSpectrum});
    append(pnlMetrics->focusOrder());
    append({spnPeakThreshold, cmdCopyPeaks, chkHarmonics, tblPeaks, cboWindow, cboAveraging, cboOverlap, cboDetrend,
            cboUnits, cmdOpenRecording, cmdSaveAverage, cmdCancelAnalysis, tabPages->tabBar(), spnLevelFloor,
            spnLevelTop, cmdAutoLevels, chkSpectrogramLogFrequency, cmdSaveSpectrogram, pltSpectrogram});
    return controls;
}

void SpectrumPanel::showRun(const engine::RunSpectra& spectra)
{
    run = spectra;
    strReadingNote.clear();
    lngShownSegment.reset();
    segmentReading.reset();
    pltSpectrum->setCursorLine(std::nullopt);
    if (spectra.strFileName.empty() || spectra.lngNumSamp <= 0) {
        // Spectra without their recording: shown as they are, nothing to read again.
        viewRecording.reset();
        lastReading.reset();
    } else {
        ViewRecording recording;
        recording.strPath = spectra.strFileName;
        recording.lngSampFreq = spectra.lngSampFreq;
        recording.lngNumSamp = spectra.lngNumSamp;
        recording.dblMaxVolt = spectra.dblMaxVolt;
        viewRecording = recording;
        lastReading.reset();
        startReading({recording, settings(), std::nullopt, nullptr});
    }
    refreshShown();
    pltSpectrum->resetView();
    refreshPeakTable();
    refreshCursorText();
    refreshAnalysisState();
    refreshSpectrogram();
}

void SpectrumPanel::refreshTraces()
{
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
        if (!shown.dblBandPlot.empty()) {
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
        if (!shown.dblBandPlot.empty()) {
            traces.push_back(std::move(bandSpectrum));
        }
    }
    for (const Reference& reference : references) {
        traces.push_back(
            {referenceLegend(reference), reference.color, reference.dblFreq, referencePlot(reference), true});
    }
    pltSpectrum->setBand(band);
    pltSpectrum->setTraces(std::move(traces));
    const bool blnPlotted = !pltSpectrum->traces().empty();
    cmdSavePlot->setEnabled(blnPlotted);
    actSavePlot->setEnabled(blnPlotted);
    refreshHarmonics();
}

QString SpectrumPanel::cursorText() const
{
    return lblCursor->text();
}

void SpectrumPanel::refreshCursorText()
{
    const PlotTrace* trace = pltSpectrum->cursorTrace();
    const std::optional<std::size_t> lngLine = pltSpectrum->cursorLine();
    if (!trace || !lngLine) {
        lblCursor->setText(tr("カーソル：グラフをクリックすると、付近で最も高い線の値を表示します"
                              "（←→ キーで 1 本ずつ移動）"));
        return;
    }
    // With a spectrum shown, the cursor trace is it; else the first reference.
    const bool blnShown = !shown.dblValues.empty();
    const engine::SpectrumScale scale = blnShown ? shown.scale : targetScale(references.front());
    const double dblValue = blnShown ? shown.dblValues[*lngLine] : referenceValues(references.front())[*lngLine];
    const double dblFreq = trace->dblFreq[*lngLine];
    const double dblSpacing = trace->dblFreq.size() > 1 ? trace->dblFreq[1] - trace->dblFreq[0] : 1.0;
    QString strText = tr("カーソル：%1 Hz%2　%3")
                          .arg(fromUtf8(engine::lineFrequencyText(dblFreq, dblSpacing)), orderText(dblFreq, dblSpacing),
                               valueText(dblValue, scale));
    if (chkLogScale->isChecked() && scale.units != engine::SpectrumUnits::DbV) {
        strText += tr("（%1）").arg(levelText(trace->dblVolts[*lngLine], scale));
    }
    if (pltSpectrum->cursorOnPeak()) {
        strText += tr("　付近のピーク");
    }
    // The band spectrum shares the shown spectrum's lines.
    const bool blnBand = blnShown && *lngLine < shown.dblBandValues.size();
    if (blnBand) {
        strText += tr("　バンド %1").arg(valueText(shown.dblBandValues[*lngLine], scale));
    }
    strText += referenceReadout(dblFreq);
    // The line as the spectrum file writes it, to find it there.
    strText += tr("\nファイルの値：%1 Hz, %2 %3")
                   .arg(generalText(dblFreq), generalText(dblValue), unitsTexts(scale.units).strFile);
    if (blnBand) {
        strText +=
            tr("（バンド %1 %2）").arg(generalText(shown.dblBandValues[*lngLine]), unitsTexts(scale.units).strFile);
    }
    lblCursor->setText(strText);
}

QString SpectrumPanel::referenceReadout(double dblFreq) const
{
    QString strText;
    const PlotTrace* trace = pltSpectrum->cursorTrace();
    for (const Reference& reference : references) {
        const QString strName = referenceLegend(reference);
        if (trace && trace->dblFreq == reference.dblFreq && trace->strName == strName) {
            continue; // the cursor is on this reference itself
        }
        const std::optional<std::size_t> lngLine = engine::lineAt(reference.dblFreq, dblFreq);
        const engine::SpectrumScale scale = targetScale(reference);
        strText += tr("　%1 %2").arg(
            strName,
            lngLine ? valueText(carriedValue(reference.dblValues[*lngLine], *lngLine, reference.scale, scale), scale)
                    : tr("（この周波数に線なし）"));
    }
    return strText;
}

void SpectrumPanel::chkLogScale_Toggled(bool blnChecked)
{
    pltSpectrum->setLogScale(blnChecked);
    refreshCursorText();
}

void SpectrumPanel::cmdResetZoom_Click()
{
    pltSpectrum->resetView();
}

} // namespace kestrix::ui
