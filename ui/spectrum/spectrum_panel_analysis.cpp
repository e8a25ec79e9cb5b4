// SPDX-License-Identifier: GPL-3.0-or-later
// The spectrum view's analysis group: the settings of the averaged analysis, recordings opened in the
// view, the readings made off the window's thread with their progress and cancel, and the averaged
// spectrum saved as the batch writes it.

#include "analysis_job.h"
#include "engine/recordings/recording_view.h"
#include "engine/run/field_checks.h"
#include "engine/run/number_text.h"
#include "platform/failure.h"
#include "source_chooser.h"
#include "spectrum_panel.h"
#include "spectrum_panel_text.h"
#include "spectrum_plot.h"
#include "units_text.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
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

void SpectrumPanel::createAnalysisControls()
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
    cmdOpenRecording = named(new QPushButton(tr("録音を開く..."), this), "cmdOpenRecording", tr("録音を開く"));
    cmdSaveAverage =
        named(new QPushButton(tr("平均スペクトルを保存..."), this), "cmdSaveAverage", tr("平均スペクトルを保存"));
    cmdSaveAverage->setToolTip(tr("表示中の設定と単位で、kestrix-batch --average と同じ CSV ファイルに保存します"));
    prgAnalysis = named(new QProgressBar(this), "prgAnalysis", tr("解析の進み具合"));
    prgAnalysis->setRange(0, intProgressSteps);
    cmdCancelAnalysis = named(new QPushButton(tr("中止"), this), "cmdCancelAnalysis", tr("解析を中止"));
    lblAnalysis = named(new QLabel(this), "lblAnalysis", tr("解析している録音"));
    lblAnalysis->setWordWrap(true);
    lblAnalysis->setTextInteractionFlags(Qt::TextSelectableByMouse);
    job = new AnalysisJob(this);
    tmrProgress = new QTimer(this);
    tmrProgress->setInterval(intProgressPeriod);
    actOpenRecording = new QAction(cmdOpenRecording->text(), this);
    actOpenRecording->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    actOpenRecording->setShortcutContext(Qt::WindowShortcut);
    addAction(actOpenRecording);
    cmdOpenRecording->setToolTip(tr("録音を開く（テキスト、区切りテキストの列、WAV などの音声ファイル）(%1)")
                                     .arg(actOpenRecording->shortcut().toString(QKeySequence::NativeText)));
    arrangeAnalysisGroup();
    showControlsOf(shownSettings);
}

void SpectrumPanel::arrangeAnalysisGroup()
{
    grpAnalysis = new QGroupBox(tr("解析"), this);
    grpAnalysis->setObjectName(QStringLiteral("grpAnalysis"));
    auto* layForm = new QFormLayout;
    layForm->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    layForm->setRowWrapPolicy(QFormLayout::WrapLongRows);
    const auto row = [&](const char* strName, const QString& strText, QWidget* field) {
        auto* label = new QLabel(strText, grpAnalysis);
        label->setObjectName(QLatin1String(strName));
        label->setBuddy(field);
        layForm->addRow(label, field);
    };
    row("lblWindow", tr("窓関数(&W)"), cboWindow);
    row("lblAveraging", tr("平均(&A)"), cboAveraging);
    row("lblOverlap", tr("重なり"), cboOverlap);
    row("lblDetrend", tr("トレンド除去"), cboDetrend);
    row("lblUnits", tr("単位(&U)"), cboUnits);
    auto* layGroup = new QVBoxLayout(grpAnalysis);
    layGroup->addLayout(layForm);
    layGroup->addWidget(cmdOpenRecording);
    layGroup->addWidget(cmdSaveAverage);
    layGroup->addWidget(lblAnalysis);
    layGroup->addWidget(prgAnalysis);
    layGroup->addWidget(cmdCancelAnalysis);
    layGroup->addStretch(1);
}

void SpectrumPanel::connectAnalysisSignals()
{
    for (QComboBox* combo : {cboWindow, cboAveraging, cboOverlap, cboDetrend, cboUnits}) {
        connect(combo, &QComboBox::currentIndexChanged, this, [this] { settingChanged(); });
    }
    connect(cmdOpenRecording, &QPushButton::clicked, this, &SpectrumPanel::cmdOpenRecording_Click);
    connect(actOpenRecording, &QAction::triggered, this, &SpectrumPanel::cmdOpenRecording_Click);
    connect(cmdSaveAverage, &QPushButton::clicked, this, &SpectrumPanel::cmdSaveAverage_Click);
    connect(cmdCancelAnalysis, &QPushButton::clicked, this, &SpectrumPanel::cmdCancelAnalysis_Click);
    connect(tmrProgress, &QTimer::timeout, this, &SpectrumPanel::tmrProgress_Timer);
    connect(job, &AnalysisJob::finished, this, &SpectrumPanel::readingFinished);
}

