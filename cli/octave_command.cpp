// SPDX-License-Identifier: GPL-3.0-or-later
#include "octave_command.h"

#include "engine/recordings/condition_levels.h"
#include "engine/recordings/recording_measures.h"
#include "engine/run/global_define.h"

namespace kestrix::cli {

OctaveAnalysis::OctaveAnalysis(const engine::OctaveRequest& request_, platform::TextFiles& files_,
                               platform::SoundFiles& sounds_)
    : request(request_), files(files_), sounds(sounds_)
{
}

std::vector<std::string> OctaveAnalysis::outputsOf(const std::string& strFile) const
{
    std::vector<std::string> strOutputs{engine::octaveOutputName(files, strFile, request.choice)};
    if (request.blnLevels) {
        strOutputs.push_back(engine::levelsOutputName(files, strFile, request.choice));
    }
    return strOutputs;
}

int OctaveAnalysis::analyse(const FileJob& job, std::ostream& strOut, std::ostream& strErr) const
{
    return trapFailures(job.strGiven, strErr, [&] {
        const engine::OctaveFileResult result = engine::analyseOctaves(request, job.strFile, files, sounds);
        if (!result.analysed()) {
            strErr << "kestrix-batch: " << job.strGiven << ": refused: " << result.strRefusal << '\n';
            return static_cast<int>(lngExitRefused);
        }
        strOut << result.strWritten << '\n';
        if (!result.strLevelsWritten.empty()) {
            strOut << result.strLevelsWritten << '\n';
        }
        strOut << std::flush;
        return static_cast<int>(lngExitAnalysed);
    });
}

} // namespace kestrix::cli
