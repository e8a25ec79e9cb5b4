// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis_job.h"
#include "engine/recordings/average_analysis.h"
#include "engine/recordings/averaged_spectrum.h"
#include "engine/recordings/condition_levels.h"
#include "engine/recordings/recording.h"
#include "engine/recordings/recording_view.h"
#include "engine/recordings/spectrogram.h"
#include "engine/view/spectrogram_image.h"
#include "platform/sound_files.h"
#include "platform/text_files.h"
#include "source_chooser.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// What the spectrum view analyses and how: the recording (the run's, or one opened in the view), the
// settings of its analysis group, and the work that reads the recording off the window's thread.
namespace kestrix::ui {

enum class ViewAveraging {
    SingleBlock, // the first N samples as the run writes them: no window, one block
    Mean,        // the averaged analysis, power average
    Peak,        // the averaged analysis, peak hold
};

struct ViewSettings
{
    engine::WindowKind window = engine::WindowKind::Hann;
    ViewAveraging averaging = ViewAveraging::SingleBlock;
    double dblOverlap = 50.0; // percent
    engine::Detrend detrend = engine::Detrend::None;
    engine::SpectrumUnits units = engine::SpectrumUnits::Pp;
    bool blnFigures = false; // averaged to half the rate as well, for the converter figures
    // What the volts stand for (a sensor's sensitivity, velocity or displacement, the dB reference):
    // converted from the reading's powers, never read again for.
    engine::MeasuredQuantity quantity;
    // The envelope's spectrum in this band is shown instead of the spectrum (read in the same pass).
    std::optional<engine::FrequencyBand> envelope;

    bool operator==(const ViewSettings&) const = default;
    // Whether a reading made with other's settings serves these (they may differ in units, quantity and
    // single block; one made to half the rate, or with an envelope, serves one that does not need it).
    bool sameReading(const ViewSettings& other) const
    {
        return window == other.window && dblOverlap == other.dblOverlap && detrend == other.detrend &&
               (averaging == ViewAveraging::Peak) == (other.averaging == ViewAveraging::Peak) &&
               (!blnFigures || other.blnFigures) && (!envelope || envelope == other.envelope);
    }
};

// Whether a spectrum shown with a's settings holds other values than with b's, even from one reading:
// other units, another quantity, or the envelope instead of the spectrum.
inline bool otherValues(const ViewSettings& a, const ViewSettings& b)
{
    return a.units != b.units || a.quantity != b.quantity || a.envelope != b.envelope;
}

// A recording the view analyses: read again from its file for every analysis, so memory stays that of
// the stream whatever its length.
struct ViewRecording
{
    std::string strPath;
    engine::RecordingChoice choice;
    std::int32_t lngSampFreq = 1024;  // Hz, for text; a sound file's own replaces it when read
    std::int32_t lngNumSamp = 1024;   // segment length N
    double dblMaxVolt = 5.0;          // V, the converter's input range
    std::int64_t lngSamplesKnown = 0; // its length from an earlier reading, else 0 (lays out the spectrogram)
    std::string strHeading;           // the heading of the column chosen, for the user; empty without one
    // Its columns or channels as seen when it was opened in the view; none for the run's recording.
    std::optional<engine::RecordingInfo> parts;
    std::optional<SignalPair> pair; // the two-channel page's input and output chosen as it was opened
};

// Whether two recordings are the same part of the same file read the same way.
bool sameRecording(const ViewRecording& a, const ViewRecording& b);

// The request of the averaged analysis for these settings (mean in single-block mode, which reads the
// same segments).
engine::AverageRequest averageRequest(const ViewRecording& recording, const ViewSettings& settings);

// Runs work on a job's thread, where nothing may escape: what it raises (a failure, memory run out,
// any other exception) comes back as the text returned, empty when it returned.
std::string caughtFailure(const std::function<void()>& work);

// One reading of a recording, for the whole view: its average, its first block, its spectrogram, and
// the reason it stopped early.
struct ViewReading
{
    engine::AverageFileResult average;     // the averaged analysis in the settings' units
    std::vector<double> dblFirstBlock;     // the first N samples' spectrum as the run writes it (V)
    engine::AveragedPower firstBlockPower; // with blnFigures: that block alone, no window, to half the rate
    std::shared_ptr<const engine::Spectrogram> spectrogram; // of every segment (a whole reading only)
    engine::LevelRange levels;                              // the range suggested for its colours
    engine::MomentAccumulator moments;                      // of every sample averaged (a whole reading only)
    std::string strFailure;                                 // why nothing was read (a refusal or a failure), else empty
    platform::RefusalFacts refusal;                         // a refusal's facts (None for a failure)
    bool blnCancelled = false;
};

// Reads the whole recording with these settings, its spectrogram too (laid out for the sampling
// frequency the recording holds, within the model's memory cap): called on the job's thread, reporting
// the share read. Never raises: a refusal or a failure comes back as strFailure.
ViewReading readRecording(const ViewRecording& recording, const ViewSettings& settings, platform::TextFiles& files,
                          platform::SoundFiles& sounds, JobProgress& progress);

// Reads segment lngSegment alone (counted as the averager counts them) with these settings, the same
// way: the result's average holds that one segment.
ViewReading readSegment(const ViewRecording& recording, const ViewSettings& settings, std::int64_t lngSegment,
                        platform::TextFiles& files, platform::SoundFiles& sounds, JobProgress& progress);

} // namespace kestrix::ui
