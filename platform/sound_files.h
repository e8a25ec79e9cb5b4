// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/sample_stream.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace kestrix::platform {

// What opening a file as a sound recording came to.
struct SoundOpening
{
    enum class Outcome {
        Opened,   // stream reads the chosen channel
        NotSound, // the file is not a recording this service knows: read it as text
        Refused,  // a recording that is not read; strRefusal says why (the library's reason where it has one)
    };
    Outcome outcome = Outcome::NotSound;
    std::unique_ptr<SampleStream> stream;
    std::string strRefusal;
};

// Sound files (WAV and what else the implementation reads) as sample streams.
class SoundFiles
{
public:
    virtual ~SoundFiles() = default;

    // Opens strPath and chooses channel lngChannel (from 1). Refuses a channel the file does not have,
    // an encoding that loses information (compressed with loss), a file named as a sound file that
    // cannot be read, and any other file the library reports broken. Raises KestrixError when the file
    // cannot be opened at all (53 not found, 70 permission denied, 75 a folder).
    virtual SoundOpening openSound(std::string_view strPath, std::int32_t lngChannel) = 0;
};

} // namespace kestrix::platform
