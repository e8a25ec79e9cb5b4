// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "averaged_spectrum.h"
#include "condition_levels.h"
#include "envelope_spectrum.h"
#include "measured_quantity.h"
#include "platform/sound_files.h"
#include "platform/text_files.h"
#include "recording.h"
#include "tone_figures.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The averaged analysis of one whole recording: checked settings and a file in, the averaged spectrum
// file beside it out. No dialogue: refusals come back as their message text, failures are raised as
// KestrixError.
namespace kestrix::engine {

struct AverageRequest
{
    AverageSettings settings;
    SpectrumUnits units = SpectrumUnits::Rms;
    std::int32_t lngSampFreq = 1024; // Hz (> 0); a sound file's own frequency takes its place
    bool blnSampFreqGiven = false;   // given by the user: a sound file stating another one is refused
    double dblMaxVolt = 5.0;         // V (> 0): a count c is c * dblMaxVolt / 32767 V
    RecordingChoice choice;
    bool blnMetrics = false;                // also the converter figures, in a file of their own
    std::optional<double> dblFundamentalHz; // the figures' fundamental; the highest line when not given
    // A part of the recording only: the first lngSkipSamples samples read and passed over, then at most
    // lngTakeSamples (0: all the rest) averaged. The whole recording by default.
    std::int64_t lngSkipSamples = 0;
    std::int64_t lngTakeSamples = 0;
    std::string strOutputFolder; // where the files go; empty: beside the recording
    // What the volts stand for and the quantity shown (volts by default): the spectrum, its heading and
    // the band RMS follow it. checkQuantity must accept it.
    MeasuredQuantity quantity;
    // The condition measures of the samples averaged (in the sensor's EU) and the band RMS of the
    // spectrum (in the quantity shown) over bandRms, or defaultBandRms when none is given.
    bool blnLevels = false;
    std::optional<FrequencyBand> bandRms;
    // The averaged spectrum of the envelope in this band as well (envelope_spectrum.h), in the same pass.
    std::optional<FrequencyBand> envelope;
    // Threads of the transforms (analysisThreads: 0 for every core); with more than one the file is
    // also read ahead on a thread of its own. The files are the same to the bit whatever the number.
    std::int32_t lngThreads = 1;
};

// What an analysis tells its caller while it runs (each may be empty); all are called on the
// analysing thread.
struct AverageHooks
{
    SegmentHandler onSegment; // every segment's spectrum as it is transformed
    SegmentDigest digest;     // what is worked out of every segment's spectrum on the threads
    SampleHandler onSamples;  // the samples averaged
    ReadProgress onProgress;
};

struct AverageFileResult
{
    std::string strRefusal;              // why the recording was not analysed, else empty
    platform::RefusalFacts refusalFacts; // the same as facts, for a front end to word
    std::string strWritten;              // the file written
    AveragedPower average;
    std::int32_t lngSampFreq = 0;       // Hz, as analysed
    double dblDeltaFreq = 0.0;          // Hz between lines
    std::vector<double> dblValues;      // the spectrum in the request's units, one per line, as written
    std::string strHeading;             // the file's first line
    std::string strSource;              // what was read, as the heading's source field names it
    std::optional<ToneFigures> figures; // with blnMetrics
    AveragedPower figuresPower;         // with blnMetrics: the average to half the rate they come from
    std::string strMetricsWritten;      // the figures' file, with blnMetrics
    std::string strLevelsWritten;       // the levels file, with blnLevels
    std::string strEnvelopeWritten;     // the envelope spectrum file, with an envelope band
    bool blnCancelled = false;          // stopped by the progress handler: nothing else is filled

    // What the same pass measured besides, as the request asked (recording_measures.h writes them).
    std::optional<ConditionLevels> levels;    // with blnLevels
    std::optional<BandRms> bandRms;           // with blnLevels
    std::optional<EnvelopeSpectrum> envelope; // with an envelope band