ViewSettings SpectrumPanel::settings() const
{
    ViewSettings current;
    current.window = static_cast<engine::WindowKind>(cboWindow->currentData().toInt());
    current.averaging = static_cast<ViewAveraging>(cboAveraging->currentData().toInt());
    current.dblOverlap = cboOverlap->currentData().toDouble();
    current.detrend = static_cast<engine::Detrend>(cboDetrend->currentData().toInt());
    current.units = static_cast<engine::SpectrumUnits>(cboUnits->currentData().toInt());
    current.blnFigures = chkMetrics != nullptr && chkMetrics->isChecked();
    return current;
}

void SpectrumPanel::setSettings(const ViewSettings& wanted)
{
    showControlsOf(wanted);
    settingChanged();
}

void SpectrumPanel::showControlsOf(const ViewSettings& shownOnes)
{
    selectData(*cboWindow, static_cast<int>(shownOnes.window));
    selectData(*cboAveraging, static_cast<int>(shownOnes.averaging));
    selectData(*cboOverlap, shownOnes.dblOverlap);
    selectData(*cboDetrend, static_cast<int>(shownOnes.detrend));
    selectData(*cboUnits, static_cast<int>(shownOnes.units));
}

bool SpectrumPanel::analysing() const
{
    return pending.has_value() || blnSpectrogramDue;
}

void SpectrumPanel::cancelAnalysis()
{
    if (pending) {
        job->cancel();
    }
}

std::optional<std::int64_t> SpectrumPanel::shownSegment() const
{
    return lngShownSegment;
}

void SpectrumPanel::settingChanged()
{
    const ViewSettings wanted = settings();
    if (pending && !pending->lngSegment && wanted.sameReading(pending->settings)) {
        pending->settings = wanted; // the reading under way serves these settings too
        return;
    }
    // A recording being opened is read again with the new settings; otherwise the one shown.
    std::optional<ViewRecording> target = viewRecording;
    if (pending) {
        if (!pending->lngSegment) {
            target = pending->recording;
        }
        job->cancel();
        pending.reset();
    }
    const bool blnSameRecording = viewRecording && target && sameRecording(*target, *viewRecording);
    if (target && !(blnSameRecording && lastReading && wanted.sameReading(lastReadingSettings))) {
        startReading({*target, wanted, std::nullopt, nullptr});
        refreshAnalysisState();
        return;
    }
    // Nothing to read again: the units, or between the block and the average of one reading.
    const bool blnRescaled = wanted.units != shownSettings.units;
    shownSettings = wanted;
    lngShownSegment.reset();
    segmentReading.reset();
    refreshShown();
    if (blnRescaled) {
        pltSpectrum->resetView();
    }
    refreshPeakTable();
    refreshCursorText();
    refreshAnalysisState();
}

void SpectrumPanel::showSegment(std::int64_t lngSegment)
{
    if (!viewRecording || !lastReading || lngSegment < 0 || lngSegment >= lastReading->average.average.lngSegments) {
        return;
    }
    if (pending) {
        job->cancel();
        pending.reset();
    }
    ViewSettings wanted = shownSettings;
    wanted.averaging = lastReadingSettings.averaging;
    startReading({*viewRecording, wanted, lngSegment, nullptr});
    refreshAnalysisState();
}

void SpectrumPanel::startReading(PendingReading reading)
{
    auto result = std::make_shared<ViewReading>();
    reading.result = result;
    pending = reading;
    platform::TextFiles& readFiles = files;
    platform::SoundFiles& readSounds = sounds;
    job->start([result, reading, &readFiles, &readSounds](JobProgress& progress) {
        *result =
            reading.lngSegment
                ? readSegment(reading.recording, reading.settings, *reading.lngSegment, readFiles, readSounds, progress)
                : readRecording(reading.recording, reading.settings, readFiles, readSounds, progress);
    });
    prgAnalysis->setValue(0);
    tmrProgress->start();
}

void SpectrumPanel::readingFinished()
{
    tmrProgress->stop();
    if (pending) {
        const PendingReading done = std::move(*pending);
        pending.reset();
        if (done.result->blnCancelled || !done.result->strFailure.empty()) {
            refuseReading(done);
        } else {
            acceptReading(done);
        }
    }
    refreshAnalysisState();
    if (!blnSpectrogramDue) {
        emit analysisFinished();
    }
}

