// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the sample reader's two passes over any bytes, through the real file service on a scratch
// file (short inputs stand for long lines, see expandRuns). The properties:
// - the stream delivers exactly the lines of the line model, then reports its end and raises input
//   past end (62);
// - for several sample counts N, the counting pass counts the numeric lines among the first N;
// - when that count reaches N, the reading pass reads N values without failing, each the numeric value
//   of its line, and touches nothing past N; when it does not, the reading pass fails with the
//   failure its contract names (13 at a line that is not numeric, 62 at the end of the file), and a
//   run refuses the file with the data-count message and writes nothing.

#include "engine/run/analysis.h"
#include "engine/run/number_text.h"
#include "engine/run/sample_reader.h"
#include "fuzz/fuzz_support.h"
#include "platform/failure.h"
#include "platform/std/std_text_files.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <memory>

namespace {

using namespace kestrix;
using fuzz::ModelLine;
using fuzz::require;

// The file as the model reads it, with the numeric lines counted once.
struct ModelFile
{
    std::vector<ModelLine> lines;
    std::vector<std::int32_t> lngNumericBefore; // numeric lines among the first i, for i = 0 .. lines
    std::int32_t lngLeading = 0;                // numeric lines before the first that is not

    explicit ModelFile(std::string_view strBytes) : lines(fuzz::modelLines(strBytes))
    {
        lngNumericBefore.push_back(0);
        bool blnAllNumeric = true;
        for (const ModelLine& line : lines) {
            const bool blnNumeric = !line.blnTooLong && engine::isNumericText(line.strText);
            lngNumericBefore.push_back(lngNumericBefore.back() + (blnNumeric ? 1 : 0));
            blnAllNumeric = blnAllNumeric && blnNumeric;
            lngLeading += blnAllNumeric ? 1 : 0;
        }
    }
    std::int32_t lineCount() const
    {
        return static_cast<std::int32_t>(lines.size());
    }
    // The numeric lines among the first lngNumSamp.
    std::int32_t countAmongFirst(std::int32_t lngNumSamp) const
    {
        return lngNumericBefore[static_cast<std::size_t>(std::min(lngNumSamp, lineCount()))];
    }
};

void checkLines(platform::TextFiles& files, const std::string& strPath, const std::vector<ModelLine>& lines)
{
    const auto stream = files.openTextFile(strPath);
    for (const ModelLine& expected : lines) {
        require(!stream->atEndOfStream(), "the stream holds every line of the model", expected.strText);
        const platform::TextLine line = stream->readLine();
        require(line.blnTooLong == expected.blnTooLong, "a line is too long exactly when the model says so",
                expected.strText);
        // Of a line that is too long the stream promises only the flag.
        require(line.blnTooLong || line.strText == expected.strText, "each line reads as the model splits it",
                expected.strText);
    }
    require(stream->atEndOfStream(), "the stream ends after the model's last line", "");
    std::int32_t lngFailure = 0;
    try {
        stream->readLine();
    } catch (const KestrixError& failure) {
        lngFailure = failure.number();
    }
    require(lngFailure == err::lngInputPastEnd, "reading past the end raises input past end", "");
    stream->close();
}

bool sameBits(double dblA, double dblB)
{
    return std::bit_cast<std::uint64_t>(dblA) == std::bit_cast<std::uint64_t>(dblB);
}

// The reading pass on a fresh stream; arrays one longer than N, marked, show anything written past N.
void checkReading(platform::TextFiles& files, const std::string& strPath, const ModelFile& model,
                  std::int32_t lngNumSamp)
{
    const auto lngSize = static_cast<std::size_t>(lngNumSamp) + 1;
    const double dblMark = std::numeric_limits<double>::quiet_NaN();
    std::vector<double> dblInData(lngSize, dblMark);
    std::vector<double> dblR_SPCData(lngSize, dblMark);
    std::vector<double> dblI_SPCData(lngSize, dblMark);
    std::int32_t lngFailure = 0;
    try {
        engine::readSamples(*files.openTextFile(strPath), lngNumSamp, dblInData, dblR_SPCData, dblI_SPCData);
    } catch (const KestrixError& failure) {
        lngFailure = failure.number();
    }
    if (model.lngLeading < lngNumSamp) {
        const bool blnTextLine = model.lngLeading < model.lineCount();
        require(lngFailure == (blnTextLine ? err::lngTypeMismatch : err::lngInputPastEnd),
                "a short count makes the reading pass fail as its contract says", std::to_string(lngNumSamp));
        return;
    }
    require(lngFailure == 0, "when the count reaches N the reading pass reads N values", std::to_string(lngNumSamp));
    for (std::size_t i = 0; i < lngSize - 1; ++i) {
        const std::string_view strLine = model.lines[i].strText;
        const double dblExpected = *engine::numericValue(strLine);
        require(sameBits(dblInData[i], dblExpected), "each sample is the numeric value of its line", strLine);
        require(sameBits(dblR_SPCData[i], dblExpected), "the real parts are the samples", strLine);
        require(sameBits(dblI_SPCData[i], 0.0), "the imaginary parts are zero", strLine);
    }
    require(std::isnan(dblInData.back()) && std::isnan(dblR_SPCData.back()) && std::isnan(dblI_SPCData.back()),
            "the reading pass writes nothing past N", std::to_string(lngNumSamp));
}

// A run of a file with too few samples: the data-count message, and nothing written beside it.
void checkRefusedRun(platform::TextFiles& files, const fuzz::ScratchFile& scratch, const ModelFile& model)
{
    const std::int32_t lngNumSamp = model.lngLeading + 1;
    engine::ControlContents controls;
    engine::AnalysisParameters params = engine::readAnalysisParameters(controls).params;
    params.lngNumSamp = lngNumSamp;
    const engine::AnalysisResult result = engine::analyseFile(params, scratch.strPath, files, 3.14159265358979);
    require(result.strRefusal == engine::dataCountMessage(model.countAmongFirst(lngNumSamp), lngNumSamp),
            "a run refuses a short file with the data-count message", result.strRefusal);
    require(result.strWritten.empty() && scratch.otherFiles().empty(), "a refused run writes nothing", "");
}

void checkPasses(platform::TextFiles& files, const std::string& strPath, const ModelFile& model,
                 std::int32_t lngNumSamp)
{
    const std::int32_t lngCount = engine::countSamples(*files.openTextFile(strPath), lngNumSamp);
    require(lngCount == model.countAmongFirst(lngNumSamp),
            "the counting pass counts the numeric lines among the first N", std::to_string(lngNumSamp));
    require((lngCount == lngNumSamp) == (model.lngLeading >= lngNumSamp),
            "the count reaches N exactly when the first N lines are numeric", std::to_string(lngNumSamp));
    checkReading(files, strPath, model, lngNumSamp);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pbytData, std::size_t lngSize)
{
    static const fuzz::ScratchFile scratch;
    platform::StdTextFiles files;
    const std::string strBytes = fuzz::expandRuns({pbytData, lngSize});
    scratch.write(strBytes);
    const ModelFile model(strBytes);
    checkLines(files, scratch.strPath, model.lines);
    // The largest N the file satisfies, one more, and the smallest point count offered; no run asks for
    // more than the largest (passes over more lines would only slow the fuzzer down).
    constexpr std::int32_t lngLargestPointCount = 65536;
    std::vector<std::int32_t> lngCounts{model.lngLeading, model.lngLeading + 1, 1024};
    std::sort(lngCounts.begin(), lngCounts.end());
    lngCounts.erase(std::unique(lngCounts.begin(), lngCounts.end()), lngCounts.end());
    for (const std::int32_t lngNumSamp : lngCounts) {
        if (lngNumSamp > 0 && lngNumSamp <= lngLargestPointCount) {
            checkPasses(files, scratch.strPath, model, lngNumSamp);
        }
    }
    // The run itself, once: it refuses the file that lacks the one line more.
    if (model.lngLeading < lngLargestPointCount) {
        checkRefusedRun(files, scratch, model);
    }
    return 0;
}
