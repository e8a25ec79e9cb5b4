// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the reference spectrum reader of the view on any bytes (short inputs standing for long
// lines, see expandRuns), through the real file service and in memory. The properties:
// - both give exactly what a plain model of the format gives: the same refusal text, or the same
//   trace, so the stream and the in-memory parse agree;
// - a refusal leaves no trace data and names a line (or says there is no data);
// - an accepted trace has one amplitude per frequency, frequencies ascending, and every value finite
//   and not negative (amplitudes in dBV may be), and holds no more lines than the limit.
// An averaged spectrum file's heading on the first line is read by parseAverageHeading (tested on its
// own); the model takes its verdict and the units it states.

#include "engine/recordings/spectrum_csv.h"
#include "engine/run/number_text.h"
#include "fuzz/fuzz_support.h"
#include "platform/std/std_text_files.h"

#include <cmath>
#include <optional>

namespace {

using namespace kestrix;
using engine::SpectrumReading;
using fuzz::ModelLine;
using fuzz::require;

std::string refusalAt(std::size_t lngLine, const std::string& strWhy)
{
    return std::to_string(lngLine) + " 行目：" + strWhy;
}

// The refusal of one data line (neither blank nor past the limit), or nothing when it is taken.
std::optional<std::string> refusalOfLine(const ModelLine& line, std::size_t lngLine, bool blnLevels,
                                         engine::SpectrumTrace& trace)
{
    const std::size_t lngComma = line.strText.find(',');
    if (line.blnTooLong || lngComma == std::string_view::npos ||
        line.strText.find(',', lngComma + 1) != std::string_view::npos) {
        return refusalAt(lngLine, "「周波数,振幅」の 2 列になっていません。");
    }
    const std::optional<double> dblFreq = engine::numericValue(line.strText.substr(0, lngComma));
    const std::optional<double> dblVolts = engine::numericValue(line.strText.substr(lngComma + 1));
    if (!dblFreq || !dblVolts) {
        return refusalAt(lngLine, "数値でない値があります。");
    }
    if (*dblFreq < 0.0 || (*dblVolts < 0.0 && !blnLevels)) {
        return refusalAt(lngLine, "負の値があります。");
    }
    if (!trace.dblFreq.empty() && *dblFreq <= trace.dblFreq.back()) {
        return refusalAt(lngLine, "周波数が前の行より大きくなっていません。");
    }
    trace.dblFreq.push_back(*dblFreq);
    trace.dblVolts.push_back(*dblVolts);
    return std::nullopt;
}

// The format as a whole: blank lines at the end are dropped; a first line that starts as an averaged
// file's heading must read as one; every other line before the blank ones must be a data line, at most
// lngMaxLines of them, at least one.
SpectrumReading modelReading(std::vector<ModelLine> lines, std::size_t lngMaxLines)
{
    while (!lines.empty() && lines.back().strText.empty() && !lines.back().blnTooLong) {
        lines.pop_back();
    }
    SpectrumReading reading;
    std::size_t lngFirstData = 0;
    if (!lines.empty() && !lines[0].blnTooLong && lines[0].strText.starts_with("frequency (Hz),")) {
        reading.heading = engine::parseAverageHeading(lines[0].strText);
        if (!reading.heading) {
            reading.strRefusal = refusalAt(1, "平均スペクトルの見出しを読めません。");
        }
        lngFirstData = 1;
    }
    const bool blnLevels = reading.heading && reading.heading->units == engine::SpectrumUnits::DbV;
    for (std::size_t i = lngFirstData; i < lines.size() && reading.strRefusal.empty(); ++i) {
        if (lines[i].strText.empty() && !lines[i].blnTooLong) {
            reading.strRefusal = refusalAt(i + 1, "空の行があります。");
        } else if (reading.trace.dblFreq.size() == lngMaxLines) {
            reading.strRefusal =
                refusalAt(i + 1, "行が多すぎます（" + std::to_string(lngMaxLines) + " 行まで読み込めます）。");
        } else if (const auto strRefusal = refusalOfLine(lines[i], i + 1, blnLevels, reading.trace)) {
            reading.strRefusal = *strRefusal;
        }
    }
    if (reading.strRefusal.empty() && reading.trace.dblFreq.empty()) {
        reading.strRefusal = "スペクトルのデータがありません。";
    }
    if (!reading.strRefusal.empty()) {
        reading.trace = {};
        reading.heading.reset();
    }
    return reading;
}

void checkTrace(const SpectrumReading& reading, std::size_t lngMaxLines, std::string_view strWhich)
{
    const engine::SpectrumTrace& trace = reading.trace;
    if (!reading.strRefusal.empty()) {
        require(trace.dblFreq.empty() && trace.dblVolts.empty() && !reading.heading, "a refusal leaves no trace data",
                strWhich);
        return;
    }
    const bool blnLevels = reading.heading && reading.heading->units == engine::SpectrumUnits::DbV;
    require(!trace.dblFreq.empty() && trace.dblFreq.size() == trace.dblVolts.size(),
            "an accepted trace has one amplitude per frequency", strWhich);
    require(trace.dblFreq.size() <= lngMaxLines, "an accepted trace keeps to the line limit", strWhich);
    for (std::size_t i = 0; i < trace.dblFreq.size(); ++i) {
        require(std::isfinite(trace.dblFreq[i]) && trace.dblFreq[i] >= 0.0 && std::isfinite(trace.dblVolts[i]) &&
                    (trace.dblVolts[i] >= 0.0 || blnLevels),
                "an accepted trace is finite and not negative", strWhich);
        require(i == 0 || trace.dblFreq[i] > trace.dblFreq[i - 1], "an accepted trace ascends", strWhich);
    }
}

bool sameReading(const SpectrumReading& readingA, const SpectrumReading& readingB)
{
    return readingA.strRefusal == readingB.strRefusal && readingA.trace.dblFreq == readingB.trace.dblFreq &&
           readingA.trace.dblVolts == readingB.trace.dblVolts &&
           readingA.heading.has_value() == readingB.heading.has_value() &&
           (!readingA.heading || readingA.heading->units == readingB.heading->units);
}

void checkReadings(const fuzz::ScratchFile& scratch, std::string_view strBytes, std::size_t lngMaxLines)
{
    platform::StdTextFiles files;
    const SpectrumReading expected = modelReading(fuzz::modelLines(strBytes), lngMaxLines);
    const SpectrumReading streamed = engine::readSpectrumCsv(*files.openTextFile(scratch.strPath), lngMaxLines);
    const SpectrumReading parsed = engine::parseSpectrumCsv(strBytes, lngMaxLines);
    checkTrace(streamed, lngMaxLines, "read from the file");
    checkTrace(parsed, lngMaxLines, "parsed in memory");
    require(sameReading(streamed, expected), "the file reads as the model of the format says", streamed.strRefusal);
    require(sameReading(parsed, expected), "the text in memory parses as the model of the format says",
            parsed.strRefusal);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pbytData, std::size_t lngSize)
{
    static const fuzz::ScratchFile scratch;
    const std::string strBytes = fuzz::expandRuns({pbytData, lngSize});
    scratch.write(strBytes);
    checkReadings(scratch, strBytes, engine::lngMaxSpectrumLines);
    // A small limit, so that refusing a file for its length is reached as well.
    checkReadings(scratch, strBytes, 3);
    return 0;
}
