// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/recordings/transfer_analysis.h"
#include "file_runner.h"
#include "platform/sound_files.h"
#include "platform/text_files.h"

#include <string>

namespace kestrix::cli {

// The frequency response between two signals of each FILE (two columns of text, two channels of a
// sound file): its NAME_FRF.csv, the path printed once written; a coherence refused (one segment) is
// said as a warning.
class TransferAnalysis final : public FileAnalysis
{
public:
    // request as the entries' checks filled it.
    TransferAnalysis(const engine::TransferRequest& request, platform::TextFiles& files, platform::SoundFiles& sounds);

    std::vector<std::string> outputsOf(const std::string& strFile) const override;
    int analyse(const FileJob& job, std::ostream& strOut, std::ostream& strErr) const override;

private:
    engine::TransferRequest request;
    double dblPI;
    platform::TextFiles& files;
    platform::SoundFiles& sounds;
};

} // namespace kestrix::cli
