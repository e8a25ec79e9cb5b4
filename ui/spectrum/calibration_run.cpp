// SPDX-License-Identifier: GPL-3.0-or-later
#include "calibration_run.h"

#include "analysis_job.h"
#include "engine/run/global_define.h"
#include "platform/failure.h"

namespace kestrix::ui {

CalibrationRun::CalibrationRun(platform::TextFiles& files, platform::SoundFiles& sounds, QObject* parent)
    : QObject(parent), files(files), sounds(sounds), lastOutcome(std::make_shared<Outcome>()),
      job(new AnalysisJob(this))
{
    connect(job, &AnalysisJob::finished, this, [this] {
        lastOutcome = pendingOutcome;
        emit finished();
    });
}

// The work reads the files it was given: stopped and waited for before they may go.
CalibrationRun::~CalibrationRun()
{
    delete job;
}

void CalibrationRun::start(const ViewRecording& recording, const ViewSettings& settings, const engine::UnitValue& level)
{
    auto outcome = std::make_shared<Outcome>();
    pendingOutcome = outcome;
    const engine::AverageRequest request = averageRequest(recording, settings);
    platform::TextFiles& readFiles = files;
    platform::SoundFiles& readSounds = sounds;
    job->start([outcome, request, level, strPath = recording.strPath, &readFiles, &readSounds](JobProgress& progress) {
        engine::AverageHooks hooks;
        hooks.onProgress = [&progress](std::int64_t, std::optional<double> dblShare) {
            return progress.report(dblShare.value_or(-1.0));
        };
        try {
            outcome->calibration =
                engine::calibrateRecording(request, level, strPath, readFiles, readSounds, engine::computePI(), hooks);
        } catch (const KestrixError& failure) {
            outcome->strFailure = std::to_string(failure.number()) + ": " + failure.description();
        } catch (const std::exception& failure) {
            outcome->strFailure = failure.what();
        }
    });
}

bool CalibrationRun::running() const
{
    return job->running();
}

} // namespace kestrix::ui
