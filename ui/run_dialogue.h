// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/run/analysis.h"
#include "engine/run/analysis_parameters.h"
#include "engine/run/global_define.h"
#include "platform/clock.h"
#include "platform/platform_ui.h"
#include "platform/text_files.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

// The run as the window's user meets it, FFT_Main: the controls read once, the band-limit refusals,
// the file dialog, the analysis, the data-count refusal and the elapsed time, each shown through
// PlatformUi in the order the user has always seen them. The analysis itself is engine::analyseFile.
namespace kestrix::ui {

// The text that starts the elapsed-time message shown at the end of a run.
inline constexpr std::string_view strElapsedPrefix = "経過時間 ： ";

// The elapsed-time text "hh:nn:ss" of two clock readings, as a time of day (25 hours show 01).
std::string elapsedTimeText(std::chrono::sys_seconds dtStart, std::chrono::sys_seconds dtEnd);

class AnalysisRun
{
public:
    AnalysisRun(engine::AnalysisControls& controls, platform::PlatformUi& ui, platform::TextFiles& files,
                platform::Clock& clock, engine::GlobalDefine& globals);

    // True when the run went through to its end. False after a refusal (band limit, data count),
    // a cancelled choice or a failure before the choice, each already reported to the user. A failure
    // after the choice is raised as KestrixError for the caller's error report; files completed
    // before it stay.
    bool FFT_Main();

    // The spectra of the last run that went through, if any.
    const std::optional<engine::RunSpectra>& lastSpectra() const
    {
        return spectra;
    }

private:
    std::optional<engine::AnalysisParameters> readParameters();
    std::optional<std::string> chooseFile();
    bool analyse(const engine::AnalysisParameters& params, const std::string& strFileName);

    engine::AnalysisControls& controls;
    platform::PlatformUi& ui;
    platform::TextFiles& files;
    platform::Clock& clock;
    engine::GlobalDefine& globals;
    std::optional<engine::RunSpectra> spectra;
};

} // namespace kestrix::ui
