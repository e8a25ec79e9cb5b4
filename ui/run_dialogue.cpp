// SPDX-License-Identifier: GPL-3.0-or-later
#include "run_dialogue.h"

#include "error_report.h"
#include "platform/failure.h"

#include <cstdio>

namespace kestrix::ui {

namespace {

using platform::MessageStyle;

constexpr std::string_view strDialogTitle = "CSVファイル読み込み";
constexpr std::string_view strDialogFilter = "CSVファイル (*.csv)|*.csv";

} // namespace

std::string elapsedTimeText(std::chrono::sys_seconds dtStart, std::chrono::sys_seconds dtEnd)
{
    constexpr long long lngSecondsPerDay = 24 * 60 * 60;
    long long lngSeconds = (dtEnd - dtStart).count() % lngSecondsPerDay;
    if (lngSeconds < 0) {
        lngSeconds += lngSecondsPerDay;
    }
    char chrText[16];
    std::snprintf(chrText, sizeof chrText, "%02lld:%02lld:%02lld", lngSeconds / 3600, lngSeconds / 60 % 60,
                  lngSeconds % 60);
    return chrText;
}

AnalysisRun::AnalysisRun(engine::AnalysisControls& controls, platform::PlatformUi& ui, platform::TextFiles& files,
                         platform::Clock& clock, engine::GlobalDefine& globals)
    : controls(controls), ui(ui), files(files), clock(clock), globals(globals)
{
}

bool AnalysisRun::FFT_Main()
{
    const std::optional<engine::AnalysisParameters> params = readParameters();
    if (!params) {
        return false;
    }
    const std::optional<std::string> strFileName = chooseFile();
    if (!strFileName) {
        return false;
    }
    globals.strLastFileName = *strFileName;
    // From here on every failure goes to the caller.
    return analyse(*params, *strFileName);
}

// Up to the file choice the run reports its own failures.
std::optional<engine::AnalysisParameters> AnalysisRun::readParameters()
{
    engine::ParameterReading reading;
    try {
        reading = engine::readAnalysisParameters(controls);
    } catch (const KestrixError& failure) {
        ui.showMessage(errorReportHeading("FFT_Main"), MessageStyle::Exclamation, strErrorReportTitle);
        ui.showMessage(errorReportDetail(failure), MessageStyle::OkOnly);
        return std::nullopt;
    }
    if (!reading.strRefusal.empty()) {
        ui.showMessage(reading.strRefusal, MessageStyle::Exclamation);
        return std::nullopt;
    }
    return reading.params;
}

// The chosen file, or nothing when the user cancelled.
std::optional<std::string> AnalysisRun::chooseFile()
{
    platform::OpenFileRequest request;
    request.strInitialFileName = globals.strLastFileName;
    request.strTitle = strDialogTitle;
    request.blnCancelError = true;
    request.lngFlags = platform::open_flags::lngHideReadOnly | platform::open_flags::lngNoChangeDir |
                       platform::open_flags::lngFileMustExist;
    request.strFilter = strDialogFilter;
    // A dialog failure other than cancel is passed over: the run goes on with the name it holds.
    try {
        return ui.chooseOpenFile(request);
    } catch (const KestrixError&) {
        return request.strInitialFileName;
    }
}

bool AnalysisRun::analyse(const engine::AnalysisParameters& params, const std::string& strFileName)
{
    const std::chrono::sys_seconds dtStart = clock.now();
    engine::AnalysisResult result = engine::analyseFile(params, strFileName, files, globals.dblPI);
    if (!result.analysed()) {
        ui.showMessage(result.strRefusal, MessageStyle::Exclamation);
        return false;
    }
    spectra = std::move(result.spectra);
    const std::chrono::sys_seconds dtEnd = clock.now();
    ui.showMessage(std::string(strElapsedPrefix) + elapsedTimeText(dtStart, dtEnd), MessageStyle::OkOnly);
    return true;
}

} // namespace kestrix::ui
