// SPDX-License-Identifier: GPL-3.0-or-later
#include "octave_document.h"

#include "analysis_job.h"
#include "platform/failure.h"
#include "refusal_text.h"
#include "spectrum_panel_text.h"
#include "view_document.h"

#include <QCoreApplication>

namespace kestrix::ui {
namespace {

// "1/3 オクターブ", "1/1 オクターブ".
QString bandwidthText(std::int32_t lngBandsPerOctave)
{
    return QCoreApplication::translate("kestrix::ui::OctaveDocument", "1/%1 オクターブ").arg(lngBandsPerOctave);
}

} // namespace

bool OctaveDocument::Source::same(const Source& other) const
{
    return sameSamples(recording, other.recording) && settings == other.settings && sameUnit(unit, other.unit);
}

OctaveDocument::OctaveDocument(ViewDocument& document, platform::PlatformUi& ui, platform::TextFiles& files,
                               platform::SoundFiles& sounds, QObject* parent)
    : QObject(parent), document(document), ui(ui), files(files), sounds(sounds), job(new AnalysisJob(this))
{
    connect(job, &AnalysisJob::finished, this, &OctaveDocument::jobFinished);
    connect(&document, &ViewDocument::recordingChanged, this, &OctaveDocument::documentRecordingChanged);
    // The engineering unit is one of the document's settings.
    connect(&document, &ViewDocument::settingsChanged, this, [this] { keepUp(false); });
}

// The job's work reads the files the document was given: it is stopped and waited for first.
OctaveDocument::~OctaveDocument()
{
    delete job;
}

void OctaveDocument::setSettings(const OctaveViewSettings& settings)
{
    if (settings == wantedSettings) {
        return;
    }
    wantedSettings = settings;
    emit settingsChanged();
    keepUp(true);
}

void OctaveDocument::setShown(bool blnNowShown)
{
    blnShown = blnNowShown;
    keepUp(true);
}

double OctaveDocument::progress() const
{
    return job->share();
}

void OctaveDocument::cancelAnalysis()
{
    if (pending) {
        job->cancel();
    }
}

void OctaveDocument::setBandHz(std::optional<double> dblHz)
{
    if (dblHz != dblBandHz) {
        dblBandHz = dblHz;
        emit bandChanged();
    }
}

std::optional<OctaveDocument::Source> OctaveDocument::wantedSource() const
{
    if (!document.recording()) {
        return std::nullopt;
    }
    return Source{*document.recording(), wantedSettings, document.engineeringUnit()};
}

// Starts the analysis the page wants unless it is shown or under way already. Unasked (the document
// changed something else), an analysis refused or cancelled is not tried again.
void OctaveDocument::keepUp(bool blnAsked)
{
    if (!blnShown) {
        return;
    }
    const std::optional<Source> wanted = wantedSource();
    if (!wanted) {
        stop();
        return;
    }
    if (pending && pending->source.same(*wanted)) {
        return;
    }
    if (shownReading && Source{shownReading->recording, shownReading->settings, shownReading->unit}.same(*wanted)) {
        stop();
        return;
    }
    if (!blnAsked && failedSource && failedSource->same(*wanted)) {
        return;
    }
    const engine::OctaveRequest request = octaveRequest(wanted->recording, wanted->settings, wanted->unit);
    if (engine::analysedBands(request.settings.lngBandsPerOctave, request.settings.dblFromHz,
                              wanted->recording.lngSampFreq)
            .empty()) {
        stop();
        refuse(*wanted, tr("サンプリング周波数 %1 Hz では、%2 Hz から fs/2 までに %3の帯域がありません。")
                            .arg(wanted->recording.lngSampFreq)
                            .arg(generalText(request.settings.dblFromHz))
                            .arg(bandwidthText(wanted->settings.lngBandsPerOctave)));
        return;
    }
    start(*wanted);
}

void OctaveDocument::start(const Source& source)
{
    auto result = std::make_shared<OctaveReading>();
    pending = std::make_unique<Pending>(Pending{source, result});
    strNote.clear();
    platform::TextFiles& readFiles = files;
    platform::SoundFiles& readSounds = sounds;
    job->start([result, source, &readFiles, &readSounds](JobProgress& progress) {
        *result = readOctaves(source.recording, source.settings, source.unit, readFiles, readSounds, progress);
    });
    emit stateChanged();
}

void OctaveDocument::stop()
{
    if (pending) {
        job->cancel();
        pending.reset();
        emit stateChanged();
    }
}

// The settings of the analysis shown come back, and the note says why the one asked for is not.
void OctaveDocument::refuse(const Source& source, const QString& strWhy)
{
    failedSource = source;
    strNote = strWhy;
    if (shownReading && !(wantedSettings == shownReading->settings)) {
        wantedSettings = shownReading->settings;
        emit settingsChanged();
    }
    emit stateChanged();
}

void OctaveDocument::documentRecordingChanged()
{
    // An analysis of a recording the document no longer holds goes with it.
    const std::optional<ViewRecording>& recording = document.recording();
    if (shownReading && (!recording || !sameSamples(shownReading->recording, *recording))) {
        accept(nullptr);
    }
    keepUp(false);
}

void OctaveDocument::jobFinished()
{
    if (!pending) {
        return;
    }
    const std::unique_ptr<Pending> done = std::move(pending);
    const engine::OctaveFileResult& result = done->result->result;
    if (result.blnCancelled) {
        refuse(done->source, tr("オクターブ分析を中止しました。"));
    } else if (!done->result->strFailure.empty()) {
        refuse(done->source, tr("読み込みに失敗しました（%1）。").arg(fromUtf8(done->result->strFailure)));
    } else if (!result.analysed()) {
        const bool blnEmpty = result.refusalFacts.kind == platform::RefusalFacts::Kind::TooFewSamples;
        refuse(done->source, blnEmpty ? tr("録音にサンプルがありません。") : refusalText(result.refusalFacts));
    } else {
        failedSource.reset();
        strNote.clear();
        accept(done->result);
        emit stateChanged();
    }
    emit analysisFinished();
}

void OctaveDocument::accept(std::shared_ptr<const OctaveReading> result)
{
    shownReading = std::move(result);
    if (dblBandHz && shownReading) {
        const std::vector<engine::BandReading>& bands = shownReading->result.bands;
        if (bands.empty() || *dblBandHz < bands.front().band.dblLower || *dblBandHz >= bands.back().band.dblUpper) {
            dblBandHz.reset();
        }
    }
    emit readingChanged();
    emit bandChanged();
}

std::string OctaveDocument::proposedTableName() const
{
    return shownReading ? engine::octaveOutputName(files, shownReading->recording.strPath) : std::string();
}

std::string OctaveDocument::tableRefusal(const std::string& strPath) const
{
    if (!shownReading) {
        return tr("保存できるオクターブ分析がありません。").toStdString();
    }
    return document.overRecordingRefusal(strPath, shownReading->recording.strPath);
}

bool OctaveDocument::saveTable(const std::string& strPath)
{
    if (const std::string strRefusal = tableRefusal(strPath); !strRefusal.empty()) {
        ui.showMessage(strRefusal, platform::MessageStyle::Exclamation);
        return false;
    }
    try {
        engine::writeOctaveBands(files, strPath, shownReading->result);
    } catch (const KestrixError& failure) {
        ui.showMessage(tr("オクターブ分析の表を保存できませんでした。\n%1\n%2")
                           .arg(fromUtf8(strPath), failureText(failure))
                           .toStdString(),
                       platform::MessageStyle::Exclamation);
        return false;
    }
    return true;
}

} // namespace kestrix::ui
