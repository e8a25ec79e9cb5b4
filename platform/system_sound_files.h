// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/sound_files.h"

#include <memory>

namespace kestrix::platform {

// The sound-file service of this build: libsndfile's where the build has it (sndfile/), otherwise one
// that refuses sound files plainly (nosound/). Chosen by the build, not at run time.
std::unique_ptr<SoundFiles> makeSystemSoundFiles();

} // namespace kestrix::platform
