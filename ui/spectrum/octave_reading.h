// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis_job.h"
#include "engine/recordings/octave_analysis.h"
#include "engine/view/octave_view.h"
#include "view_analysis.h"

#include <cstdint>
#include <string>

// What the octave page analyses and how: its settings, and the work that analyses the document's
// recording in fractional-octave bands off the window's thread.
namespace kestrix::ui {

struct OctaveViewSettings
{
    std::int32_t lngBandsPerOctave = 3; // 1, 3, 6, 12 or 24
    engine::FrequencyWeighting weighting = engine::FrequencyWeighting::Z;
    engine::TimeWeighting timeWeighting = engine::TimeWeighting::Fast;

    bool operator==(const OctaveViewSettings&) const = default;
};

// One octave analysis of a recording, with what it was made of.
struct OctaveReading
{
    ViewRecording recording;
    OctaveViewSettings settings;
    engine::EngineeringUnit unit;
    engine::OctaveFileResult result; // the bands and overall levels in the EU, or why there are none
    engine::LevelTrace trace;        // the time-weighted level (dB re the EU's reference) over the recording
    std::string strFailure;          // a file that could not be read, else empty
};

// Whether two recordings give the same samples at the same rate and scale (the point count N, which an
// octave analysis does not use, may differ).
bool sameSamples(const ViewRecording& a, const ViewRecording& b);
bool sameUnit(const engine::EngineeringUnit& a, const engine::EngineeringUnit& b);

// The engine's request for these settings: the bands from the engine's default lower limit (20 Hz) up.
engine::OctaveRequest octaveRequest(const ViewRecording& recording, const OctaveViewSettings& settings,
                                    const engine::EngineeringUnit& unit);

// Seconds between two levels of the trace: a quarter of the time weighting's time constant, so the
// trace follows the rise and fall of the weighted level closely (31.25 ms for F, 250 ms for S).
double traceInterval(engine::TimeWeighting timeWeighting);

// Analyses the whole recording with these settings: called on the job's thread, reporting the share
// read. Never raises: a refusal comes back in the result, a failure as strFailure.
OctaveReading readOctaves(const ViewRecording& recording, const OctaveViewSettings& settings,
                          const engine::EngineeringUnit& unit, platform::TextFiles& files, platform::SoundFiles& sounds,
                          JobProgress& progress);

} // namespace kestrix::ui
