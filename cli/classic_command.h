// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/run/analysis_parameters.h"
#include "file_runner.h"
#include "platform/text_files.h"

namespace kestrix::cli {

// The classic run on each FILE, exactly as the window runs it: the first N samples, the output files
// beside the input, every file printed as soon as it is complete.
class ClassicAnalysis final : public FileAnalysis
{
public:
    // params as read from checked entries.
    ClassicAnalysis(const engine::AnalysisParameters& params, platform::TextFiles& files);

    std::vector<std::string> outputsOf(const std::string& strFile) const override;
    int analyse(const FileJob& job, std::ostream& strOut, std::ostream& strErr) const override;

private:
    engine::AnalysisParameters params;
    double dblPI;
    platform::TextFiles& files;
};

} // namespace kestrix::cli
