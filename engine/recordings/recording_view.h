// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/sound_files.h"
#include "platform/text_files.h"
#include "recording.h"
#include "text_samples.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// What the spectrum view needs of a recording beyond the averaged analysis: a first look at a file, to
// offer its columns or channels, and the classic run's block of its first N samples.
namespace kestrix::engine {

// A first look at a recording, read from at most its first lngDetectLines non-blank lines (text) or
// its header (sound).
struct RecordingInfo
{
    bool blnSound = false;
    std::string strRefusal;                  // a sound file that is not read, with the reason
    std::int32_t lngChannels = 1;            // sound: its channels
    std::optional<std::int32_t> lngSampFreq; // sound: the frequency it states, Hz
    // Text: the fields of its first line that holds a number (1: one column), and the fields of the
    // last heading line above it when it has as many (else none). A one-column text with a heading
    // line still counts as one column with that heading.
    std::int32_t lngColumns = 1;
    std::vector<std::string> strHeadings;
    bool blnHeadingLines = false; // text: lines before the first number (read as delimited text)
    // Text: a field of its first line of data that reads as a number written with a decimal comma, where
    // a tab or a semicolon separates its fields (it would otherwise be taken for comma-separated
    // integers); empty where there is none.
    std::string strDecimalComma;
    // Text: whether each field of its first line of data holds a number.
    std::vector<bool> blnNumbers;
};

// Looks at strPath as openRecording would open it: a sound file the sound files take (or refuse), else
// text, its delimiter found as detectDelimiter finds it. Raises KestrixError when the file cannot be
// opened.
RecordingInfo inspectRecording(platform::TextFiles& files, platform::SoundFiles& sounds, const std::string& strPath);

// The column (from 1) to offer first for a text as inspected: the first one holding a number after a
// first column of times (its heading names a time: "time (s)", "t", "sec", "時間"), else the first one
// holding a number; 1 when none does.
std::int32_t suggestedColumn(const RecordingInfo& info);

// The choice that reads column lngColumn (from 1) of a text as inspected: one-column counts for the only
// column of a text without headings (as the classic run and the batch read it), else that column of
// delimited text.
RecordingChoice textChoice(const RecordingInfo& info, std::int32_t lngColumn);

// The spectrum the classic run writes of lngNumSamp = dblCounts.size() samples (a power of two from 4):
// the engine's FFT of the block as it stands (no window), the amplitude 4 |X| / N of each of the
// spectrumLineCount(N) lines times dblPosScale (V per count), bit for bit the run's _SPC.csv values.
std::vector<double> classicBlockVolts(std::span<const double> dblCounts, double dblPI, double dblPosScale);

} // namespace kestrix::engine
