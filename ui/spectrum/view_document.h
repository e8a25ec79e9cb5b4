// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/recordings/engineering_unit.h"
#include "engine/run/analysis.h"
#include "engine/run/analysis_parameters.h"
#include "engine/view/orders.h"
#include "platform/platform_ui.h"
#include "platform/sound_files.h"
#include "platform/text_files.h"
#include "shown_spectrum.h"
#include "units_text.h"
#include "view_analysis.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace kestrix::ui {

class AnalysisJob;
class OctaveDocument;
class SourceChooser;
class TransferDocument;

// What the view is about, in one place: the recording (the run's file, or one opened in the view: its
// path, column or channel, rate and point count), the settings it is analysed with, what the readings
// gave (the spectrum shown in its units, the segment picked, the spectrogram, the converter figures'
// average), where the cursors stand in Hz, and the running speed the frequencies count orders of.
// Pages read it and ask it for changes; it tells them what changed. The job that reads recordings off
// the window's thread works for it: a reading's result replaces the document's state in one step, so
// no page sees half of a change. A refusal is shown through the PlatformUi, in the view's language.
class ViewDocument final : public QObject
{
    Q_OBJECT

public:
    ViewDocument(platform::PlatformUi& ui, platform::TextFiles& files, platform::SoundFiles& sounds,
                 QObject* parent = nullptr);
    ~ViewDocument() override;
    ViewDocument(const ViewDocument&) = delete;
    ViewDocument& operator=(const ViewDocument&) = delete;

    // Where a recording opened in the view takes the sampling frequency, the point count N and the
    // input range it does not state (the window's fields as texts; the start-up values without one), and
    // who is asked for the column or channel of a recording.
    void setFieldSource(std::function<engine::ControlContents()> fieldSource);
    void setSourceChooser(SourceChooser& chooser);

    // The spectra of a run that went through; a run that names its file becomes the recording read.
    void showRun(const engine::RunSpectra& spectra);
    // Opens a recording: a folder, a pipe or a device refused at once, the fields' values checked, its
    // column or channel asked for where it has several, then read off the window's thread. A refusal
    // shows its message and changes nothing; the result says whether the reading started.
    bool openRecording(const std::string& strPath);
    const std::optional<engine::RunSpectra>& run() const
    {
        return runSpectra;
    }
    const std::optional<ViewRecording>& recording() const
    {
        return viewRecording;
    }
    // The last whole reading of the recording, with the settings it was read with; null without one.
    const ViewReading* reading() const
    {
        return lastReading.get();
    }
    // Why the run's recording could not be read whole (shown with it), else empty.
    const QString& readingNote() const
    {
        return strReadingNote;
    }

    // The settings asked for (a reading may still be making them true) and those the spectrum shown was
    // made with. Asking for settings starts a new reading where they need one.
    const ViewSettings& settings() const
    {
        return wantedSettings;
    }
    const ViewSettings& shownSettings() const
    {
        return currentSettings;
    }
    void setSettings(const ViewSettings& settings);

    // A reading under way (of the recording or of its two channels), or its spectrogram still to be
    // shown; its share done (negative: not known).
    bool analysing() const;
    bool busy() const;
    double progress() const;
    void cancelAnalysis();
    // The recording's two channels: their pair, units and frequency response.
    TransferDocument& transfer() const
    {
        return *transferPart;
    }

    // The spectrum shown, in the units shown; the segment picked instead of the average, if any.
    const ShownSpectrum& shown() const
    {
        return shownSpectrum;
    }
    std::optional<std::int64_t> shownSegment() const
    {
        return lngShownSegment;
    }
    // Shows segment lngSegment (from 0) with the settings shown, read off the window's thread; the
    // averaged spectrum comes back with the next setting.
    void showSegment(std::int64_t lngSegment);
    // The units of everything shown (the label, the axis titles, the readouts' words).
    UnitsTexts units() const;
    // The engineering unit levels are given in and referred to: volts, dB re 1 V, without a sensitivity.
    engine::EngineeringUnit engineeringUnit() const
    {
        return currentSettings.quantity.sensor.value_or(engine::EngineeringUnit{});
    }
    // The fractional-octave side: its settings, analysis and job.
    OctaveDocument& octave() const
    {
        return *octaveSide;
    }
    // Whether the spectrum shown is the envelope's (its band in the settings shown).
    bool envelopeShown() const;
    // The condition measures of every sample of the recording read, in the sensor's unit (volts without
    // one); none without a reading.
    std::optional<engine::ConditionLevels> conditionLevels() const;
    // The files and sound files the document reads recordings through.
    platform::TextFiles& textFiles() const
    {
        return files;
    }
    platform::SoundFiles& soundFiles() const
    {
        return sounds;
    }
    // The power average the converter figures are taken from (to half the rate), with its sampling
    // frequency; null where there is none.
    const engine::AveragedPower* figuresPower(std::int32_t& lngSampFreq) const;