void SpectrumPanel::acceptReading(const PendingReading& done)
{
    const bool blnRescaled = done.settings.units != shownSettings.units;
    const bool blnNewRecording =
        !done.lngSegment && (!viewRecording || !lastReading || viewRecording->strPath != done.recording.strPath);
    if (done.lngSegment) {
        segmentReading = done.result;
        lngShownSegment = done.lngSegment;
        if (blnShowSegmentPage) {
            tabPages->setCurrentWidget(pgSpectrum);
        }
    } else {
        takeWholeReading(done);
    }
    blnShowSegmentPage = false;
    const ShownSpectrum before = shown;
    shownSettings = done.settings;
    refreshShown();
    if (shown.dblValues == before.dblValues && shown.strName == before.strName) {
        return; // the run's block, read again: nothing of the view changes
    }
    if (blnRescaled || blnNewRecording) {
        pltSpectrum->setCursorLine(std::nullopt);
        pltSpectrum->resetView();
    }
    refreshPeakTable();
    refreshCursorText();
}

// A reading of the whole recording becomes the view's: its average, its first block and, on the next
// turn, its spectrogram.
void SpectrumPanel::takeWholeReading(const PendingReading& done)
{
    if (run && run->strFileName != done.recording.strPath) {
        run.reset(); // a recording opened in the view takes the run's place
    }
    viewRecording = done.recording;
    viewRecording->lngSamplesKnown = done.result->average.average.lngSamples;
    lastReading = done.result;
    lastReadingSettings = done.settings;
    segmentReading.reset();
    lngShownSegment.reset();
    // On a turn of its own: the spectrum and the spectrogram each take the window's thread for a few
    // tens of milliseconds on a long recording, and the window redraws between them.
    blnSpectrogramDue = true;
    QTimer::singleShot(0, this, [this] {
        blnSpectrogramDue = false;
        refreshSpectrogram();
        if (!pending) {
            emit analysisFinished(); // a reading started meanwhile tells of its own end
        }
    });
}

void SpectrumPanel::refuseReading(const PendingReading& done)
{
    showControlsOf(shownSettings);
    if (done.result->blnCancelled) {
        return;
    }
    const QString strName = QFileInfo(fromUtf8(done.recording.strPath)).fileName();
    const QString strWhy = fromUtf8(done.result->strFailure);
    // After a run the block is shown whatever the rest of its file holds; the reason goes to the status.
    const bool blnRunsOwn = run && run->strFileName == done.recording.strPath && !lastReading &&
                            done.settings.averaging == ViewAveraging::SingleBlock && !done.lngSegment;
    if (blnRunsOwn) {
        strReadingNote = tr("録音全体は読めませんでした：%1").arg(strWhy);
        return;
    }
    ui.showMessage(tr("録音「%1」を解析できませんでした。表示はそのままです。\n%2").arg(strName, strWhy).toStdString(),
                   platform::MessageStyle::Exclamation);
}

void SpectrumPanel::refreshAnalysisState()
{
    const bool blnBusy = pending.has_value();
    prgAnalysis->setVisible(blnBusy);
    cmdCancelAnalysis->setEnabled(blnBusy);
    cmdSaveAverage->setEnabled(lastReading && shownSettings.averaging != ViewAveraging::SingleBlock &&
                               !lngShownSegment);
    QString strText;
    if (!viewRecording) {
        strText = tr("録音：なし（FFT を実行するか、録音を開いてください）");
    } else {
        strText = tr("録音：%1").arg(QFileInfo(fromUtf8(viewRecording->strPath)).fileName());
        const engine::RecordingChoice& choice = viewRecording->choice;
        if (choice.column) {
            strText += tr("（列 %1）").arg(choice.column->lngNumber);
        } else if (choice.lngChannel) {
            strText += tr("（チャンネル %1）").arg(*choice.lngChannel);
        }
        if (lastReading) {
            const engine::AverageFileResult& result = lastReading->average;
            strText += tr("\n%1 Hz、N = %2、±%3 V\n%4 サンプル、%5 区間")
                           .arg(result.lngSampFreq)
                           .arg(viewRecording->lngNumSamp)
                           .arg(generalText(viewRecording->dblMaxVolt))
                           .arg(result.average.lngSamples)
                           .arg(result.average.lngSegments);
        }
    }
    if (blnBusy) {
        strText += tr("\n読み込み中…");
    } else if (!strReadingNote.isEmpty()) {
        strText += QLatin1Char('\n') + strReadingNote;
    }
    lblAnalysis->setText(strText);
}

void SpectrumPanel::tmrProgress_Timer()
{
    const double dblShare = job->share();
    if (dblShare < 0.0) {
        prgAnalysis->setRange(0, 0); // a busy bar where the length is not known
        return;
    }
    prgAnalysis->setRange(0, intProgressSteps);
    prgAnalysis->setValue(static_cast<int>(dblShare * intProgressSteps));
}

void SpectrumPanel::setFieldSource(std::function<engine::ControlContents()> newFieldSource)
{
    fieldSource = std::move(newFieldSource);
}

void SpectrumPanel::setSourceChooser(SourceChooser& newChooser)
{
    chooser = &newChooser;
}

void SpectrumPanel::cmdCancelAnalysis_Click()
{
    cancelAnalysis();
}

} // namespace kestrix::ui
