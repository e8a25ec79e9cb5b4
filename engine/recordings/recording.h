// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/sample_stream.h"
#include "platform/sound_files.h"
#include "platform/text_files.h"
#include "text_samples.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kestrix::engine {

// Which part of a recording to read.
struct RecordingChoice
{
    std::optional<ColumnChoice> column;     // text: this column of delimited text; none: one-column counts
    std::optional<std::int32_t> lngChannel; // sound: this channel (from 1); none: the first
};

// A recording opened as a sample stream, or the refusal that says why it is not read.
struct RecordingOpening
{
    std::unique_ptr<platform::SampleStream> stream; // null when refused
    bool blnSound = false;                          // read through the sound files, else as text
    std::string strRefusal;
};

// Opens any recording: a file the sound files take is read as sound (a column chosen for it is
// refused), anything else as text (a channel chosen for it is refused), one-column counts unless a
// column is chosen, then delimited text with its delimiter found from the file. Raises KestrixError
// when the file cannot be opened.
RecordingOpening openRecording(platform::TextFiles& files, platform::SoundFiles& sounds, const std::string& strPath,
                               const RecordingChoice& choice);

// Told of the reading as it goes, after every block: the samples read so far (those passed over
// included) and, where the stream knows its length, the share read (0 to 1). Returning false stops the
// analysis: its result is then cancelled.
using ReadProgress = std::function<bool(std::int64_t lngSamples, std::optional<double> dblShare)>;

// Told of the samples taken, in the order read, in counts; the span is valid during the call only.
using SampleHandler = std::function<void(std::span<const double> dblCounts)>;

// Which samples of a recording an analysis takes: the first lngSkipSamples read and passed over, then
// at most lngTakeSamples (0: all the rest).
struct RecordingPart
{
    std::int64_t lngSkipSamples = 0;
    std::int64_t lngTakeSamples = 0;
};

// Reads a stream from where it stands to the end of the part, block by block (a fixed block: memory
// does not grow with the recording), handing the part's samples to onSamples and telling onProgress
// (when given) after every block. Returns the stream's refusal met on the way (empty when none);
// blnCancelled is set when onProgress stopped it. Raises KestrixError when the file cannot be read.
std::string readRecordingPart(platform::SampleStream& stream, const RecordingPart& part, const SampleHandler& onSamples,
                              const ReadProgress& onProgress, bool& blnCancelled);

// A recording opened for an analysis, at the sampling frequency it is analysed with, or the refusal
// that says why it is not read.
struct AnalysedRecording
{
    std::unique_ptr<platform::SampleStream> stream; // null when refused
    std::int32_t lngSampFreq = 0;                   // Hz: the one the recording states, else the one given
    std::string strRefusal;
};

// openRecording, then the sampling frequency: the one a sound file states, else lngSampFreq (Hz). Refuses
// what openRecording refuses and a stated frequency that differs from one the user gave (blnGiven).
// Raises KestrixError when the file cannot be opened.
AnalysedRecording openAnalysedRecording(platform::TextFiles& files, platform::SoundFiles& sounds,
                                        const std::string& strPath, const RecordingChoice& choice,
                                        std::int32_t lngSampFreq, bool blnGiven);

// What was read, for a heading's source field: the file's name, then the stream's description.
std::string recordingSource(platform::TextFiles& files, const std::string& strFileName,
                            const platform::SampleStream& stream);

// A CSV field: the text itself, or quoted (quotes doubled) where it holds a comma, a quote or a line end.
std::string csvField(std::string_view strText);

// The fields as one CSV line (without its line end): csvField of each, comma-separated.
std::string csvLine(std::span<const std::string> strFields);

// Raises KestrixError 75 when writing strOutput would replace the input file strFileName.
void refuseOutputOverInput(platform::TextFiles& files, const std::string& strOutput, const std::string& strFileName);

} // namespace kestrix::engine
