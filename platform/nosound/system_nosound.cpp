// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/system_sound_files.h"
#include "refusing_sound_files.h"

namespace kestrix::platform {

std::unique_ptr<SoundFiles> makeSystemSoundFiles()
{
    return std::make_unique<RefusingSoundFiles>();
}

} // namespace kestrix::platform
