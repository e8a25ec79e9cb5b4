// SPDX-License-Identifier: GPL-3.0-or-later
#include "octave_reading.h"

#include "engine/run/global_define.h"
#include "platform/failure.h"

#include <new>

namespace kestrix::ui {

bool sameSamples(const ViewRecording& a, const ViewRecording& b)
{
    ViewRecording sameN = b;
    sameN.lngNumSamp = a.lngNumSamp;
    return sameRecording(a, sameN);
}

bool sameUnit(const engine::EngineeringUnit& a, const engine::EngineeringUnit& b)
{
    return a.strUnit == b.strUnit && a.dblVoltsPerUnit == b.dblVoltsPerUnit && a.dblDbReference == b.dblDbReference &&
           a.strDbReference == b.strDbReference;
}

engine::OctaveRequest octaveRequest(const ViewRecording& recording, const OctaveViewSettings& settings,
                                    const engine::EngineeringUnit& unit)
{
    engine::OctaveRequest request;
    request.settings.lngBandsPerOctave = settings.lngBandsPerOctave;
    request.settings.weighting = settings.weighting;
    request.settings.timeWeighting = settings.timeWeighting;
    request.unit = unit;
    request.lngSampFreq = recording.lngSampFreq;
    request.dblMaxVolt = recording.dblMaxVolt;
    request.choice = recording.choice;
    request.lngThreads = 0; // every core: the view waits for nothing else
    return request;
}

double traceInterval(engine::TimeWeighting timeWeighting)
{
    constexpr double dblPerTimeConstant = 4.0;
    return engine::timeConstant(timeWeighting) / dblPerTimeConstant;
}

OctaveReading readOctaves(const ViewRecording& recording, const OctaveViewSettings& settings,
                          const engine::EngineeringUnit& unit, platform::TextFiles& files, platform::SoundFiles& sounds,
                          JobProgress& progress)
{
    OctaveReading reading;
    reading.recording = recording;
    reading.settings = settings;
    reading.unit = unit;
    engine::OctaveHooks hooks;
    hooks.onProgress = [&](std::int64_t, std::optional<double> dblShare) {
        return progress.report(dblShare.value_or(-1.0));
    };
    hooks.onTrace = [&](double dblSeconds, double dblLevelDb) { reading.trace.add(dblSeconds, dblLevelDb); };
    hooks.dblTraceSeconds = traceInterval(settings.timeWeighting);
    try {
        reading.result =
            engine::octaveRecording(octaveRequest(recording, settings, unit), recording.strPath, files, sounds, hooks);
    } catch (const KestrixError& failure) {
        reading.strFailure = std::to_string(failure.number()) + ": " + failure.description();
    } catch (const std::bad_alloc&) {
        reading.strFailure = std::string(standardDescription(err::lngOutOfMemory));
    } catch (const std::exception& failure) {
        reading.strFailure = failure.what();
    }
    return reading;
}

} // namespace kestrix::ui