    bool analysed() const
    {
        return strRefusal.empty() && !blnCancelled;
    }
};

// The base path of the files an analysis of a recording writes: the folder (strOutputFolder, or the
// recording's own where it is empty), the recording's name without its extension, and the part read
// where it is not the first: "_ch2" for channel 2, "_col3" for column 3, "_col-NAME" for a column chosen
// by name (whose place is known only once the file is read), each character a file name should not hold
// (a separator, a blank, a control character, one of :*?"<>|) made "_". Two parts of one recording
// never share a name; the first, or no choice, keeps the classic base path.
std::string recordingOutputBase(platform::TextFiles& files, const std::string& strFileName,
                                const RecordingChoice& choice, const std::string& strOutputFolder = {});

// The averaged spectrum file of an input: its base path + "_AVG_SPC.csv"; beside it and for the first
// part, or where the request says.
std::string averageOutputName(platform::TextFiles& files, const std::string& strFileName,
                              const RecordingChoice& choice = {});
std::string averageOutputName(platform::TextFiles& files, const std::string& strFileName,
                              const AverageRequest& request);

// The converter figures' file of an input: its base path + "_METRICS.csv".
std::string metricsOutputName(platform::TextFiles& files, const std::string& strFileName,
                              const AverageRequest& request);

// Reads the recording strFileName through a sample stream and averages it (the part the request
// names), without writing anything: the result holds the averaged power, the spectrum in the request's
// units and the heading line its file would have. Refuses, as analyseAverage does, a recording
// openRecording refuses, a sound file whose sampling frequency differs from one given, input refused
// on the way (with its line) and fewer samples than one segment (with the count found); raises
// KestrixError for a file that cannot be read. hooks are told of the work as it goes; a progress
// handler that returns false cancels it. With request.blnMetrics the averaging goes on to half the rate
// for the converter figures, and the spectrum keeps its lines to fs / 2.56. The request's quantity,
// levels and envelope are taken in the same pass (RecordingMeasures): a quantity checkQuantity refuses,
// a band RMS's band without a line, an envelope band designEnvelopeFilter refuses (before reading) and
// an envelope too short for one segment refuse the recording with their English texts.
AverageFileResult averageRecording(const AverageRequest& request, const std::string& strFileName,
                                   platform::TextFiles& files, platform::SoundFiles& sounds, double dblPI,
                                   const AverageHooks& hooks = {});

// Writes an analysed result's spectrum file at strPath: its heading line, then one line
// "frequency,value" CR LF per line from 0 Hz, numbers as the classic spectrum file writes them, the
// file replaced at once. Raises KestrixError for a file that cannot be written and a value that is not
// finite (6, before anything is written).
void writeAverageSpectrum(platform::TextFiles& files, const std::string& strPath, const AverageFileResult& result);

// The same for any averaged spectrum: the heading line, then the values, line k at k * dblDeltaFreq Hz.
void writeSpectrumFile(platform::TextFiles& files, const std::string& strPath, const std::string& strHeading,
                       double dblDeltaFreq, std::span<const double> dblValues);

// Reads the whole recording strFileName through a sample stream, averages it and writes
// averageOutputName (where the request says): the heading line, then one line "frequency,value" CR LF per line from
// 0 Hz to fs / 2.56, numbers as the classic spectrum file writes them, the file replaced at once.
// Refuses, before anything is written: a recording openRecording refuses, a sound file whose sampling
// frequency differs from one given, input it refuses on the way (with its line), and fewer samples
// than one segment (with the count found). Raises KestrixError for a file that cannot be read or
// written, a value that is not finite (6), and an output that would replace the input (75).
// With request.blnMetrics the averaging goes on to half the rate, the converter figures are computed from
// it, and metricsOutputName is written after the spectrum file: a heading "name,value,unit", one line a
// figure, then the settings, each as "name,value,unit". onSegment, when given, is told of every
// segment's spectrum as it is transformed. With request.blnLevels the levels file (levelsOutputName)
// and with an envelope band the envelope spectrum file (envelopeOutputName) are written too; all the
// files of one analysis are put in place together. The result is averageRecording's, with the files
// written.
AverageFileResult analyseAverage(const AverageRequest& request, const std::string& strFileName,
                                 platform::TextFiles& files, platform::SoundFiles& sounds, double dblPI,
                                 const SegmentHandler& onSegment = {});

// The heading line: the column names with their units (unitsHeading of the request's units and
// quantity), then the settings as name=value fields (settingsFields), comma-separated, each quoted (CSV
// style) where it holds a comma or a quote.
std::string averageHeading(const AverageRequest& request, const AveragedPower& average, std::int32_t lngSampFreq,
                           const std::string& strSource);

// The settings of an analysis as name=value fields: window, N, overlap, segments, averaging, detrend,
// fs, range, then quantityFields (sensitivity, quantity, highpass; none in volts), samples, source.
std::vector<std::string> settingsFields(const AverageRequest& request, const AveragedPower& average,
                                        std::int32_t lngSampFreq, const std::string& strSource);

// The pieces every file about a recording is made of, shared by the analyses.

// The settings of the segments as name=value fields, unquoted: window, N, overlap, segments, averaging,
// detrend, fs and range.
std::vector<std::string> segmentSettingsFields(const AverageSettings& settings, std::int64_t lngSegments,
                                               std::int32_t lngSampFreq, double dblMaxVolt);

// Hz between lines as the classic run computes it (fs / 2.56 over N / 2.56), so that every file gives
// the same frequencies.
double averagedLineSpacing(std::int32_t lngSampFreq, std::int32_t lngNumSamp);

// The refusal of a recording shorter than one segment.
std::string tooFewSamplesRefusal(std::int64_t lngSamples, std::int32_t lngNumSamp);

} // namespace kestrix::engine
