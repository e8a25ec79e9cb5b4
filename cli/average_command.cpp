// SPDX-License-Identifier: GPL-3.0-or-later
#include "average_command.h"

#include "engine/run/global_define.h"

#include <charconv>

namespace kestrix::cli {

namespace {

constexpr std::string_view strProgram = "kestrix-batch";

// A number with four decimals right-aligned in lngWidth characters (locale-free).
std::string fixedColumn(double dblValue, std::size_t lngWidth)
{
    char chrText[32];
    const auto result = std::to_chars(std::begin(chrText), std::end(chrText), dblValue, std::chars_format::fixed, 4);
    const std::string strText(chrText, result.ptr);
    return std::string(lngWidth > strText.size() ? lngWidth - strText.size() : 0, ' ') + strText;
}

} // namespace

AverageAnalysis::AverageAnalysis(const engine::AverageRequest& request_, platform::TextFiles& files_,
                                 platform::SoundFiles& sounds_)
    : request(request_), dblPI(engine::computePI()), files(files_), sounds(sounds_)
{
}

std::vector<std::string> AverageAnalysis::outputsOf(const std::string& strFile) const
{
    std::vector<std::string> strOutputs{engine::averageOutputName(files, strFile, request)};
    if (request.blnMetrics) {
        strOutputs.push_back(engine::metricsOutputName(files, strFile, request));
    }
    return strOutputs;
}

int AverageAnalysis::analyse(const FileJob& job, std::ostream& strOut, std::ostream& strErr) const
{
    return trapFailures(job.strGiven, strErr, [&] {
        const engine::AverageFileResult result = engine::analyseAverage(request, job.strFile, files, sounds, dblPI);
        if (!result.analysed()) {
            strErr << strProgram << ": " << job.strGiven << ": refused: " << result.strRefusal << '\n';
            return static_cast<int>(lngExitRefused);
        }
        strOut << result.strWritten << '\n';
        if (!result.strMetricsWritten.empty()) {
            strOut << result.strMetricsWritten << '\n';
        }
        strOut << std::flush;
        if (result.figures) {
            if (const std::string strWarning = engine::leakageWarning(*result.figures, request.settings.window);
                !strWarning.empty()) {
                strErr << strProgram << ": " << job.strGiven << ": warning: " << strWarning << '\n';
            }
        }
        return static_cast<int>(lngExitAnalysed);
    });
}

std::string windowTable()
{
    constexpr std::int32_t lngTablePoints = 65536;
    std::string strTable = "Windows (figures computed from each window, N = 65536):\n"
                           "  window          coherent gain  noise bandwidth (lines)  scalloping loss (dB)\n";
    for (const engine::WindowKind window : engine::windowKinds) {
        const engine::WindowFigures figures = engine::windowFigures(engine::windowCoefficients(window, lngTablePoints));
        std::string strName(engine::windowName(window));
        strName.resize(15, ' ');
        strTable += "  " + strName + fixedColumn(figures.dblCoherentGain, 14) +
                    fixedColumn(figures.dblNoiseBandwidth, 25) + fixedColumn(figures.dblScallopLossDb, 22) + "\n";
    }
    return strTable;
}

} // namespace kestrix::cli
