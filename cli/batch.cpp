// SPDX-License-Identifier: GPL-3.0-or-later
#include "batch.h"

#include "average_command.h"
#include "batch_options.h"
#include "classic_command.h"
#include "file_runner.h"
#include "kestrix_version.h"

#include <algorithm>
#include <memory>
#include <sstream>
#include <thread>

namespace kestrix::cli {

namespace {

constexpr std::string_view strProgram = "kestrix-batch";

// Sound files for a batch that reads none: every file is text.
class NoSoundFiles final : public platform::SoundFiles
{
public:
    platform::SoundOpening openSound(std::string_view, std::int32_t) override
    {
        return {};
    }
};

// Whether the arguments ask for the averaged analysis: --average before any "--" (for the usage
// error's hint, when the arguments could not be parsed).
bool asksForAverage(std::span<const std::string> strArgs)
{
    const auto itEnd = std::find(strArgs.begin(), strArgs.end(), "--");
    return std::find(strArgs.begin(), itEnd, "--average") != itEnd;
}

// The analysis the checked options ask for.
std::unique_ptr<FileAnalysis> analysisOf(BatchOptions& options, platform::TextFiles& files,
                                         platform::SoundFiles& sounds)
{
    if (options.mode == Mode::Average) {
        return std::make_unique<AverageAnalysis>(options.request, files, sounds);
    }
    const engine::ParameterReading reading = engine::readAnalysisParameters(options.controls);
    return std::make_unique<ClassicAnalysis>(reading.params, files);
}

} // namespace

int runBatchCommand(std::span<const std::string> strArgs, const BatchStreams& streams, platform::TextFiles& files,
                    platform::SoundFiles& sounds)
{
    std::ostream& strOut = streams.strOut;
    std::ostream& strErr = streams.strErr;
    std::string strError;
    auto options = parseOptions(strArgs, strError);
    if (!options) {
        strErr << strProgram << ": " << strError << "\nTry 'kestrix-batch "
               << (asksForAverage(strArgs) ? "--average " : "") << "--help'.\n";
        return lngExitUsage;
    }
    if (options->blnHelp) {
        strOut << usageText(options->mode);
        if (options->mode == Mode::Average) {
            strOut << '\n' << windowTable();
        }
        return lngExitAnalysed;
    }
    if (options->blnVersion) {
        strOut << strProgram << ' ' << strKestrixVersion << '\n';
        return lngExitAnalysed;
    }
    const EntryReport entries = checkEntries(*options);
    for (const std::string& strNotice : entries.strNotices) {
        strErr << strProgram << ": " << strNotice << '\n';
    }
    if (!entries.strRefusal.empty()) {
        strErr << strProgram << ": " << entries.strRefusal << '\n';
        return lngExitRefused;
    }
    const int lngCores = static_cast<int>(std::max(1U, std::thread::hardware_concurrency()));
    const int lngJobs = options->lngJobs == 0 ? lngCores : options->lngJobs;
    options->request.lngThreads = threadsBesideJobs(lngCores, lngJobs, options->lngThreads);
    const std::unique_ptr<FileAnalysis> analysis = analysisOf(*options, files, sounds);
    FileSources sources(options->sources, streams.strIn, strError);
    if (!sources.usable()) {
        strErr << strProgram << ": " << strError << '\n';
        return lngExitUsage;
    }
    const std::optional<std::size_t> lngTotal = streams.blnErrIsTerminal ? sources.countAhead() : std::nullopt;
    ProgressLine progress(strErr, streams.blnErrIsTerminal && lngTotal.value_or(2) > 1, lngTotal);
    const int lngStatus = runFiles(sources, *analysis, lngJobs, streams, progress);
    progress.finish();
    return lngStatus;
}

int runBatch(std::span<const std::string> strArgs, const BatchStreams& streams, platform::TextFiles& files)
{
    NoSoundFiles sounds;
    return runBatchCommand(strArgs, streams, files, sounds);
}

int runBatch(std::span<const std::string> strArgs, std::ostream& strOut, std::ostream& strErr,
             platform::TextFiles& files)
{
    std::istringstream strNoInput;
    return runBatch(strArgs, BatchStreams{strNoInput, strOut, strErr, false}, files);
}

} // namespace kestrix::cli
