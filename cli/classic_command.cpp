// SPDX-License-Identifier: GPL-3.0-or-later
#include "classic_command.h"

#include "engine/run/analysis.h"
#include "engine/run/global_define.h"

namespace kestrix::cli {

namespace {

constexpr std::string_view strProgram = "kestrix-batch";

// Prints a message on the error stream, CR LF as plain line ends.
void printMessage(std::ostream& strErr, std::string_view strText)
{
    std::string strLines(strText);
    for (std::size_t lngAt = strLines.find("\r\n"); lngAt != std::string::npos; lngAt = strLines.find("\r\n", lngAt)) {
        strLines.erase(lngAt, 1);
        ++lngAt;
    }
    strErr << strLines << '\n';
}

} // namespace

ClassicAnalysis::ClassicAnalysis(const engine::AnalysisParameters& params_, platform::TextFiles& files_)
    : params(params_), dblPI(engine::computePI()), files(files_)
{
}

std::vector<std::string> ClassicAnalysis::outputsOf(const std::string& strFile) const
{
    return engine::outputFileNames(engine::outputBaseName(files, strFile), params.blnBand, params.blnWave);
}

int ClassicAnalysis::analyse(const FileJob& job, std::ostream& strOut, std::ostream& strErr) const
{
    // Every file is printed as soon as it is complete, so a later failure leaves a true list.
    const engine::FileWrittenHandler printPath = [&strOut](const std::string& strPath) {
        strOut << strPath << '\n' << std::flush;
    };
    return trapFailures(job.strGiven, strErr, [&] {
        const engine::AnalysisResult result = engine::analyseFile(params, job.strFile, files, dblPI, printPath, false);
        if (!result.analysed()) {
            strErr << strProgram << ": " << job.strGiven << ": ";
            printMessage(strErr, result.strRefusal);
            return static_cast<int>(lngExitRefused);
        }
        return static_cast<int>(lngExitAnalysed);
    });
}

} // namespace kestrix::cli
