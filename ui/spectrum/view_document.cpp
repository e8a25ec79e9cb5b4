// SPDX-License-Identifier: GPL-3.0-or-later
// The document's state and what is shown of it: the settings, the spectrum in its units, the positions
// in Hz, the running speed, and the averaged spectrum saved as the batch writes it.

#include "view_document.h"

#include "analysis_job.h"
#include "engine/recordings/average_analysis.h"
#include "engine/run/global_define.h"
#include "platform/failure.h"
#include "spectrum_panel_text.h"

#include <QDir>
#include <QFileInfo>

#include <cmath>

namespace kestrix::ui {

ViewDocument::ViewDocument(platform::PlatformUi& ui, platform::TextFiles& files, platform::SoundFiles& sounds,
                           QObject* parent)
    : QObject(parent), ui(ui), files(files), sounds(sounds), job(new AnalysisJob(this))
{
    connect(job, &AnalysisJob::finished, this, &ViewDocument::readingFinished);
    refreshShown(true);
}

// The job's work reads the files and sound files the document was given: it is stopped and waited for
// before anything else goes.
ViewDocument::~ViewDocument()
{
    delete job;
}

void ViewDocument::setFieldSource(std::function<engine::ControlContents()> newFieldSource)
{
    fieldSource = std::move(newFieldSource);
}

void ViewDocument::setSourceChooser(SourceChooser& newChooser)
{
    chooser = &newChooser;
}

void ViewDocument::showRun(const engine::RunSpectra& spectra)
{
    stopReading();
    runSpectra = spectra;
    strReadingNote.clear();
    lngShownSegment.reset();
    segmentReading.reset();
    lastReading.reset();
    if (spectra.strFileName.empty() || spectra.lngNumSamp <= 0) {
        // Spectra without their recording: shown as they are, nothing to read again.
        viewRecording.reset();
    } else {
        ViewRecording recording;
        recording.strPath = spectra.strFileName;
        recording.lngSampFreq = spectra.lngSampFreq;
        recording.lngNumSamp = spectra.lngNumSamp;
        recording.dblMaxVolt = spectra.dblMaxVolt;
        viewRecording = recording;
        startReading({recording, wantedSettings, std::nullopt, nullptr});
    }
    refreshShown(true);
    emit recordingChanged();
    emit spectrogramChanged();
}

void ViewDocument::setSettings(const ViewSettings& wanted)
{
    wantedSettings = wanted;
    emit settingsChanged();
    if (pending && !pending->lngSegment && wanted.sameReading(pending->settings)) {
        pending->settings = wanted; // the reading under way serves these settings too
        return;
    }
    // A recording being opened is read again with the new settings; otherwise the one shown.
    std::optional<ViewRecording> target = viewRecording;
    if (pending && !pending->lngSegment) {
        target = pending->recording;
    }
    stopReading();
    const bool blnSameRecording = viewRecording && target && sameRecording(*target, *viewRecording);
    if (target && !(blnSameRecording && lastReading && wanted.sameReading(readSettings))) {
        startReading({*target, wanted, std::nullopt, nullptr});
        emit recordingChanged();
        return;
    }
    // Nothing to read again: the units, or between the block and the average of one reading.
    const bool blnRescaled = wanted.units != currentSettings.units;
    currentSettings = wanted;
    lngShownSegment.reset();
    segmentReading.reset();
    refreshShown(blnRescaled);
    emit recordingChanged();
}

bool ViewDocument::analysing() const
{
    return pending.has_value() || blnSpectrogramDue;
}

double ViewDocument::progress() const
{
    return job->share();
}

void ViewDocument::cancelAnalysis()
{
    if (pending) {
        job->cancel();
    }
}

void ViewDocument::showSegment(std::int64_t lngSegment)
{
    if (!viewRecording || !lastReading || lngSegment < 0 || lngSegment >= lastReading->average.average.lngSegments) {
        return;
    }
    stopReading();
    ViewSettings wanted = currentSettings;
    wanted.averaging = readSettings.averaging;
    startReading({*viewRecording, wanted, lngSegment, nullptr});
    emit recordingChanged();
}

void ViewDocument::refreshShown(bool blnNewView)
{
    const engine::SpectrumUnits units = currentSettings.units;
    const bool blnAveraged = currentSettings.averaging != ViewAveraging::SingleBlock || lngShownSegment;
    const double dblMaxVolt = viewRecording ? viewRecording->dblMaxVolt : 0.0;
    if (lngShownSegment && segmentReading) {
        shownSpectrum = averagedSpectrum(*segmentReading, dblMaxVolt, units, lngShownSegment);
    } else if (blnAveraged && lastReading) {
        shownSpectrum = averagedSpectrum(*lastReading, dblMaxVolt, units, std::nullopt);
    } else {
        shownSpectrum = singleBlockSpectrum(runSpectra ? &*runSpectra : nullptr, lastReading.get(),
                                            viewRecording ? viewRecording->lngNumSamp : 0, units);
    }
    if (shownSpectrum.dblValues.empty()) {
        shownSpectrum.scale.units = units;
    }
    dropPositionsBeyond();
    emit spectrumChanged(blnNewView);
}

// Positions the new spectrum does not reach go; the others stay at their frequency.
void ViewDocument::dropPositionsBeyond()
{
    const std::size_t lngLines = shownSpectrum.dblValues.size();
    const double dblHalf = shownSpectrum.dblDeltaFreq / 2.0;
    const auto reaches = [&](const std::optional<double>& dblHz) {
        return dblHz && lngLines > 0 && *dblHz >= -dblHalf &&
               *dblHz <= static_cast<double>(lngLines - 1) * shownSpectrum.dblDeltaFreq + dblHalf;
    };
    const bool blnDropped = (dblCursorHz && !reaches(dblCursorHz)) || (dblReferenceHz && !reaches(dblReferenceHz));
    if (!reaches(dblCursorHz)) {
        dblCursorHz.reset();
    }
    if (!reaches(dblReferenceHz)) {
        dblReferenceHz.reset();
    }
    if (blnDropped) {
        emit cursorsChanged();
    }
}

UnitsTexts ViewDocument::units() const
{
    return unitsTexts(shownSpectrum.scale.units);
}

const engine::AveragedPower* ViewDocument::figuresPower(std::int32_t& lngSampFreq) const
{
    const engine::AveragedPower* power = nullptr;
    if (lngShownSegment && segmentReading) {
        power = &segmentReading->average.figuresPower;
        lngSampFreq = segmentReading->average.lngSampFreq;
    } else if (lastReading) {
        const bool blnBlock = currentSettings.averaging == ViewAveraging::SingleBlock;
        power = blnBlock ? &lastReading->firstBlockPower : &lastReading->average.figuresPower;
        lngSampFreq = lastReading->average.lngSampFreq;
    }
    return power != nullptr && viewRecording && power->lngSegments > 0 ? power : nullptr;
}

void ViewDocument::setCursors(std::optional<double> dblCursor, std::optional<double> dblReference)
{
    if (dblCursor == dblCursorHz && dblReference == dblReferenceHz) {
        return;
    }
    dblCursorHz = dblCursor;
    dblReferenceHz = dblReference;
    emit cursorsChanged();
}

void ViewDocument::setOrderSpeed(std::optional<engine::RunningSpeed> newSpeed)
{
    const bool blnSame = newSpeed.has_value() == speed.has_value() &&
                         (!speed || (speed->dblHz == newSpeed->dblHz && speed->unit == newSpeed->unit));
    if (blnSame) {
        return;
    }
    speed = newSpeed;
    emit speedChanged();
}

bool ViewDocument::averageSaveable() const
{
    return lastReading && currentSettings.averaging != ViewAveraging::SingleBlock && !lngShownSegment;
}

std::string ViewDocument::averageRefusal(const std::string& strPath) const
{
    if (!averageSaveable()) {
        return tr("保存できる平均スペクトルがありません。「平均」か「ピークホールド」で表示してください。")
            .toStdString();
    }
    if (strPath == viewRecording->strPath || files.sameFile(strPath, viewRecording->strPath)) {
        return tr("録音そのものには保存できません。別の名前を選んでください。\n%1")
            .arg(fromUtf8(strPath))
            .toStdString();
    }
    return {};
}

std::string ViewDocument::proposedAverageName() const
{
    return viewRecording ? engine::averageOutputName(files, viewRecording->strPath, viewRecording->choice)
                         : std::string();
}

bool ViewDocument::saveAverage(const std::string& strPath)
{
    if (const std::string strRefusal = averageRefusal(strPath); !strRefusal.empty()) {
        ui.showMessage(strRefusal, platform::MessageStyle::Exclamation);
        return false;
    }
    // The batch's heading and lines for the settings and units shown.
    engine::AverageFileResult result = lastReading->average;
    const engine::AverageRequest request = averageRequest(*viewRecording, currentSettings);
    result.dblValues = engine::spectrumInUnits(result.average, currentSettings.units, result.lngSampFreq,
                                               viewRecording->dblMaxVolt / engine::dblFullScaleCount);
    result.strHeading = engine::averageHeading(request, result.average, result.lngSampFreq, result.strSource);
    try {
        engine::writeAverageSpectrum(files, strPath, result);
    } catch (const KestrixError& failure) {
        ui.showMessage(tr("平均スペクトルを保存できませんでした。\n%1\n%2: %3")
                           .arg(fromUtf8(strPath))
                           .arg(failure.number())
                           .arg(fromUtf8(failure.description()))
                           .toStdString(),
                       platform::MessageStyle::Exclamation);
        return false;
    }
    return true;
}

QString ViewDocument::proposedPictureName(const QString& strPage, const std::string& strReference) const
{
    // Beside the recording the page shows, named for it and for the segment shown: never a name the run's
    // own picture of another recording or segment would take.
    QString strBase;
    if (runSpectra && !runSpectra->strBaseName.empty() && !lngShownSegment &&
        (!viewRecording || viewRecording->strPath == runSpectra->strFileName)) {
        strBase = fromUtf8(runSpectra->strBaseName);
    } else if (viewRecording) {
        const QFileInfo recording(fromUtf8(viewRecording->strPath));
        strBase = recording.dir().filePath(recording.completeBaseName());
    } else if (!strReference.empty()) {
        const QFileInfo reference(fromUtf8(strReference));
        return reference.dir().filePath(reference.completeBaseName() + QStringLiteral(".png"));
    } else {
        return {};
    }
    if (lngShownSegment && strPage == QLatin1String("SPC")) {
        strBase += QStringLiteral("_seg%1").arg(*lngShownSegment);
    }
    return strBase + QLatin1Char('_') + strPage + QStringLiteral(".png");
}

} // namespace kestrix::ui
