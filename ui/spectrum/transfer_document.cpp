// SPDX-License-Identifier: GPL-3.0-or-later
#include "transfer_document.h"

#include "analysis_job.h"
#include "engine/run/global_define.h"
#include "platform/failure.h"
#include "refusal_text.h"
#include "source_chooser.h"
#include "spectrum_panel_text.h"
#include "view_document.h"

#include <QFileInfo>

namespace kestrix::ui {
namespace {

// Whether two recordings are read alike for a pair of their signals: the column or channel the
// spectrum shows plays no part.
bool sameReading(const ViewRecording& a, const ViewRecording& b)
{
    return a.strPath == b.strPath && a.lngSampFreq == b.lngSampFreq && a.lngNumSamp == b.lngNumSamp &&
           a.dblMaxVolt == b.dblMaxVolt;
}

bool sameParts(const std::optional<engine::RecordingInfo>& a, const std::optional<engine::RecordingInfo>& b)
{
    return a.has_value() == b.has_value() &&
           (!a || (a->blnSound == b->blnSound && a->lngChannels == b->lngChannels && a->lngColumns == b->lngColumns &&
                   a->strHeadings == b->strHeadings));
}

bool sameUnit(const engine::EngineeringUnit& a, const engine::EngineeringUnit& b)
{
    return a.strUnit == b.strUnit && a.dblVoltsPerUnit == b.dblVoltsPerUnit;
}

} // namespace

bool sameSource(const TransferSource& a, const TransferSource& b)
{
    return sameReading(a.recording, b.recording) && a.intInput == b.intInput && a.intOutput == b.intOutput &&
           a.window == b.window && a.dblOverlap == b.dblOverlap && a.detrend == b.detrend;
}

TransferDocument::TransferDocument(ViewDocument& document, platform::PlatformUi& ui, platform::TextFiles& files,
                                   platform::SoundFiles& sounds)
    : QObject(&document), document(document), ui(ui), files(files), sounds(sounds), job(new AnalysisJob(this))
{
    connect(job, &AnalysisJob::finished, this, &TransferDocument::finished);
    connect(&document, &ViewDocument::recordingChanged, this, &TransferDocument::follow);
    connect(&document, &ViewDocument::settingsChanged, this, &TransferDocument::follow);
    takeRecording(std::nullopt);
}

// The work reads through the files the document was given: it is stopped and waited for first.
TransferDocument::~TransferDocument()
{
    delete job;
}

void TransferDocument::setSignals(int intNewInput, int intNewOutput)
{
    if (intNewInput == intInput && intNewOutput == intOutput) {
        return;
    }
    intInput = intNewInput;
    intOutput = intNewOutput;
    emit signalsChanged();
    emit transferChanged();
    follow();
}

void TransferDocument::setUnits(const engine::EngineeringUnit& input, const engine::EngineeringUnit& output)
{
    if (sameUnit(input, unitInput) && sameUnit(output, unitOutput)) {
        return;
    }
    unitInput = input;
    unitOutput = output;
    reestimate();
    emit transferChanged();
}

void TransferDocument::setThreshold(double dblNewThreshold)
{
    if (dblNewThreshold == dblThreshold) {
        return;
    }
    dblThreshold = dblNewThreshold;
    reestimate();
    emit transferChanged();
}

void TransferDocument::setWanted(bool blnNewWanted)
{
    blnWanted = blnNewWanted;
    if (blnWanted) {
        leftAlone.reset(); // shown again: what was refused or cancelled is tried again
        strRefusal.clear();
        emit transferChanged();
    }
    follow();
}

QString TransferDocument::note() const
{
    const std::optional<ViewRecording>& recording = document.recording();
    if (!recording) {
        return tr("FFT を実行するか、入力と出力の 2 つの列（またはチャンネル）がある録音を開いてください"
                  "（録音を開く：Ctrl+R）。その 2 つの間の伝達関数をここに表示します。");
    }
    if (strEntries.size() < 2) {
        return tr("録音「%1」には信号が 1 つしかありません。入力と出力の 2 つの列（またはチャンネル）がある録音を"
                  "開いてください（録音を開く：Ctrl+R）。")
            .arg(QFileInfo(fromUtf8(recording->strPath)).fileName());
    }
    if (intInput == intOutput) {
        return tr("入力と出力に同じ信号が選ばれています。別の列（またはチャンネル）を選んでください。");
    }
    return strRefusal;
}

double TransferDocument::share() const
{
    return job->share();
}

void TransferDocument::cancel()
{
    if (pending) {
        job->cancel();
    }
}

// Follows the document: another recording offers its own signals; another source is read where a page
// wants it, and a reading no longer wanted is stopped.
void TransferDocument::follow()
{
    takeRecording(document.recording());
    if (const void* reading = document.reading(); reading != readingSeen) {
        readingSeen = reading; // the recording read anew: what was refused is tried again
        leftAlone.reset();
        strRefusal.clear();
    }
    const std::optional<TransferSource> wanted = wantedSource();
    if (pending && wanted && sameSource(pending->source, *wanted)) {
        return;
    }
    stop();
    const bool blnShownAlready = lastShown && wanted && sameSource(lastShown->source, *wanted);
    const bool blnLeftAlone = leftAlone && wanted && sameSource(*leftAlone, *wanted);
    if (wanted && blnWanted && !blnShownAlready && !blnLeftAlone) {
        start(*wanted);
    }
}

// The signals of another recording, and the pair chosen as it was opened; the response of the last one
// goes.
void TransferDocument::takeRecording(const std::optional<ViewRecording>& recording)
{
    const bool blnSame = recording.has_value() == recordingSeen.has_value() &&
                         (!recording || (recording->strPath == recordingSeen->strPath &&
                                         sameParts(recording->parts, recordingSeen->parts)));
    recordingSeen = recording;
    if (blnSame) {
        return;
    }
    stop();
    lastShown.reset();
    leftAlone.reset();
    strRefusal.clear();
    strEntries.clear();
    intInput = 1;
    intOutput = 2;
    if (recording && recording->parts) {
        strEntries = ui::signalEntries(*recording->parts);
        const SignalPair pair = recording->pair.value_or(offeredPair(*recording->parts));
        intInput = pair.intInput;
        intOutput = pair.intOutput;
    }
    emit signalsChanged();
    emit transferChanged();
}

std::optional<TransferSource> TransferDocument::wantedSource() const
{
    const std::optional<ViewRecording>& recording = document.recording();
    if (!recording || strEntries.size() < 2 || intInput == intOutput) {
        return std::nullopt;
    }
    const ViewSettings& settings = document.settings();
    return TransferSource{*recording, intInput, intOutput, settings.window, settings.dblOverlap, settings.detrend};
}

engine::TransferRequest TransferDocument::requestFor(const TransferSource& source) const
{
    engine::TransferRequest request;
    request.settings.lngNumSamp = source.recording.lngNumSamp;
    request.settings.window = source.window;
    request.settings.dblOverlap = source.dblOverlap;
    request.settings.detrend = source.detrend;
    request.settings.averaging = engine::Averaging::Mean; // a cross-spectrum has no peak hold
    request.lngSampFreq = source.recording.lngSampFreq;   // a sound file's own takes its place
    request.dblMaxVolt = source.recording.dblMaxVolt;
    request.input = engine::ColumnChoice{source.intInput, {}};
    request.output = engine::ColumnChoice{source.intOutput, {}};
    request.inputUnit = unitInput;
    request.outputUnit = unitOutput;
    request.dblCoherenceThreshold = dblThreshold;
    request.lngThreads = 0; // every core: the view waits for nothing else
    return request;
}

void TransferDocument::start(const TransferSource& source)
{
    Pending reading{source, requestFor(source), std::make_shared<engine::TransferFileResult>(),
                    std::make_shared<std::string>()};
    pending = reading;
    platform::TextFiles& readFiles = files;
    platform::SoundFiles& readSounds = sounds;
    job->start([reading, &readFiles, &readSounds](JobProgress& progress) {
        *reading.strFailure = caughtFailure([&] {
            *reading.result = engine::transferRecording(reading.request, reading.source.recording.strPath, readFiles,
                                                        readSounds, engine::computePI(),
                                                        [&progress](std::int64_t, std::optional<double> dblShare) {
                                                            return progress.report(dblShare.value_or(-1.0));
                                                        });
        });
    });
    emit readingStarted();
}

void TransferDocument::stop()
{
    if (pending) {
        job->cancel();
        pending.reset();
    }
}

void TransferDocument::finished()
{
    if (pending) {
        const Pending done = std::move(*pending);
        pending.reset();
        if (!done.strFailure->empty() || (!done.result->analysed() && !done.result->blnCancelled)) {
            refuse(done);
        } else if (done.result->blnCancelled) {
            leftAlone = done.source; // shown as it was; read when the page is shown again
        } else {
            auto shown = std::make_shared<TransferShown>(TransferShown{done.source, done.request, *done.result});
            lastShown = std::move(shown);
            reestimate(); // units or a threshold chosen meanwhile
        }
        emit transferChanged();
    }
    emit readingEnded();
}

void TransferDocument::refuse(const Pending& done)
{
    lastShown.reset(); // of another pair or other settings: not to be taken for this one's
    leftAlone = done.source;
    const engine::TransferFileResult& result = *done.result;
    QString strWhy;
    if (!done.strFailure->empty()) {
        strWhy = tr("読み込みに失敗しました（%1）。").arg(fromUtf8(*done.strFailure));
    } else {
        strWhy = refusalText(result.refusalFacts);
    }
    const auto entry = [this](int intSignal) {
        return intSignal >= 1 && intSignal <= strEntries.size() ? strEntries[intSignal - 1]
                                                                : QString::number(intSignal);
    };
    QString strSignal;
    if (result.refusedSignal == engine::TransferSignal::Input) {
        strSignal = tr("入力（%1）：").arg(entry(done.source.intInput));
    } else if (result.refusedSignal == engine::TransferSignal::Output) {
        strSignal = tr("出力（%1）：").arg(entry(done.source.intOutput));
    }
    strRefusal = tr("伝達関数を求められませんでした。%1%2").arg(strSignal, strWhy);
}

// The response shown worked out again for the units and the threshold chosen (the spectra kept).
void TransferDocument::reestimate()
{
    if (lastShown &&
        (!sameUnit(lastShown->request.inputUnit, unitInput) || !sameUnit(lastShown->request.outputUnit, unitOutput) ||
         lastShown->request.dblCoherenceThreshold != dblThreshold)) {
        auto shown = std::make_shared<TransferShown>(*lastShown);
        shown->request.inputUnit = unitInput;
        shown->request.outputUnit = unitOutput;
        shown->request.dblCoherenceThreshold = dblThreshold;
        engine::estimateTransfer(shown->request, shown->result, engine::computePI());
        lastShown = std::move(shown);
    }
}

std::string TransferDocument::proposedFileName() const
{
    const std::optional<ViewRecording>& recording = document.recording();
    return recording ? engine::transferOutputName(files, recording->strPath) : std::string();
}

std::string TransferDocument::fileRefusal(const std::string& strPath) const
{
    if (!lastShown) {
        return tr("保存できる伝達関数がありません。2 つの列（またはチャンネル）がある録音を開き、解析が終わってから"
                  "保存してください。")
            .toStdString();
    }
    const std::string& strRecording = lastShown->source.recording.strPath;
    if (strPath == strRecording || files.sameFile(strPath, strRecording)) {
        return tr("録音そのものには保存できません。別の名前を選んでください。\n%1")
            .arg(fromUtf8(strPath))
            .toStdString();
    }
    return {};
}

bool TransferDocument::saveFile(const std::string& strPath)
{
    if (const std::string strRefused = fileRefusal(strPath); !strRefused.empty()) {
        ui.showMessage(strRefused, platform::MessageStyle::Exclamation);
        return false;
    }
    try {
        engine::writeTransferFile(files, strPath, lastShown->result);
    } catch (const KestrixError& failure) {
        ui.showMessage(saveFailureText(tr("伝達関数を保存できませんでした。"), strPath, failure).toStdString(),
                       platform::MessageStyle::Exclamation);
        return false;
    }
    return true;
}

} // namespace kestrix::ui
