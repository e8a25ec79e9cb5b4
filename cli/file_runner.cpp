// SPDX-License-Identifier: GPL-3.0-or-later
#include "file_runner.h"

#include "ordered_jobs.h"
#include "platform/utf8_path.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

namespace kestrix::cli {

namespace {

constexpr std::string_view strProgram = "kestrix-batch";
// The classic runtime's number for a failure it has no better number for.
constexpr std::int32_t lngInternalError = 51;

void reportFailure(std::ostream& strErr, const std::string& strFile, const KestrixError& failure)
{
    strErr << strProgram << ": " << strFile << ": error " << failure.number() << " (" << failure.source()
           << "): " << failure.description() << '\n';
}

// The output files taken by the FILEs so far: a later FILE whose outputs would replace an earlier one's
// (a.csv and a.txt) is refused.
class OutputClaims
{
public:
    explicit OutputClaims(const FileAnalysis& analysis) : analysis(analysis) {}

    // True when strGiven may go on; otherwise its refusal is printed on strErr. Outputs are compared by
    // the file they name: two spellings of one folder (a link, "..") are one folder.
    bool claim(const std::string& strGiven, std::ostream& strErr)
    {
        const std::vector<std::string> strOutputs = analysis.outputsOf(makeJob(strGiven).strFile);
        std::vector<std::string> strKeys;
        for (const std::string& strOutput : strOutputs) {
            std::error_code ec;
            const std::filesystem::path pathKey =
                std::filesystem::weakly_canonical(platform::pathFromUtf8(strOutput), ec);
            strKeys.push_back(ec ? strOutput : platform::utf8FromPath(pathKey));
            if (const auto earlier = strFileOfOutput.find(strKeys.back()); earlier != strFileOfOutput.end()) {
                strErr << strProgram << ": " << strGiven << ": refused: its output file " << strOutput
                       << " would replace that of " << earlier->second << '\n';
                return false;
            }
        }
        for (const std::string& strKey : strKeys) {
            strFileOfOutput.emplace(strKey, strGiven);
        }
        return true;
    }

private:
    const FileAnalysis& analysis;
    std::map<std::string, std::string> strFileOfOutput;
};

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

int analyseOne(const FileJob& job, const FileAnalysis& analysis, std::ostream& strOut, std::ostream& strErr)
{
    if (const std::string_view strKind = nonRegularKind(job.strFile); !strKind.empty()) {
        strErr << strProgram << ": " << job.strGiven << ": refused: " << strKind << ", not a regular file\n";
        return lngExitRefused;
    }
    return analysis.analyse(job, strOut, strErr);
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

int runInOrder(FileSources& sources, const FileAnalysis& analysis, const BatchStreams& streams, ProgressLine& progress)
{
    int lngStatus = lngExitAnalysed;
    OutputClaims claims(analysis);
    for (;;) {
        std::string strError;
        const std::optional<std::string> strGiven = sources.next(strError);
        if (!strGiven) {
            return reportListError(streams.strErr, strError, lngStatus);
        }
        progress.clear();
        const int lngFileStatus = claims.claim(*strGiven, streams.strErr)
                                      ? analyseOne(makeJob(*strGiven), analysis, streams.strOut, streams.strErr)
                                      : lngExitRefused;
        progress.fileDone(lngFileStatus);
        lngStatus = std::max(lngStatus, lngFileStatus);
    }
}

int runAtOnce(FileSources& sources, const FileAnalysis& analysis, int lngJobs, const BatchStreams& streams,
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
    OutputClaims claims(analysis);
    for (;;) {
        std::string strError;
        const std::optional<std::string> strGiven = sources.next(strError);
        if (!strGiven) {
            jobs.finish();
            return reportListError(streams.strErr, strError, lngStatus);
        }
        // Which FILE keeps an output is decided here, in FILE order, as one at a time would.
        std::ostringstream strRefusal;
        if (!claims.claim(*strGiven, strRefusal)) {
            jobs.submit([strText = strRefusal.str()] { return FileReport{{}, strText, lngExitRefused}; });
            continue;
        }
        jobs.submit([job = makeJob(*strGiven), &analysis] {
            std::ostringstream strOut;
            std::ostringstream strErr;
            const int lngFileStatus = analyseOne(job, analysis, strOut, strErr);
            return FileReport{strOut.str(), strErr.str(), lngFileStatus};
        });
    }
}

} // namespace

FileJob makeJob(const std::string& strGiven)
{
    std::error_code ec;
    const std::filesystem::path pathAbsolute = std::filesystem::absolute(platform::pathFromUtf8(strGiven), ec);
    if (ec) {
        return FileJob{strGiven, strGiven};
    }
    // Only "." and empty components go: "link/.." names the folder above the link's target, which the
    // lexical normal form would take for the folder holding the link.
    std::filesystem::path pathClean;
    for (const std::filesystem::path& part : pathAbsolute) {
        if (part != "." && !part.empty()) {
            pathClean /= part;
        }
    }
    return FileJob{strGiven, platform::utf8FromPath(pathClean)};
}

int runFiles(FileSources& sources, const FileAnalysis& analysis, int lngJobs, const BatchStreams& streams,
             ProgressLine& progress)
{
    return lngJobs == 1 ? runInOrder(sources, analysis, streams, progress)
                        : runAtOnce(sources, analysis, lngJobs, streams, progress);
}

int trapFailures(const std::string& strGiven, std::ostream& strErr, const std::function<int()>& work)
{
    try {
        return work();
    } catch (const KestrixError& failure) {
        reportFailure(strErr, strGiven, failure);
    } catch (const std::bad_alloc&) {
        reportFailure(strErr, strGiven, KestrixError(err::lngOutOfMemory, "Out of memory"));
    } catch (const std::exception& failure) {
        reportFailure(strErr, strGiven, KestrixError(lngInternalError, failure.what()));
    }
    return lngExitFailed;
}

} // namespace kestrix::cli