    // The cursor and the reference cursor, in Hz (none: not placed). A position the spectrum shown does
    // not reach is dropped when the spectrum changes.
    std::optional<double> cursorHz() const
    {
        return dblCursorHz;
    }
    std::optional<double> referenceHz() const
    {
        return dblReferenceHz;
    }
    void setCursors(std::optional<double> dblCursor, std::optional<double> dblReference);
    // The running speed whose orders the frequencies are counted in; none: in Hz.
    const std::optional<engine::RunningSpeed>& orderSpeed() const
    {
        return speed;
    }
    void setOrderSpeed(std::optional<engine::RunningSpeed> newSpeed);

    // Saves the averaged spectrum shown as kestrix-batch --average writes it (the envelope's spectrum
    // while it is shown, as the batch's --envelope writes it); refused with a message in single-block
    // mode, without an averaged spectrum, or over the recording itself. The result says
    // whether the file was written. averageRefusal is the refusal for a name, empty where it is fine.
    bool saveAverage(const std::string& strPath);
    std::string averageRefusal(const std::string& strPath) const;
    // The refusal of a file to save at strPath when that is the recording strRecording itself, else empty.
    std::string overRecordingRefusal(const std::string& strPath, const std::string& strRecording) const;
    bool averageSaveable() const;
    std::string proposedAverageName() const;
    // A name for a picture of the page pageName shows ("SPC", "SGRAM"): beside the recording shown,
    // naming the segment shown; beside the first reference file without a recording; empty without
    // either. strReference is that reference's path.
    QString proposedPictureName(const QString& strPage, const std::string& strReference = {}) const;

signals:
    // The recording, the reading under way or its note changed (the recording line and the progress).
    void recordingChanged();
    void settingsChanged();
    // The spectrum shown was replaced; blnNewView where it is another recording or other units.
    void spectrumChanged(bool blnNewView);
    void spectrogramChanged();
    void cursorsChanged();
    void speedChanged();
    // A reading has ended: shown, refused or cancelled.
    void analysisFinished();

private:
    // A reading the job is making, and what becomes of the document when it is done.
    struct PendingReading
    {
        ViewRecording recording;
        ViewSettings settings;
        std::optional<std::int64_t> lngSegment; // one segment only
        std::shared_ptr<ViewReading> result;
    };

    // view_document.cpp: the state and what is shown of it.
    void refreshShown(bool blnNewView);
    void dropPositionsBeyond();

    // view_document_reading.cpp: recordings opened, the readings and their end.
    bool choosePart(const std::string& strPath, ViewRecording& candidate);
    bool takeFields(ViewRecording& candidate);
    void startReading(PendingReading reading);
    void stopReading();
    void readingFinished();
    void acceptReading(const PendingReading& done);
    void takeWholeReading(const PendingReading& done);
    void refuseReading(const PendingReading& done);

    platform::PlatformUi& ui;
    platform::TextFiles& files;
    platform::SoundFiles& sounds;
    SourceChooser* chooser = nullptr;
    std::function<engine::ControlContents()> fieldSource;
    std::optional<engine::RunSpectra> runSpectra;
    std::optional<ViewRecording> viewRecording;
    std::shared_ptr<const ViewReading> lastReading; // of viewRecording with readSettings
    ViewSettings readSettings;                      // what lastReading was read with
    std::shared_ptr<const ViewReading> segmentReading;
    std::optional<std::int64_t> lngShownSegment;
    ViewSettings wantedSettings;
    ViewSettings currentSettings;
    QString strReadingNote;
    std::optional<PendingReading> pending;
    bool blnSpectrogramDue = false; // a reading's spectrogram is yet to be shown (on the next turn)
    ShownSpectrum shownSpectrum;
    std::optional<double> dblCursorHz;
    std::optional<double> dblReferenceHz;
    std::optional<engine::RunningSpeed> speed;
    AnalysisJob* job = nullptr;
    TransferDocument* transferPart = nullptr;
    OctaveDocument* octaveSide = nullptr;
};

} // namespace kestrix::ui
