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

// Opens one signal of a recording, chosen as a column of text is: a sound file's channel by its number
// (from 1; a name is refused, as are a channel the file does not have and whatever openRecording
// refuses of a sound file), else the column of delimited text by number or heading, its delimiter found
// from the file (a column the text lacks is refused by the stream as it reads). Raises KestrixError
// when the file cannot be opened.
RecordingOpening openSignal(platform::TextFiles& files, platform::SoundFiles& sounds, const std::string& strPath,
                            const ColumnChoice& which);

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

// The sampling frequency to analyse a stream at, put in lngSampFreq: the one the stream states (a
// sound file's), else lngGiven (Hz). The refusal text when the stream states one that differs from
// one the user gave (blnGiven), else empty.
std::string sampFreqOfStream(const platform::SampleStream& stream, std::int32_t lngGiven, bool blnGiven,
                             std::int32_t& lngSampFreq);

// What a heading's source field names: the file's name without its folder, then the stream's
// description ("rec.csv column 3 (accel)").
std::string sourceName(platform::TextFiles& files, const std::string& strFileName, const std::string& strDescription);

// Raises KestrixError 75 when writing strOutput would replace the input file strFileName.
void refuseOutputOverInput(platform::TextFiles& files, const std::string& strOutput, const std::string& strFileName);

} // namespace kestrix::engine
