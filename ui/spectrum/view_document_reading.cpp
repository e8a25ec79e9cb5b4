// SPDX-License-Identifier: GPL-3.0-or-later
// The document's recordings: one opened in the view (its column or channel, the window's fields for
// what it does not state), the readings made off the window's thread, and how each reading ends.

#include "analysis_job.h"
#include "engine/recordings/recording_view.h"
#include "engine/run/field_checks.h"
#include "engine/run/number_text.h"
#include "platform/failure.h"
#include "refusal_text.h"
#include "source_chooser.h"
#include "spectrum_panel_text.h"
#include "transfer_document.h"
#include "view_document.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTimer>

namespace kestrix::ui {
namespace {

// Why a path is no recording to read, judged without opening it (a pipe or a device would keep the
// window waiting for a writer); empty for a regular file or one that is not there (its opening says so).
QString kindRefusal(const QString& strPath)
{
    const QFileInfo info(strPath);
    if (!info.exists() || info.isFile()) {
        return {};
    }
    if (info.isDir()) {
        return QCoreApplication::translate("kestrix::ui::SpectrumPanel",
                                           "フォルダです。録音のファイルを選んでください。");
    }
    return QCoreApplication::translate("kestrix::ui::SpectrumPanel",
                                       "通常のファイルではありません（名前付きパイプ、デバイスなど）。"
                                       "終わりのあるファイルだけを録音として読みます。");
}

} // namespace

bool ViewDocument::openRecording(const std::string& strPath)
{
    ViewRecording candidate;
    candidate.strPath = strPath;
    candidate.lngSampFreq = 0; // a sound file's own, else the field's
    if (!choosePart(strPath, candidate) || !takeFields(candidate)) {
        return false;
    }
    ViewSettings wanted = wantedSettings;
    if (wanted.averaging == ViewAveraging::SingleBlock || wanted.envelope) {
        if (wanted.averaging == ViewAveraging::SingleBlock) {
            wanted.averaging = ViewAveraging::Mean; // a recording is opened to see it whole
        }
        wanted.envelope.reset(); // a band chosen for another recording's resonance
        wantedSettings = wanted;
        emit settingsChanged();
    }
    stopReading();
    strReadingNote.clear();
    startReading({candidate, wanted, std::nullopt, nullptr});
    emit recordingChanged();
    if (candidate.pair) {
        // The file opened again is a recording the two channels have seen, whose pair they keep as the
        // page last set it: the pair just chosen is the one that stands.
        transferPart->setSignals(candidate.pair->intInput, candidate.pair->intOutput);
    }
    return true;
}

// Which column or channel to read, asked where the file has several; false after a refusal (shown)
// or when the user cancels.
bool ViewDocument::choosePart(const std::string& strPath, ViewRecording& candidate)
{
    const QString strName = QFileInfo(fromUtf8(strPath)).fileName();
    const auto refuse = [&](const QString& strWhy) {
        ui.showMessage(tr("録音「%1」は読めません。\n%2").arg(strName, strWhy).toStdString(),
                       platform::MessageStyle::Exclamation);
        return false;
    };
    if (const QString strKind = kindRefusal(fromUtf8(strPath)); !strKind.isEmpty()) {
        return refuse(strKind);
    }
    engine::RecordingInfo info;
    try {
        info = engine::inspectRecording(files, sounds, strPath);
    } catch (const KestrixError& failure) {
        ui.showMessage(tr("録音「%1」を開けませんでした。\n%2: %3")
                           .arg(strName)
                           .arg(failure.number())
                           .arg(fromUtf8(failure.description()))
                           .toStdString(),
                       platform::MessageStyle::Exclamation);
        return false;
    }
    if (!info.strRefusal.empty()) {
        return refuse(refusalText({platform::RefusalFacts::Kind::Other, 0, 0, info.strRefusal, 0, 0, false}));
    }
    if (!info.strDecimalComma.empty()) {
        platform::RefusalFacts facts;
        facts.kind = platform::RefusalFacts::Kind::NotANumber;
        facts.strText = info.strDecimalComma;
        facts.blnDecimalComma = true;
        return refuse(tr("数値「%1」は小数点にコンマを使っているようです。Kestrix は小数点（1.5 のように「.」）の"
                         "数値を読みます。表計算ソフトなどで小数点を「.」にして保存し直してください。")
                          .arg(fromUtf8(info.strDecimalComma)));
    }
    candidate.parts = info;
    SignalPair pair = offeredPair(info);
    if (info.blnSound) {
        candidate.lngSampFreq = info.lngSampFreq.value_or(0);
        if (info.lngChannels > 1) {
            const std::optional<int> intChannel =
                chooser->chooseChannel(strName, info.lngChannels, candidate.lngSampFreq, pair);
            if (!intChannel) {
                return false;
            }
            candidate.choice.lngChannel = *intChannel;
            candidate.pair = pair;
        }
        return true;
    }
    int intColumn = 1;
    if (info.lngColumns > 1) {
        std::vector<QString> strHeadings;
        for (const std::string& strHeading : info.strHeadings) {
            strHeadings.push_back(fromUtf8(strHeading));
        }
        const std::optional<int> intChosen =
            chooser->chooseColumn(strName, info.lngColumns, strHeadings, engine::suggestedColumn(info), pair);
        if (!intChosen) {
            return false;
        }
        intColumn = *intChosen;
        candidate.pair = pair;
    }
    candidate.choice = engine::textChoice(info, intColumn);
    const auto lngIndex = static_cast<std::size_t>(intColumn - 1);
    if (candidate.choice.column && lngIndex < info.strHeadings.size()) {
        candidate.strHeading = info.strHeadings[lngIndex];
    }
    return true;
}

// The point count and the input range from the window's fields, and for text the sampling frequency,
// each through the field's own check; false after a refusal (its message shown).
bool ViewDocument::takeFields(ViewRecording& candidate)
{
    const engine::ControlContents contents = fieldSource ? fieldSource() : engine::ControlContents{};
    engine::FieldCheck range = engine::checkMaxVolt(contents.strMaxVolt);
    engine::FieldCheck rate;
    if (candidate.lngSampFreq <= 0) {
        rate = engine::checkSampFreq(contents.strSampFreq);
    }
    for (const engine::FieldCheck* check : {&rate, &range}) {
        if (!check->accepted()) {
            ui.showMessage(check->strMessage, platform::MessageStyle::Exclamation);
            return false;
        }
    }
    try {
        if (candidate.lngSampFreq <= 0) {
            candidate.lngSampFreq = engine::wholeNumberOfText(rate.strNormalized);
        }
        candidate.dblMaxVolt = engine::fixedValueOfText(range.strNormalized, 3);
        candidate.lngNumSamp = engine::wholeNumberOfText(contents.strNumSamp);
    } catch (const KestrixError& failure) {
        ui.showMessage(fromUtf8(failure.description()).toStdString(), platform::MessageStyle::Exclamation);
        return false;
    }
    return true;
}

void ViewDocument::startReading(PendingReading reading)
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
}

