// SPDX-License-Identifier: GPL-3.0-or-later
#include "transfer_command.h"

#include "engine/run/global_define.h"

namespace kestrix::cli {

namespace {

constexpr std::string_view strProgram = "kestrix-batch";

} // namespace

TransferAnalysis::TransferAnalysis(const engine::TransferRequest& request_, platform::TextFiles& files_,
                                   platform::SoundFiles& sounds_)
    : request(request_), dblPI(engine::computePI()), files(files_), sounds(sounds_)
{
}

std::vector<std::string> TransferAnalysis::outputsOf(const std::string& strFile) const
{
    return {engine::transferOutputName(files, strFile)};
}

int TransferAnalysis::analyse(const FileJob& job, std::ostream& strOut, std::ostream& strErr) const
{
    return trapFailures(job.strGiven, strErr, [&] {
        const engine::TransferFileResult result = engine::analyseTransfer(request, job.strFile, files, sounds, dblPI);
        if (!result.analysed()) {
            strErr << strProgram << ": " << job.strGiven << ": refused: " << result.strRefusal << '\n';
            return static_cast<int>(lngExitRefused);
        }
        strOut << result.strWritten << '\n' << std::flush;
        if (!result.estimates.strCoherenceRefusal.empty()) {
            strErr << strProgram << ": " << job.strGiven << ": warning: " << result.estimates.strCoherenceRefusal
                   << '\n';
        }
        return static_cast<int>(lngExitAnalysed);
    });
}

} // namespace kestrix::cli
