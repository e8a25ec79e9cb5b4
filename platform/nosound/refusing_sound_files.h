// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/sound_files.h"

namespace kestrix::platform {

// The sound-file service of a build without libsndfile (the Windows build made on Debian, which ships
// no libsndfile for Windows): a file that is a sound file by its name's extension or its first bytes is
// refused, saying so, rather than read as text and refused line by line; every other file is text.
class RefusingSoundFiles final : public SoundFiles
{
public:
    SoundOpening openSound(std::string_view strPath, std::int32_t lngChannel) override;
};

} // namespace kestrix::platform
