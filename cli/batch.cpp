// SPDX-License-Identifier: GPL-3.0-or-later
#include "batch.h"

#include "average_command.h"
#include "batch_options.h"
#include "classic_command.h"
#include "engine/recordings/recording_measures.h"
#include "engine/run/global_define.h"
#include "file_runner.h"
#include "kestrix_version.h"
#include "octave_command.h"
#include "transfer_command.h"

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

// The analysis the arguments ask for, by its option before any "--" (for the usage error's hint, when
// the arguments could not be parsed): the last one typed.
Mode askedMode(std::span<const std::string> strArgs)
{
    Mode mode = Mode::Classic;
    for (const std::string& strArg : strArgs) {
        if (strArg == "--") {
            break;
        }
        for (const Mode asked : {Mode::Average, Mode::Transfer, Mode::Octave}) {
            const std::string_view strOption = modeOption(asked);
            if (strArg == strOption || (strArg.starts_with(strOption) && strArg[strOption.size()] == '=')) {
                mode = asked;
            }
        }
    }
    return mode;
}

// The analysis the checked options ask for.
std::unique_ptr<FileAnalysis> analysisOf(BatchOptions& options, platform::TextFiles& files,
                                         platform::SoundFiles& sounds)
{
    if (options.mode == Mode::Average) {
        return std::make_unique<AverageAnalysis>(options.request, files, sounds);
    }
    if (options.mode == Mode::Transfer) {
        return std::make_unique<TransferAnalysis>(options.transfer, files, sounds);
    }
    if (options.mode == Mode::Octave) {
        // The recording's rate, range and choice are checked into the averaged analysis's request.
        engine::OctaveRequest request = options.octave;
        request.lngSampFreq = options.request.lngSampFreq;
        request.blnSampFreqGiven = options.request.blnSampFreqGiven;
        request.dblMaxVolt = options.request.dblMaxVolt;
        request.choice = options.request.choice;
        request.unit = options.request.quantity.sensor.value_or(engine::EngineeringUnit{});
        request.blnLevels = options.request.blnLevels;
        request.lngThreads = options.request.lngThreads;
        return std::make_unique<OctaveAnalysis>(request, files, sounds);
    }
    const engine::ParameterReading reading = engine::readAnalysisParameters(options.controls);
    return std::make_unique<ClassicAnalysis>(reading.params, files);
}

// --calibrate LEVEL FILE: the sensitivity found, or why there is none.
int calibrate(const BatchOptions& options, const BatchStreams& streams, platform::TextFiles& files,
              platform::SoundFiles& sounds)
{
    const std::string& strFile = options.strCalibrationFile;
    return trapFailures(strFile, streams.strErr, [&] {
        const engine::RecordingCalibration found = engine::calibrateRecording(
            options.request, *options.calibrationLevel, strFile, files, sounds, engine::computePI());
        if (!found.strRefusal.empty()) {
            streams.strErr << strProgram << ": " << strFile << ": refused: " << found.strRefusal << '\n';
            return static_cast<int>(lngExitRefused);
        }
        if (!found.calibration.blnToneFound) {
            streams.strErr << strProgram << ": " << strFile
                           << ": refused: " << engine::calibrationText(found.calibration) << '\n';
            return static_cast<int>(lngExitRefused);
        }
        streams.strOut << engine::calibrationText(found.calibration) << '\n';
        return static_cast<int>(lngExitAnalysed);
    });
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
        const Mode asked = askedMode(strArgs);
        // --octave takes its bands before the help can be asked for.
        const std::string strMode = asked == Mode::Octave ? "--octave 3" : std::string(modeOption(asked));
        strErr << strProgram << ": " << strError << "\nTry 'kestrix-batch " << strMode << (strMode.empty() ? "" : " ")
               << "--help'.\n";
        return lngExitUsage;
    }
    if (options->blnHelp) {
        strOut << usageText(options->mode);
        if (options->mode != Mode::Classic) {
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
    options->transfer.lngThreads = options->request.lngThreads;
    if (options->calibrationLevel) {
        return calibrate(*options, streams, files, sounds);
    }
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
