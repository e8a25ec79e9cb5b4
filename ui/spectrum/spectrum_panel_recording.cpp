// SPDX-License-Identifier: GPL-3.0-or-later
// The spectrum view's recordings: one opened in the view (its column or channel, the window's fields
// for what it does not state) and the averaged spectrum saved as the batch writes it.

#include "engine/recordings/recording_view.h"
#include "engine/run/field_checks.h"
#include "engine/run/number_text.h"
#include "platform/failure.h"
#include "source_chooser.h"
#include "spectrum_panel.h"
#include "spectrum_panel_text.h"

#include <QFileInfo>
#include <QPushButton>

namespace kestrix::ui {

void SpectrumPanel::cmdOpenRecording_Click()
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
        openRecording(*strPath);
    }
}

bool SpectrumPanel::openRecording(const std::string& strPath)
{
    ViewRecording candidate;
    candidate.strPath = strPath;
    candidate.lngSampFreq = 0; // a sound file's own, else the field's
    if (!choosePart(strPath, candidate) || !takeFields(candidate)) {
        return false;
    }
    ViewSettings wanted = settings();
    if (wanted.averaging == ViewAveraging::SingleBlock) {
        wanted.averaging = ViewAveraging::Mean; // a recording is opened to see it whole
        showControlsOf(wanted);
    }
    if (pending) {
        job->cancel();
        pending.reset();
    }
    strReadingNote.clear();
    startReading({candidate, wanted, std::nullopt, nullptr});
    refreshAnalysisState();
    return true;
}

// Which column or channel to read, asked where the file has several; false after a refusal (shown)
// or when the user cancels.
bool SpectrumPanel::choosePart(const std::string& strPath, ViewRecording& candidate)
{
    const QString strName = QFileInfo(fromUtf8(strPath)).fileName();
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
        ui.showMessage(tr("録音「%1」は読めません。\n%2").arg(strName, fromUtf8(info.strRefusal)).toStdString(),
                       platform::MessageStyle::Exclamation);
        return false;
    }
    if (info.blnSound) {
        candidate.lngSampFreq = info.lngSampFreq.value_or(0);
        if (info.lngChannels > 1) {
            const std::optional<int> intChannel =
                chooser->chooseChannel(strName, info.lngChannels, candidate.lngSampFreq);
            if (!intChannel) {
                return false;
            }
            candidate.choice.lngChannel = *intChannel;
        }
        return true;
    }
    return chooseColumn(strName, info, candidate);
}

bool SpectrumPanel::chooseColumn(const QString& strName, const engine::RecordingInfo& info, ViewRecording& candidate)
{
    int intColumn = 1;
    if (info.lngColumns > 1) {
        std::vector<QString> strHeadings;
        for (const std::string& strHeading : info.strHeadings) {
            strHeadings.push_back(fromUtf8(strHeading));
        }
        const std::optional<int> intChosen = chooser->chooseColumn(strName, info.lngColumns, strHeadings);
        if (!intChosen) {
            return false;
        }
        intColumn = *intChosen;
    }
    candidate.choice = engine::textChoice(info, intColumn);
    return true;
}

// The point count and the input range from the window's fields, and for text the sampling frequency,
// each through the field's own check; false after a refusal (its message shown).
bool SpectrumPanel::takeFields(ViewRecording& candidate)
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

void SpectrumPanel::cmdSaveAverage_Click()
{
    if (!cmdSaveAverage->isEnabled()) {
        return;
    }
    platform::SaveFileRequest request;
    request.strTitle = tr("平均スペクトルを保存").toStdString();
    request.strFilter = tr("CSV ファイル (*.csv)|*.csv").toStdString();
    request.strInitialFileName = engine::averageOutputName(files, viewRecording->strPath, viewRecording->choice);
    if (const std::optional<std::string> strPath = ui.chooseSaveFile(request)) {
        saveAverage(*strPath);
    }
}

bool SpectrumPanel::saveAverage(const std::string& strPath)
{
    if (!lastReading || shownSettings.averaging == ViewAveraging::SingleBlock || lngShownSegment) {
        ui.showMessage(
            tr("保存できる平均スペクトルがありません。「平均」か「ピークホールド」で表示してください。").toStdString(),
            platform::MessageStyle::Exclamation);
        return false;
    }
    if (strPath == viewRecording->strPath || files.sameFile(strPath, viewRecording->strPath)) {
        ui.showMessage(
            tr("録音そのものには保存できません。別の名前を選んでください。\n%1").arg(fromUtf8(strPath)).toStdString(),
            platform::MessageStyle::Exclamation);
        return false;
    }
    // The batch's heading and lines for the settings and units shown.
    engine::AverageFileResult result = lastReading->average;
    const engine::AverageRequest request = averageRequest(*viewRecording, shownSettings);
    result.dblValues = engine::spectrumInUnits(result.average, shownSettings.units, result.lngSampFreq,
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

} // namespace kestrix::ui
