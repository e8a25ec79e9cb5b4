// SPDX-License-Identifier: GPL-3.0-or-later
#include "recording_view.h"

#include "engine/run/analysis_parameters.h"
#include "engine/run/fft.h"
#include "engine/run/number_text.h"
#include "engine/run/spectrum.h"

#include <algorithm>
#include <cassert>
#include <cctype>

namespace kestrix::engine {

namespace {

bool holdsNumber(const std::vector<std::string>& strFields)
{
    return std::any_of(strFields.begin(), strFields.end(),
                       [](const std::string& strField) { return isNumericText(strField); });
}

bool isBlank(std::string_view strLine)
{
    return strLine.find_first_not_of(" \t") == std::string_view::npos;
}

// A field of a line split at its tabs or semicolons that reads with a decimal comma; empty if none.
std::string decimalCommaField(std::string_view strLine)
{
    for (const Delimiter delimiter : {Delimiter::Tab, Delimiter::Semicolon}) {
        const std::vector<std::string> strFields = splitFields(strLine, delimiter);
        if (strFields.size() < 2) {
            continue;
        }
        for (const std::string& strField : strFields) {
            if (isDecimalCommaNumber(strField)) {
                return strField;
            }
        }
    }
    return {};
}

void inspectText(platform::TextReader& reader, Delimiter delimiter, RecordingInfo& info)
{
    std::vector<std::string> strLastHeading;
    for (std::int32_t lngLines = 0; lngLines < lngDetectLines && !reader.atEndOfStream();) {
        const platform::TextLine line = reader.readLine();
        if (line.blnTooLong || isBlank(line.strText)) {
            continue;
        }
        ++lngLines;
        std::vector<std::string> strFields = splitFields(line.strText, delimiter);
        if (holdsNumber(strFields)) {
            info.strDecimalComma = decimalCommaField(line.strText);
            for (const std::string& strField : strFields) {
                info.blnNumbers.push_back(isNumericText(strField));
            }
            info.lngColumns = static_cast<std::int32_t>(strFields.size());
            if (strLastHeading.size() == strFields.size()) {
                info.strHeadings = std::move(strLastHeading);
            }
            return;
        }
        info.blnHeadingLines = true;
        strLastHeading = std::move(strFields);
    }
}

} // namespace

RecordingInfo inspectRecording(platform::TextFiles& files, platform::SoundFiles& sounds, const std::string& strPath)
{
    RecordingInfo info;
    platform::SoundOpening sound = sounds.openSound(strPath, 1);
    if (sound.outcome != platform::SoundOpening::Outcome::NotSound) {
        info.blnSound = true;
        info.strRefusal = sound.strRefusal;
        if (sound.stream) {
            info.lngChannels = sound.stream->channelCount();
            info.lngSampFreq = sound.stream->statedSampFreq();
        }
        return info;
    }
    Delimiter delimiter = Delimiter::Comma;
    {
        const std::unique_ptr<platform::TextReader> look = files.openTextFile(strPath);
        delimiter = detectDelimiter(*look);
        look->close();
    }
    const std::unique_ptr<platform::TextReader> reader = files.openTextFile(strPath);
    inspectText(*reader, delimiter, info);
    reader->close();
    return info;
}

std::int32_t suggestedColumn(const RecordingInfo& info)
{
    const auto lngColumns = static_cast<std::int32_t>(info.blnNumbers.size());
    const auto firstNumber = [&](std::int32_t lngFrom) -> std::int32_t {
        for (std::int32_t lngColumn = lngFrom; lngColumn <= lngColumns; ++lngColumn) {
            if (info.blnNumbers[static_cast<std::size_t>(lngColumn - 1)]) {
                return lngColumn;
            }
        }
        return 0;
    };
    std::string strFirst = info.strHeadings.empty() ? std::string() : info.strHeadings.front();
    std::transform(strFirst.begin(), strFirst.end(), strFirst.begin(),
                   [](unsigned char chr) { return static_cast<char>(std::tolower(chr)); });
    const bool blnTimeHeading =
        strFirst.rfind("time", 0) == 0 || strFirst.rfind("t ", 0) == 0 || strFirst == "t" ||
        strFirst.rfind("t[", 0) == 0 || strFirst.rfind("t (", 0) == 0 || strFirst.find("時間") != std::string::npos ||
        strFirst.find("時刻") != std::string::npos || strFirst.rfind("sec", 0) == 0 || strFirst == "s";
    if (lngColumns > 1 && blnTimeHeading) {
        if (const std::int32_t lngColumn = firstNumber(2)) {
            return lngColumn;
        }
    }
    const std::int32_t lngColumn = firstNumber(1);
    return lngColumn > 0 ? lngColumn : 1;
}

RecordingChoice textChoice(const RecordingInfo& info, std::int32_t lngColumn)
{
    RecordingChoice choice;
    if (info.lngColumns > 1 || info.blnHeadingLines) {
        choice.column = ColumnChoice{lngColumn, {}};
    }
    return choice;
}

std::vector<double> classicBlockVolts(std::span<const double> dblCounts, double dblPI, double dblPosScale)
{
    const auto lngNumSamp = static_cast<std::int32_t>(dblCounts.size());
    assert(lngNumSamp >= 4 && (lngNumSamp & (lngNumSamp - 1)) == 0);
    std::vector<double> dblR(dblCounts.begin(), dblCounts.end());
    std::vector<double> dblI(dblCounts.size(), 0.0);
    FFT(lngNumSamp, (-2 * dblPI) / lngNumSamp, dblR, dblI);
    std::vector<double> dblVolts(static_cast<std::size_t>(spectrumLineCount(lngNumSamp)));
    computeAmplitudes(lngNumSamp, spectrumLineCount(lngNumSamp), dblR, dblI, dblVolts);
    for (double& dblValue : dblVolts) {
        dblValue = dblPosScale * dblValue;
    }
    return dblVolts;
}

} // namespace kestrix::engine
