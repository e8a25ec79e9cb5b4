// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/recordings/average_analysis.h"
#include "file_runner.h"
#include "platform/sound_files.h"
#include "platform/text_files.h"

#include <string>

namespace kestrix::cli {

// The averaged analysis of each FILE (text or a sound file) read whole: its averaged spectrum file and,
// with the converter figures, their file, each path printed once written.
class AverageAnalysis final : public FileAnalysis
{
public:
    // request as the entries' checks filled it.
    AverageAnalysis(const engine::AverageRequest& request, platform::TextFiles& files, platform::SoundFiles& sounds);

    std::vector<std::string> outputsOf(const std::string& strFile) const override;
    int analyse(const FileJob& job, std::ostream& strOut, std::ostream& strErr) const override;

private:
    engine::AverageRequest request;
    double dblPI;
    platform::TextFiles& files;
    platform::SoundFiles& sounds;
};

// The windows' figures as the analysis computes them, for the help text.
std::string windowTable();

} // namespace kestrix::cli
