// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis_panel.h"

#include "quantity_fields.h"
#include "spectrum_panel_text.h"
#include "units_text.h"
#include "view_document.h"

#include <QAction>
#include <QComboBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTimer>
#include <QVBoxLayout>

namespace kestrix::ui {
namespace {

constexpr int intProgressSteps = 1000;
constexpr int intProgressPeriod = 50;                                 // ms between looks at the reading's progress
constexpr double dblOverlaps[] = {0.0, 25.0, 50.0, 66.7, 75.0, 87.5}; // percent

template <typename Control> Control* named(Control* control, const char* strName, const QString& strAccessible)
{
    control->setObjectName(QLatin1String(strName));
    control->setAccessibleName(strAccessible);
    return control;
}

// Selects the entry whose data is value, without telling anyone.
void selectData(QComboBox& combo, const QVariant& value)
{
    const QSignalBlocker blocker(&combo);
    const int intIndex = combo.findData(value);
    if (intIndex >= 0) {
        combo.setCurrentIndex(intIndex);
    }
}

} // namespace

AnalysisPanel::AnalysisPanel(ViewDocument& document, platform::PlatformUi& ui, QWidget* parent)
    : QGroupBox(tr("解析"), parent), document(document), ui(ui)
{
    setObjectName(QStringLiteral("grpAnalysis"));
    createControls();
    arrangeControls();
    connectSignals();
    showSettings();
    showState();
}

void AnalysisPanel::createControls()
{
    cboWindow = named(new QComboBox(this), "cboWindow", tr("窓関数"));
    for (const engine::WindowKind window : engine::windowKinds) {
        cboWindow->addItem(windowKindTitle(window), static_cast<int>(window));
    }
    cboAveraging = named(new QComboBox(this), "cboAveraging", tr("平均のしかた"));
    cboAveraging->addItem(tr("1 ブロック（書き出したとおり）"), static_cast<int>(ViewAveraging::SingleBlock));
    cboAveraging->addItem(tr("平均（パワー）"), static_cast<int>(ViewAveraging::Mean));
    cboAveraging->addItem(tr("ピークホールド"), static_cast<int>(ViewAveraging::Peak));
    cboOverlap = named(new QComboBox(this), "cboOverlap", tr("区間の重なり"));
    for (const double dblOverlap : dblOverlaps) {
        cboOverlap->addItem(QStringLiteral("%1 %").arg(dblOverlap), dblOverlap);
    }
    cboDetrend = named(new QComboBox(this), "cboDetrend", tr("トレンド除去"));
    cboDetrend->addItem(tr("なし"), static_cast<int>(engine::Detrend::None));
    cboDetrend->addItem(tr("区間の平均を除く"), static_cast<int>(engine::Detrend::Mean));
    cboUnits = named(new QComboBox(this), "cboUnits", tr("単位"));
    for (const engine::SpectrumUnits units : engine::spectrumUnits) {
        cboUnits->addItem(unitsTexts(units).strChoice, static_cast<int>(units));
    }
    quantityFields = new QuantityFields(document, ui, *this);
    for (QComboBox* combo : {cboWindow, cboAveraging, cboOverlap, cboDetrend, cboUnits}) {
        // Each entry shown whole: in a narrow view the rows put their labels above the lists instead.
        combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    }
    cmdOpenRecording = named(new QPushButton(tr("録音を開く..."), this), "cmdOpenRecording", tr("録音を開く"));
    cmdSaveAverage =
        named(new QPushButton(tr("平均スペクトルを保存..."), this), "cmdSaveAverage", tr("平均スペクトルを保存"));
    cmdSaveAverage->setToolTip(tr("表示中の設定と単位で、kestrix-batch --average と同じ CSV ファイルに保存します"));
    prgAnalysis = named(new QProgressBar(this), "prgAnalysis", tr("解析の進み具合"));
    prgAnalysis->setRange(0, intProgressSteps);
    cmdCancelAnalysis = named(new QPushButton(tr("中止"), this), "cmdCancelAnalysis", tr("解析を中止"));
    // A changing text: screen readers read the text itself, so no fixed name is set.
    lblAnalysis = new QLabel(this);
    lblAnalysis->setObjectName(QStringLiteral("lblAnalysis"));
    lblAnalysis->setAccessibleDescription(tr("解析している録音"));
    lblAnalysis->setWordWrap(true);
    lblAnalysis->setTextInteractionFlags(Qt::TextSelectableByMouse);
    tmrProgress = new QTimer(this);
    tmrProgress->setInterval(intProgressPeriod);
    actOpenRecording = new QAction(cmdOpenRecording->text(), this);
    actOpenRecording->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    actOpenRecording->setShortcutContext(Qt::WindowShortcut);
    cmdOpenRecording->setToolTip(tr("録音を開く（テキスト、区切りテキストの列、WAV などの音声ファイル）(%1)")
                                     .arg(actOpenRecording->shortcut().toString(QKeySequence::NativeText)));
}

void AnalysisPanel::arrangeControls()
{
    auto* layForm = new QFormLayout;
    layForm->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    layForm->setRowWrapPolicy(QFormLayout::WrapLongRows);
    const auto row = [&](const char* strName, const QString& strText, QWidget* field) {
        auto* label = new QLabel(strText, this);
        label->setObjectName(QLatin1String(strName));
        label->setBuddy(field);
        layForm->addRow(label, field);
    };
    row("lblWindow", tr("窓関数(&W)"), cboWindow);
    row("lblAveraging", tr("平均(&A)"), cboAveraging);
    row("lblOverlap", tr("重なり"), cboOverlap);
    row("lblDetrend", tr("トレンド除去"), cboDetrend);
    row("lblUnits", tr("単位(&U)"), cboUnits);
    quantityFields->addRows(*layForm);
    auto* layGroup = new QVBoxLayout(this);
    layGroup->addLayout(layForm);
    layGroup->addWidget(cmdOpenRecording);
    layGroup->addWidget(cmdSaveAverage);
    layGroup->addWidget(lblAnalysis);
    layGroup->addWidget(prgAnalysis);
    layGroup->addWidget(cmdCancelAnalysis);
    layGroup->addStretch(1);
}

void AnalysisPanel::connectSignals()
{
    for (QComboBox* combo : {cboAveraging, cboOverlap, cboDetrend, cboUnits}) {
        connect(combo, &QComboBox::currentIndexChanged, this, [this] { combo_Changed(); });
    }
    connect(cboWindow, &QComboBox::currentIndexChanged, this, [this] { cboWindow_Changed(); });
    connect(cmdOpenRecording, &QPushButton::clicked, this, &AnalysisPanel::cmdOpenRecording_Click);
    connect(actOpenRecording, &QAction::triggered, this, &AnalysisPanel::cmdOpenRecording_Click);
    connect(cmdSaveAverage, &QPushButton::clicked, this, &AnalysisPanel::cmdSaveAverage_Click);
    connect(cmdCancelAnalysis, &QPushButton::clicked, &document, &ViewDocument::cancelAnalysis);
    connect(tmrProgress, &QTimer::timeout, this, &AnalysisPanel::tmrProgress_Timer);
    connect(&document, &ViewDocument::settingsChanged, this, &AnalysisPanel::showSettings);
    connect(&document, &ViewDocument::recordingChanged, this, &AnalysisPanel::showState);
    connect(&document, &ViewDocument::spectrumChanged, this, &AnalysisPanel::showState);
}

std::vector<QWidget*> AnalysisPanel::focusOrder() const
{
    std::vector<QWidget*> controls{cboWindow, cboAveraging, cboOverlap, cboDetrend, cboUnits};
    const std::vector<QWidget*> quantityControls = quantityFields->focusOrder();
    controls.insert(controls.end(), quantityControls.begin(), quantityControls.end());
    controls.insert(controls.end(), {cmdOpenRecording, cmdSaveAverage, cmdCancelAnalysis});
    return controls;
}

void AnalysisPanel::showSettings()
{
    const ViewSettings& settings = document.settings();
    const bool blnBlock = settings.averaging == ViewAveraging::SingleBlock;
    // The single block takes no window: the list says so, greyed, and stays reachable to choose one.
    selectData(*cboWindow, static_cast<int>(blnBlock ? engine::WindowKind::Rect : settings.window));
    QPalette palette = cboWindow->palette();
    palette.setColor(QPalette::ButtonText,
                     QWidget::palette().color(blnBlock ? QPalette::Disabled : QPalette::Active, QPalette::ButtonText));
    palette.setColor(QPalette::Text,
                     QWidget::palette().color(blnBlock ? QPalette::Disabled : QPalette::Active, QPalette::Text));
    cboWindow->setPalette(palette);
    cboWindow->setToolTip(blnBlock ? tr("1 ブロックは窓なしで解析します。窓を選ぶと平均に切り替わります")
                                   : tr("区間にかける窓関数"));
    selectData(*cboAveraging, static_cast<int>(settings.averaging));
    selectData(*cboOverlap, settings.dblOverlap);
    selectData(*cboDetrend, static_cast<int>(settings.detrend));
    // The units' entries name the unit of the quantity shown: "g rms（実効値）".
    for (int intIndex = 0; intIndex < cboUnits->count(); ++intIndex) {
        const auto units = static_cast<engine::SpectrumUnits>(cboUnits->itemData(intIndex).toInt());
        cboUnits->setItemText(intIndex, unitsTexts(units, settings.quantity).strChoice);
    }
    selectData(*cboUnits, static_cast<int>(settings.units));
}

void AnalysisPanel::showState()
{
    const bool blnBusy = document.busy();
    prgAnalysis->setVisible(blnBusy);
    cmdCancelAnalysis->setEnabled(blnBusy);
    cmdSaveAverage->setEnabled(document.averageSaveable());
    cmdSaveAverage->setText(document.envelopeShown() ? tr("包絡線スペクトルを保存...") : tr("平均スペクトルを保存..."));
    if (blnBusy && !tmrProgress->isActive()) {
        prgAnalysis->setValue(0);
        tmrProgress->start();
    } else if (!blnBusy) {
        tmrProgress->stop();
    }
    // The block as the run wrote it exists only for the run's own recording.
    const std::optional<ViewRecording>& recording = document.recording();
    const bool blnRunsOwn = document.run() && (!recording || recording->strPath == document.run()->strFileName);
    if (auto* model = qobject_cast<QStandardItemModel*>(cboAveraging->model())) {
        model->item(cboAveraging->findData(static_cast<int>(ViewAveraging::SingleBlock)))->setEnabled(blnRunsOwn);
    }
    lblAnalysis->setText(recordingText());
}

QString AnalysisPanel::recordingText() const
{
    const std::optional<ViewRecording>& recording = document.recording();
    QString strText;
    if (!recording) {
        strText = tr("録音：なし（FFT を実行するか、録音を開いてください）");
    } else {
        strText = tr("録音：%1").arg(QFileInfo(fromUtf8(recording->strPath)).fileName());
        const engine::RecordingChoice& choice = recording->choice;
        if (choice.column && !recording->strHeading.empty()) {
            strText += tr("（列 %1：%2）").arg(choice.column->lngNumber).arg(fromUtf8(recording->strHeading));
        } else if (choice.column) {
            strText += tr("（列 %1）").arg(choice.column->lngNumber);
        } else if (choice.lngChannel) {
            strText += tr("（チャンネル %1）").arg(*choice.lngChannel);
        }
        // The recording's own rate, point count and line spacing: the window's fields are the run's.
        if (const ViewReading* reading = document.reading()) {
            const engine::AverageFileResult& result = reading->average;
            strText += tr("\n%1 Hz、N = %2、Δf = %3 Hz、±%4 V\n%5 サンプル、%6 区間")
                           .arg(result.lngSampFreq)
                           .arg(recording->lngNumSamp)
                           .arg(generalText(result.dblDeltaFreq))
                           .arg(generalText(recording->dblMaxVolt))
                           .arg(result.average.lngSamples)
                           .arg(result.average.lngSegments);
        }
    }
    if (document.busy()) {
        strText += tr("\n読み込み中…");
    } else if (!document.readingNote().isEmpty()) {
        strText += QLatin1Char('\n') + document.readingNote();
    }
    return strText;
}

void AnalysisPanel::combo_Changed()
{
    ViewSettings wanted = document.settings();
    wanted.averaging = static_cast<ViewAveraging>(cboAveraging->currentData().toInt());
    wanted.dblOverlap = cboOverlap->currentData().toDouble();
    wanted.detrend = static_cast<engine::Detrend>(cboDetrend->currentData().toInt());
    wanted.units = static_cast<engine::SpectrumUnits>(cboUnits->currentData().toInt());
    document.setSettings(wanted);
}

void AnalysisPanel::cboWindow_Changed()
{
    ViewSettings wanted = document.settings();
    const auto window = static_cast<engine::WindowKind>(cboWindow->currentData().toInt());
    if (wanted.averaging == ViewAveraging::SingleBlock) {
        if (window == engine::WindowKind::Rect) {
            return;
        }
        wanted.averaging = ViewAveraging::Mean; // a window asks for the averaged analysis
    }
    wanted.window = window;
    document.setSettings(wanted);
}

void AnalysisPanel::cmdOpenRecording_Click()
{
    platform::OpenFileRequest request;
    request.strTitle = tr("録音を開く").toStdString();
    request.strFilter = tr("録音 (*.csv *.txt *.dat *.wav *.flac *.aif *.aiff)|*.csv *.txt *.dat *.wav *.flac *.aif "
                           "*.aiff|音声ファイル (*.wav *.flac *.aif *.aiff)|*.wav *.flac *.aif *.aiff|"
                           "すべてのファイル (*.*)|*.*")
                            .toStdString();
    request.lngFlags = platform::open_flags::lngFileMustExist | platform::open_flags::lngHideReadOnly |
                       platform::open_flags::lngNoChangeDir;
    if (const std::optional<std::string> strPath = ui.chooseOpenFile(request)) {
        document.openRecording(*strPath);
    }
}

void AnalysisPanel::cmdSaveAverage_Click()
{
    if (!document.averageSaveable()) {
        return;
    }
    platform::SaveFileRequest request;
    request.strTitle = tr("平均スペクトルを保存").toStdString();
    request.strFilter = tr("CSV ファイル (*.csv)|*.csv").toStdString();
    request.strInitialFileName = document.proposedAverageName();
    // Asked before the dialog's own question whether to replace the file: the recording is never offered.
    request.refusal = [this](const std::string& strPath) { return document.averageRefusal(strPath); };
    if (const std::optional<std::string> strPath = ui.chooseSaveFile(request)) {
        document.saveAverage(*strPath);
    }
}

void AnalysisPanel::tmrProgress_Timer()
{
    const double dblShare = document.progress();
    if (dblShare < 0.0) {
        prgAnalysis->setRange(0, 0); // a busy bar where the length is not known
        return;
    }
    prgAnalysis->setRange(0, intProgressSteps);
    prgAnalysis->setValue(static_cast<int>(dblShare * intProgressSteps));
}

} // namespace kestrix::ui
