// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/sound_files.h"

#include <cstdint>
#include <span>
#include <string_view>

namespace kestrix::platform {

// Sound files through libsndfile: WAV, FLAC, AIFF and the other containers it reads, with integer PCM
// of 8 to 32 bits, floating point, or a lossless codec. Samples map to 16-bit counts by their full
// scale: a 16-bit sample is its own count, a 24-bit one / 256, an 8-bit one x 256, a float x 32768.
// A file the library does not recognise is not a sound file unless its name ends in an extension the
// library names (so a broken "x.wav" is refused with the library's reason, not read as text).
// A folder, a FIFO or a device is refused at once (75), as the text reader refuses it; UTF-16 text and
// MPEG audio never reach the library (its MPEG decoder writes on standard error by itself); a rate the
// header cannot state sensibly (0, NaN, infinity) is refused; a sample that is not a finite number ends
// the stream with a refusal naming it.
class SndfileSoundFiles final : public SoundFiles
{
public:
    SoundOpening openSound(std::string_view strPath, std::int32_t lngChannel) override;
};

// The same for the bytes of a file held in memory (strName gives its extension and messages): the path
// every sound file takes after its bytes are read, for the fuzz harness.
SoundOpening openSoundBytes(std::span<const std::uint8_t> bytData, std::string_view strName, std::int32_t lngChannel);

} // namespace kestrix::platform
