// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/sample_stream.h"
#include "platform/sound_files.h"
#include "platform/text_files.h"
#include "text_samples.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

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

} // namespace kestrix::engine
