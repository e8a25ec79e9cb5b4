// SPDX-License-Identifier: GPL-3.0-or-later
#include "view_analysis.h"

#include "engine/recordings/recording_view.h"
#include "engine/run/analysis_parameters.h"
#include "engine/run/global_define.h"
#include "platform/failure.h"

#include <algorithm>
#include <new>

namespace kestrix::ui {

namespace {

// Runs an averaged reading with the job's progress and cancel; failures become the reading's text.
ViewReading runReading(const ViewRecording& recording, const engine::AverageRequest& request,
                       platform::TextFiles& files, platform::SoundFiles& sounds, JobProgress& progress,
                       engine::AverageHooks hooks)
{
    ViewReading reading;
    hooks.onProgress = [&](std::int64_t, std::optional<double> dblShare) {
        return progress.report(dblShare.value_or(-1.0));
    };
    reading.strFailure = caughtFailure([&] {
        reading.average =
            engine::averageRecording(request, recording.strPath, files, sounds, engine::computePI(), hooks);
        reading.blnCancelled = reading.average.blnCancelled;
        reading.refusal = reading.average.refusalFacts;
    });
    if (reading.strFailure.empty()) {
        reading.strFailure = reading.average.strRefusal;
    }
    return reading;
}

// The first block as the converter figures take it: one segment without a window, to half the rate.
engine::AveragedPower firstBlockPower(std::span<const double> dblBlock, std::int32_t lngNumSamp)
{
    engine::AverageSettings settings;
    settings.lngNumSamp = lngNumSamp;
    settings.window = engine::WindowKind::Rect;
    settings.dblOverlap = 0.0;
    settings.blnToHalfRate = true;
    engine::SpectrumAverager averager(settings, engine::computePI());
    averager.addSamples(dblBlock);
    return averager.finish();
}

} // namespace

std::string caughtFailure(const std::function<void()>& work)
{
    try {
        work();
    } catch (const KestrixError& failure) {
        return std::to_string(failure.number()) + ": " + failure.description();
    } catch (const std::bad_alloc&) {
        return std::string(standardDescription(err::lngOutOfMemory));
    } catch (const std::exception& failure) {
        return failure.what();
    }
    return {};
}

bool sameRecording(const ViewRecording& a, const ViewRecording& b)
{
    const auto sameColumn = [](const std::optional<engine::ColumnChoice>& x,
                               const std::optional<engine::ColumnChoice>& y) {
        return x.has_value() == y.has_value() && (!x || (x->lngNumber == y->lngNumber && x->strName == y->strName));
    };
    return a.strPath == b.strPath && sameColumn(a.choice.column, b.choice.column) &&
           a.choice.lngChannel == b.choice.lngChannel && a.lngSampFreq == b.lngSampFreq &&
           a.lngNumSamp == b.lngNumSamp && a.dblMaxVolt == b.dblMaxVolt;
}

engine::AverageRequest averageRequest(const ViewRecording& recording, const ViewSettings& settings)
{
    engine::AverageRequest request;
    request.settings.lngNumSamp = recording.lngNumSamp;
    request.settings.window = settings.window;
    request.settings.dblOverlap = settings.dblOverlap;
    request.settings.averaging =
        settings.averaging == ViewAveraging::Peak ? engine::Averaging::Peak : engine::Averaging::Mean;
    request.settings.detrend = settings.detrend;
    request.units = settings.units;
    request.lngSampFreq = recording.lngSampFreq;
    request.dblMaxVolt = recording.dblMaxVolt;
    request.choice = recording.choice;
    request.blnMetrics = settings.blnFigures;
    request.quantity = settings.quantity;
    request.envelope = settings.envelope;
    request.lngThreads = 0; // every core: the view waits for nothing else
    return request;
}

ViewReading readRecording(const ViewRecording& recording, const ViewSettings& settings, platform::TextFiles& files,
                          platform::SoundFiles& sounds, JobProgress& progress)
{
    const auto lngBlock = static_cast<std::size_t>(recording.lngNumSamp);
    const engine::AverageRequest request = averageRequest(recording, settings);
    const double dblVoltsPerCount = recording.dblMaxVolt / engine::dblFullScaleCount;
    std::shared_ptr<engine::Spectrogram> spectrogram;
    std::vector<double> dblFirst;
    engine::AverageHooks hooks;
    try {
        spectrogram = std::make_shared<engine::Spectrogram>(engine::spectrogramLayout(
            request.settings, recording.lngSampFreq, dblVoltsPerCount, recording.lngSamplesKnown));
        dblFirst.reserve(lngBlock);
    } catch (const std::bad_alloc&) {
        ViewReading reading;
        reading.strFailure = std::string(standardDescription(err::lngOutOfMemory));
        return reading;
    }
    hooks.digest = spectrogram->segmentDigest();
    engine::MomentAccumulator moments;
    hooks.onSamples = [&](std::span<const double> dblCounts) {
        const std::size_t lngTake = std::min(dblCounts.size(), lngBlock - dblFirst.size());
        dblFirst.insert(dblFirst.end(), dblCounts.begin(), dblCounts.begin() + static_cast<std::ptrdiff_t>(lngTake));
        moments.addSamples(dblCounts);
    };
    ViewReading reading = runReading(recording, request, files, sounds, progress, hooks);
    moments.settle(); // nothing held is copied, and the window's thread only reads
    reading.moments = moments;
    if (!reading.strFailure.empty() || reading.blnCancelled) {
        return reading;
    }
    // Worked out here, where reading every cell keeps no window waiting.
    reading.levels = engine::suggestedLevelRange(*spectrogram);
    reading.spectrogram = std::move(spectrogram);
    if (dblFirst.size() == lngBlock) {
        reading.dblFirstBlock = engine::classicBlockVolts(dblFirst, engine::computePI(), dblVoltsPerCount);
        if (settings.blnFigures) {
            reading.firstBlockPower = firstBlockPower(dblFirst, recording.lngNumSamp);
        }
    }
    return reading;
}

ViewReading readSegment(const ViewRecording& recording, const ViewSettings& settings, std::int64_t lngSegment,
                        platform::TextFiles& files, platform::SoundFiles& sounds, JobProgress& progress)
{
    engine::AverageRequest request = averageRequest(recording, settings);
    request.settings.averaging = engine::Averaging::Mean;
    request.envelope.reset();
    request.lngSkipSamples = lngSegment * engine::segmentStep(recording.lngNumSamp, settings.dblOverlap);
    request.lngTakeSamples = recording.lngNumSamp;
    return runReading(recording, request, files, sounds, progress, {});
}

} // namespace kestrix::ui
