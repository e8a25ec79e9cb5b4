// SPDX-License-Identifier: GPL-3.0-or-later
#include "batch.h"

#include "batch_options.h"
#include "engine/run/analysis.h"
#include "engine/run/analysis_parameters.h"
#include "engine/run/field_checks.h"
#include "engine/run/global_define.h"
#include "file_sources.h"
#include "kestrix_version.h"
#include "ordered_jobs.h"
#include "platform/failure.h"
#include "platform/utf8_path.h"
#include "progress_line.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <thread>

namespace kestrix::cli {

namespace {

constexpr std::string_view strProgram = "kestrix-batch";
// The classic runtime's number for a failure it has no better number for.
constexpr std::int32_t lngInternalError = 51;

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

// The window's field checks on the two checked entries; false after a refusal.
bool checkFields(engine::ControlContents& controls, std::ostream& strErr)
{
    for (auto [check, strText] : {std::pair{&engine::checkSampFreq, &controls.strSampFreq},
                                  std::pair{&engine::checkMaxVolt, &controls.strMaxVolt}}) {
        const engine::FieldCheck result = check(*strText);
        if (!result.accepted()) {
            strErr << result.strMessage << '\n';
            return false;
        }
        *strText = result.strNormalized;
    }
    return true;
}

void reportFailure(std::ostream& strErr, const std::string& strFile, const KestrixError& failure)
{
    strErr << strProgram << ": " << strFile << ": error " << failure.number() << " (" << failure.source()
           << "): " << failure.description() << '\n';
}

// What every FILE of a batch is analysed with.
struct BatchRun
{
    engine::AnalysisParameters params;
    double dblPI = 0.0;
    platform::TextFiles& files;
};

// One FILE of a batch: as given, and as analysed (absolute).
struct FileJob
{
    std::string strGiven;
    std::string strFile;
};

// The outputs lie beside the input: a bare name must name a file in the working folder.
FileJob makeJob(const std::string& strGiven)
{
    std::error_code ec;
    const std::filesystem::path pathAbsolute = std::filesystem::absolute(platform::pathFromUtf8(strGiven), ec);
    return FileJob{strGiven, ec ? strGiven : platform::utf8FromPath(pathAbsolute.lexically_normal())};
}

// The base paths taken by the FILEs so far: a later FILE whose outputs would replace an earlier one's
// (a.csv and a.txt) is refused.
class BaseNames
{
public:
    // True when strGiven may go on; otherwise its refusal is printed on strErr.
    bool claim(const std::string& strGiven, const BatchRun& run, std::ostream& strErr)
    {
        const std::string strBase = engine::outputBaseName(run.files, makeJob(strGiven).strFile);
        const auto [earlier, blnNew] = strFileOfBase.emplace(strBase, strGiven);
        if (!blnNew) {
            strErr << strProgram << ": " << strGiven << ": refused: its output files (" << strBase
                   << "_SPC.csv ...) would replace those of " << earlier->second << '\n';
        }
        return blnNew;
    }

private:
    std::map<std::string, std::string> strFileOfBase;
};

// The entries checked once, before any FILE: the field checks, then the band checks. Nothing after a
// refusal, which is printed.
std::optional<BatchRun> checkedRun(engine::ControlContents& controls, platform::TextFiles& files, std::ostream& strErr)
{
    if (!checkFields(controls, strErr)) {
        return std::nullopt;
    }
    const engine::ParameterReading reading = engine::readAnalysisParameters(controls);
    if (!reading.strRefusal.empty()) {
        strErr << reading.strRefusal << '\n';
        return std::nullopt;
    }
    return BatchRun{reading.params, engine::computePI(), files};
}

// Reports a list that could not be read on to its end; the status of the batch so far, raised to a
// usage error when there was one.
int reportListError(std::ostream& strErr, const std::string& strError, int lngStatus)
{
    if (strError.empty()) {
        return lngStatus;
    }
    strErr << strProgram << ": " << strError << '\n';
    return std::max(lngStatus, static_cast<int>(lngExitUsage));
}

// What a FILE is when it is not a regular file, or the empty text. Reading a FIFO or a device would
// wait for a writer or never end.
std::string_view nonRegularKind(const std::string& strFile)
{
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(platform::pathFromUtf8(strFile), ec);
    if (ec || !std::filesystem::exists(status) || std::filesystem::is_regular_file(status)) {
        return {}; // a missing file is reported by the analysis, as the window reports it
    }
    switch (status.type()) {
    case std::filesystem::file_type::directory:
        return "a folder";
    case std::filesystem::file_type::fifo:
        return "a FIFO";
    case std::filesystem::file_type::character:
    case std::filesystem::file_type::block:
        return "a device";
    case std::filesystem::file_type::socket:
        return "a socket";
    default:
        return "not a regular file";
    }
}

// Analyses one FILE; the paths written go to strOut as each is complete, every message about the FILE
// to strErr naming it. Returns the FILE's exit status.
int analyseOne(const FileJob& job, const BatchRun& run, std::ostream& strOut, std::ostream& strErr)
{
    if (const std::string_view strKind = nonRegularKind(job.strFile); !strKind.empty()) {
        strErr << strProgram << ": " << job.strGiven << ": refused: " << strKind << ", not a regular file\n";
        return lngExitRefused;
    }
    // Every file is printed as soon as it is complete, so a later failure leaves a true list.
    const engine::FileWrittenHandler printPath = [&strOut](const std::string& strPath) {
        strOut << strPath << '\n' << std::flush;
    };
    try {
        const engine::AnalysisResult result =
            engine::analyseFile(run.params, job.strFile, run.files, run.dblPI, printPath, false);
        if (!result.analysed()) {
            strErr << strProgram << ": " << job.strGiven << ": ";
            printMessage(strErr, result.strRefusal);
            return lngExitRefused;
        }
    } catch (const KestrixError& failure) {
        reportFailure(strErr, job.strGiven, failure);
        return lngExitFailed;
    } catch (const std::bad_alloc&) {
        reportFailure(strErr, job.strGiven, KestrixError(err::lngOutOfMemory, "Out of memory"));
        return lngExitFailed;
    } catch (const std::exception& failure) {
        reportFailure(strErr, job.strGiven, KestrixError(lngInternalError, failure.what()));
        return lngExitFailed;
    }
    return lngExitAnalysed;
}

// Runs the FILEs one after the other, each printing as it goes.
int runInOrder(FileSources& sources, const BatchRun& run, const BatchStreams& streams, ProgressLine& progress)
{
    int lngStatus = lngExitAnalysed;
    BaseNames bases;
    for (;;) {
        std::string strError;
        const std::optional<std::string> strGiven = sources.next(strError);
        if (!strGiven) {
            return reportListError(streams.strErr, strError, lngStatus);
        }
        progress.clear();
        const int lngFileStatus = bases.claim(*strGiven, run, streams.strErr)
                                      ? analyseOne(makeJob(*strGiven), run, streams.strOut, streams.strErr)
                                      : lngExitRefused;
        progress.fileDone(lngFileStatus);
        lngStatus = std::max(lngStatus, lngFileStatus);
    }
}

// Runs lngJobs FILEs at once; their output reaches the streams in FILE order, as runInOrder prints it.
int runAtOnce(FileSources& sources, const BatchRun& run, int lngJobs, const BatchStreams& streams,
              ProgressLine& progress)
{
    int lngStatus = lngExitAnalysed;
    OrderedJobs jobs(lngJobs, 4 * static_cast<std::size_t>(lngJobs), [&](FileReport& report) {
        progress.clear();
        streams.strOut << report.strOut << std::flush;
        streams.strErr << report.strErr << std::flush;
        progress.fileDone(report.lngStatus);
        lngStatus = std::max(lngStatus, report.lngStatus);
    });
    BaseNames bases;
    for (;;) {
        std::string strError;
        const std::optional<std::string> strGiven = sources.next(strError);
        if (!strGiven) {
            jobs.finish();
            return reportListError(streams.strErr, strError, lngStatus);
        }
        // Which FILE keeps a base path is decided here, in FILE order, as one at a time would.
        std::ostringstream strRefusal;
        if (!bases.claim(*strGiven, run, strRefusal)) {
            jobs.submit([strText = strRefusal.str()] { return FileReport{{}, strText, lngExitRefused}; });
            continue;
        }
        jobs.submit([job = makeJob(*strGiven), &run] {
            std::ostringstream strOut;
            std::ostringstream strErr;
            const int lngFileStatus = analyseOne(job, run, strOut, strErr);
            return FileReport{strOut.str(), strErr.str(), lngFileStatus};
        });
    }
}

} // namespace

int runBatch(std::span<const std::string> strArgs, const BatchStreams& streams, platform::TextFiles& files)
{
    std::ostream& strOut = streams.strOut;
    std::ostream& strErr = streams.strErr;
    std::string strError;
    auto options = parseOptions(strArgs, strError);
    if (!options) {
        strErr << strProgram << ": " << strError << "\nTry 'kestrix-batch --help'.\n";
        return lngExitUsage;
    }
    if (options->blnHelp) {
        strOut << strUsage;
        return lngExitAnalysed;
    }
    if (options->blnVersion) {
        strOut << strProgram << ' ' << strKestrixVersion << '\n';
        return lngExitAnalysed;
    }
    std::optional<BatchRun> run = checkedRun(options->controls, files, strErr);
    if (!run) {
        return lngExitRefused;
    }
    FileSources sources(options->sources, streams.strIn, strError);
    if (!sources.usable()) {
        strErr << strProgram << ": " << strError << '\n';
        return lngExitUsage;
    }
    const std::optional<std::size_t> lngTotal = streams.blnErrIsTerminal ? sources.countAhead() : std::nullopt;
    ProgressLine progress(strErr, streams.blnErrIsTerminal && lngTotal.value_or(2) > 1, lngTotal);
    int lngJobs = options->lngJobs;
    if (lngJobs == 0) {
        lngJobs = static_cast<int>(std::max(1U, std::thread::hardware_concurrency()));
    }
    const int lngStatus = lngJobs == 1 ? runInOrder(sources, *run, streams, progress)
                                       : runAtOnce(sources, *run, lngJobs, streams, progress);
    progress.finish();
    return lngStatus;
}

int runBatch(std::span<const std::string> strArgs, std::ostream& strOut, std::ostream& strErr,
             platform::TextFiles& files)
{
    std::istringstream strNoInput;
    return runBatch(strArgs, BatchStreams{strNoInput, strOut, strErr, false}, files);
}

} // namespace kestrix::cli
