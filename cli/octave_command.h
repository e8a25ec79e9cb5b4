// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/recordings/octave_analysis.h"
#include "file_runner.h"
#include "platform/sound_files.h"
#include "platform/text_files.h"

#include <string>

namespace kestrix::cli {

// The fractional-octave analysis of each FILE (text or a sound file) read whole: its octave-band file
// beside it, the path printed once written.
class OctaveAnalysis final : public FileAnalysis
{
public:
    // request as the entries' checks filled it.
    OctaveAnalysis(const engine::OctaveRequest& request, platform::TextFiles& files, platform::SoundFiles& sounds);

    std::vector<std::string> outputsOf(const std::string& strFile) const override;
    int analyse(const FileJob& job, std::ostream& strOut, std::ostream& strErr) const override;

private:
    engine::OctaveRequest request;
    platform::TextFiles& files;
    platform::SoundFiles& sounds;
};

} // namespace kestrix::cli
