// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "octave_reading.h"
#include "platform/platform_ui.h"
#include "platform/sound_files.h"
#include "platform/text_files.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>
#include <string>

namespace kestrix::ui {

class AnalysisJob;
class ViewDocument;

// The document's fractional-octave side: the octave settings, the last octave analysis of the
// document's recording (bands, overall levels and level trace), the band the cursor stands on (in Hz),
// and the job that analyses off the window's thread. While its page is shown, the analysis follows the
// document's recording, its engineering unit and the octave settings: a change starts a new analysis,
// whose result replaces the last in one step. A recording that is no longer the document's takes its
// analysis with it. A refusal or a cancel keeps the analysis shown (its settings come back) and leaves a
// note saying why; it is not tried again until the page is shown again or the settings change.
class OctaveDocument final : public QObject
{
    Q_OBJECT

public:
    OctaveDocument(ViewDocument& document, platform::PlatformUi& ui, platform::TextFiles& files,
                   platform::SoundFiles& sounds, QObject* parent = nullptr);
    ~OctaveDocument() override;
    OctaveDocument(const OctaveDocument&) = delete;
    OctaveDocument& operator=(const OctaveDocument&) = delete;

    // The settings asked for (an analysis may still be making them true).
    const OctaveViewSettings& settings() const
    {
        return wantedSettings;
    }
    void setSettings(const OctaveViewSettings& settings);
    // Whether the octave page is shown: only then does the analysis follow the recording.
    void setShown(bool blnShown);

    // The last octave analysis of the document's recording that went through; null without one.
    const OctaveReading* reading() const
    {
        return shownReading.get();
    }
    // Why the analysis last asked for gave nothing (in the view's language), else empty.
    const QString& note() const
    {
        return strNote;
    }
    bool analysing() const
    {
        return pending != nullptr;
    }
    // The share done (negative: not known).
    double progress() const;
    void cancelAnalysis();

    // The frequency the band cursor stands at (Hz; none: no cursor). A frequency outside the bands of a
    // new analysis is dropped.
    std::optional<double> bandHz() const
    {
        return dblBandHz;
    }
    void setBandHz(std::optional<double> dblHz);

    // The octave-band table saved as kestrix-batch writes it: BASE_OCT.csv beside the recording is
    // proposed; the recording itself is refused. tableRefusal is the refusal for a name, empty where it is
    // fine; saveTable shows a refusal or a failure as a message and says whether the file was written.
    std::string proposedTableName() const;
    std::string tableRefusal(const std::string& strPath) const;
    bool saveTable(const std::string& strPath);

signals:
    void settingsChanged();
    // The analysis shown was replaced (or dropped).
    void readingChanged();
    // An analysis started or ended, or the note changed.
    void stateChanged();
    void bandChanged();
    // An analysis has ended: shown, refused or cancelled.
    void analysisFinished();

private:
    // What an analysis is made of.
    struct Source
    {
        ViewRecording recording;
        OctaveViewSettings settings;
        engine::EngineeringUnit unit;

        bool same(const Source& other) const;
    };
    struct Pending
    {
        Source source;
        std::shared_ptr<OctaveReading> result;
    };

    std::optional<Source> wantedSource() const;
    void keepUp(bool blnAsked);
    void start(const Source& source);
    void stop();
    void refuse(const Source& source, const QString& strWhy);
    void documentRecordingChanged();
    void jobFinished();
    void accept(std::shared_ptr<const OctaveReading> result);

    ViewDocument& document;
    platform::PlatformUi& ui;
    platform::TextFiles& files;
    platform::SoundFiles& sounds;
    AnalysisJob* job = nullptr;
    OctaveViewSettings wantedSettings;
    bool blnShown = false;
    std::shared_ptr<const OctaveReading> shownReading;
    std::unique_ptr<Pending> pending;
    std::optional<Source> failedSource; // the last analysis refused or cancelled, not tried again unasked
    QString strNote;
    std::optional<double> dblBandHz;
};

} // namespace kestrix::ui
