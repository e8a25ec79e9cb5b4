// SPDX-License-Identifier: GPL-3.0-or-later
#include "spectrum_csv.h"

#include "engine/run/number_text.h"
#include "text_samples.h"

#include <algorithm>
#include <charconv>
#include <optional>

namespace kestrix::engine {
namespace {

constexpr std::string_view strAverageHeadingStart = "frequency (Hz),";

// A whole number field "123" (with an optional suffix such as " Hz"); none otherwise.
std::optional<std::int32_t> wholeField(std::string_view strText, std::string_view strSuffix)
{
    if (!strText.ends_with(strSuffix)) {
        return std::nullopt;
    }
    strText.remove_suffix(strSuffix.size());
    std::int32_t lngValue = 0;
    const auto [end, error] = std::from_chars(strText.data(), strText.data() + strText.size(), lngValue);
    if (error != std::errc() || end != strText.data() + strText.size() || lngValue <= 0) {
        return std::nullopt;
    }
    return lngValue;
}

// Checks and collects the lines one at a time, so a file is never held whole in memory.
class SpectrumCsvParser
{
public:
    explicit SpectrumCsvParser(std::size_t lngMaxLines) : lngMaxLines(lngMaxLines) {}

    // False once the text is refused; the refusal is then in the reading.
    bool addLine(std::string_view strLine, bool blnTooLong)
    {
        ++lngLineNumber;
        if (lngLineNumber == 1 && !blnTooLong && strLine.starts_with(strAverageHeadingStart)) {
            reading.heading = parseAverageHeading(strLine);
            return reading.heading ? true : refuse(1, "平均スペクトルの見出しを読めません。");
        }
        if (strLine.empty() && !blnTooLong) {
            ++lngPendingBlanks;
            return true;
        }
        if (lngPendingBlanks > 0) {
            return refuse(lngLineNumber - lngPendingBlanks, "空の行があります。");
        }
        if (reading.trace.dblFreq.size() >= lngMaxLines) {
            return refuse(lngLineNumber, "行が多すぎます（" + std::to_string(lngMaxLines) + " 行まで読み込めます）。");
        }
        const auto lngComma = strLine.find(',');
        if (blnTooLong || lngComma == std::string_view::npos ||
            strLine.find(',', lngComma + 1) != std::string_view::npos) {
            return refuse(lngLineNumber, "「周波数,振幅」の 2 列になっていません。");
        }
        const std::optional<double> dblFreq = numericValue(strLine.substr(0, lngComma));
        const std::optional<double> dblVolts = numericValue(strLine.substr(lngComma + 1));
        if (!dblFreq || !dblVolts) {
            return refuse(lngLineNumber, "数値でない値があります。");
        }
        const bool blnLevels = reading.heading && reading.heading->units == SpectrumUnits::DbV;
        if (*dblFreq < 0.0 || (*dblVolts < 0.0 && !blnLevels)) {
            return refuse(lngLineNumber, "負の値があります。");
        }
        if (!reading.trace.dblFreq.empty() && !(*dblFreq > reading.trace.dblFreq.back())) {
            return refuse(lngLineNumber, "周波数が前の行より大きくなっていません。");
        }
        reading.trace.dblFreq.push_back(*dblFreq);
        reading.trace.dblVolts.push_back(*dblVolts);
        return true;
    }

    SpectrumReading finish()
    {
        if (reading.strRefusal.empty() && reading.trace.dblFreq.empty()) {
            reading.strRefusal = "スペクトルのデータがありません。";
        }
        if (!reading.strRefusal.empty()) {
            reading.trace = {};
            reading.heading.reset();
        }
        return std::move(reading);
    }

private:
    bool refuse(std::size_t lngLine, const std::string& strWhy)
    {
        reading.strRefusal = std::to_string(lngLine) + " 行目：" + strWhy;
        return false;
    }

    std::size_t lngMaxLines;
    std::size_t lngLineNumber = 0;
    std::size_t lngPendingBlanks = 0;
    SpectrumReading reading;
};

} // namespace

std::optional<SpectrumHeading> parseAverageHeading(std::string_view strLine)
{
    const std::vector<std::string> strFields = splitFields(strLine, Delimiter::Comma);
    if (strFields.size() < 2 || strFields[0] != "frequency (Hz)") {
        return std::nullopt;
    }
    SpectrumHeading heading;
    const auto units = std::find_if(std::begin(spectrumUnits), std::end(spectrumUnits),
                                    [&](SpectrumUnits candidate) { return unitsHeading(candidate) == strFields[1]; });
    if (units == std::end(spectrumUnits)) {
        return std::nullopt;
    }
    heading.units = *units;
    bool blnWindow = false;
    for (std::size_t i = 2; i < strFields.size(); ++i) {
        const std::string_view strField = strFields[i];
        if (strField.starts_with("window=")) {
            const std::optional<WindowKind> window = windowOfName(strField.substr(7));
            blnWindow = window.has_value();
            heading.window = window.value_or(heading.window);
        } else if (strField.starts_with("N=")) {
            heading.lngNumSamp = wholeField(strField.substr(2), "").value_or(0);
        } else if (strField.starts_with("fs=")) {
            heading.lngSampFreq = wholeField(strField.substr(3), " Hz").value_or(0);
        }
    }
    if (!blnWindow || heading.lngNumSamp <= 0 || heading.lngSampFreq <= 0) {
        return std::nullopt;
    }
    return heading;
}

SpectrumReading readSpectrumCsv(platform::TextReader& reader, std::size_t lngMaxLines)
{
    SpectrumCsvParser parser(lngMaxLines);
    while (!reader.atEndOfStream()) {
        const platform::TextLine line = reader.readLine();
        if (!parser.addLine(line.strText, line.blnTooLong)) {
            break;
        }
    }
    return parser.finish();
}

SpectrumReading parseSpectrumCsv(std::string_view strText, std::size_t lngMaxLines)
{
    // The line rules of the text streams, so that a file's bytes in memory read as the file does: one
    // byte-order mark at the start is skipped.
    if (strText.starts_with("\xEF\xBB\xBF")) {
        strText.remove_prefix(3);
    }
    SpectrumCsvParser parser(lngMaxLines);
    std::size_t lngPos = 0;
    while (lngPos < strText.size()) {
        std::size_t lngEnd = strText.find('\n', lngPos);
        if (lngEnd == std::string_view::npos) {
            lngEnd = strText.size();
        }
        std::string_view strLine = strText.substr(lngPos, lngEnd - lngPos);
        if (!strLine.empty() && strLine.back() == '\r') {
            strLine.remove_suffix(1);
        }
        if (!parser.addLine(strLine, strLine.size() > platform::lngMaxLineBytes)) {
            break;
        }
        lngPos = lngEnd + 1;
    }
    return parser.finish();
}

} // namespace kestrix::engine
