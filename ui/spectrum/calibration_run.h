// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/recordings/recording_measures.h"
#include "platform/sound_files.h"
#include "platform/text_files.h"
#include "view_analysis.h"

#include <QObject>

#include <memory>
#include <string>

namespace kestrix::ui {

class AnalysisJob;

// A calibration from a recording the view holds, found off the window's thread: the recording analysed
// as the engine's calibration analyses it (flat top, to half the rate, in volts, with the view's point
// count and choice of column or channel), its tone measured against a calibrator's level.
class CalibrationRun final : public QObject
{
    Q_OBJECT

public:
    CalibrationRun(platform::TextFiles& files, platform::SoundFiles& sounds, QObject* parent = nullptr);
    ~CalibrationRun() override;
    CalibrationRun(const CalibrationRun&) = delete;
    CalibrationRun& operator=(const CalibrationRun&) = delete;

    // Starts; one still running is stopped first (its finished() never comes).
    void start(const ViewRecording& recording, const ViewSettings& settings, const engine::UnitValue& level);
    bool running() const;

    // What the last one that finished found: the engine's refusal of the recording (empty when it was
    // analysed; the calibration may still have found no tone), or a failure to read it.
    struct Outcome
    {
        engine::RecordingCalibration calibration;
        std::string strFailure; // a file that could not be read, with its number
    };
    const Outcome& outcome() const
    {
        return *lastOutcome;
    }

signals:
    void finished();

private:
    platform::TextFiles& files;
    platform::SoundFiles& sounds;
    std::shared_ptr<Outcome> pendingOutcome;
    std::shared_ptr<Outcome> lastOutcome;
    AnalysisJob* job = nullptr;
};

} // namespace kestrix::ui
