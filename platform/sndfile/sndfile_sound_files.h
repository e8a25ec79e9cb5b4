// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/sound_files.h"

namespace kestrix::platform {

// Sound files through libsndfile: WAV, FLAC, AIFF and the other containers it reads, with integer PCM
// of 8 to 32 bits, floating point, or a lossless codec. Samples map to 16-bit counts by their full
// scale: a 16-bit sample is its own count, a 24-bit one / 256, an 8-bit one x 256, a float x 32768.
// A file the library does not recognise is not a sound file unless its name ends in an extension the
// library names (so a broken "x.wav" is refused with the library's reason, not read as text).
class SndfileSoundFiles final : public SoundFiles
{
public:
    SoundOpening openSound(std::string_view strPath, std::int32_t lngChannel) override;
};

} // namespace kestrix::platform