void ViewDocument::stopReading()
{
    if (pending) {
        job->cancel();
        pending.reset();
    }
}

void ViewDocument::readingFinished()
{
    if (pending) {
        const PendingReading done = std::move(*pending);
        pending.reset();
        if (done.result->blnCancelled || !done.result->strFailure.empty()) {
            refuseReading(done);
        } else {
            acceptReading(done);
        }
    }
    emit recordingChanged();
    if (!analysing()) {
        emit analysisFinished();
    }
}

void ViewDocument::acceptReading(const PendingReading& done)
{
    const bool blnRescaled = otherValues(done.settings, currentSettings);
    // The run's own recording read whole is no new recording: a view zoomed meanwhile stays.
    const bool blnNewRecording =
        !done.lngSegment && (!viewRecording || viewRecording->strPath != done.recording.strPath);
    if (done.lngSegment) {
        segmentReading = done.result;
        lngShownSegment = done.lngSegment;
    } else {
        takeWholeReading(done);
    }
    currentSettings = done.settings;
    wantedSettings = done.settings;
    emit settingsChanged();
    refreshShown(blnRescaled || blnNewRecording);
}

// A reading of the whole recording becomes the document's: its average, its first block and, on the
// next turn, its spectrogram.
void ViewDocument::takeWholeReading(const PendingReading& done)
{
    if (runSpectra && runSpectra->strFileName != done.recording.strPath) {
        runSpectra.reset(); // a recording opened in the view takes the run's place
    }
    viewRecording = done.recording;
    viewRecording->lngSamplesKnown = done.result->average.average.lngSamples;
    lastReading = done.result;
    readSettings = done.settings;
    segmentReading.reset();
    lngShownSegment.reset();
    // On a turn of its own: the spectrum and the spectrogram each take the window's thread for a few
    // tens of milliseconds on a long recording, and the window redraws between them.
    blnSpectrogramDue = true;
    QTimer::singleShot(0, this, [this] {
        blnSpectrogramDue = false;
        emit spectrogramChanged();
        if (!analysing()) {
            emit analysisFinished(); // a reading started meanwhile tells of its own end
        }
    });
}

void ViewDocument::refuseReading(const PendingReading& done)
{
    wantedSettings = currentSettings;
    emit settingsChanged();
    if (done.result->blnCancelled) {
        return;
    }
    const QString strName = QFileInfo(fromUtf8(done.recording.strPath)).fileName();
    const QString strWhy = done.result->refusal.kind != platform::RefusalFacts::Kind::None
                               ? refusalText(done.result->refusal)
                               : tr("読み込みに失敗しました（%1）。").arg(fromUtf8(done.result->strFailure));
    // After a run the block is shown whatever the rest of its file holds; the reason goes to the status.
    const bool blnRunsOwn = runSpectra && runSpectra->strFileName == done.recording.strPath && !lastReading &&
                            done.settings.averaging == ViewAveraging::SingleBlock && !done.lngSegment;
    if (blnRunsOwn) {
        strReadingNote = tr("録音全体は読めませんでした：%1").arg(strWhy);
        return;
    }
    ui.showMessage(tr("録音「%1」を解析できませんでした。表示はそのままです。\n%2").arg(strName, strWhy).toStdString(),
                   platform::MessageStyle::Exclamation);
}

} // namespace kestrix::ui
