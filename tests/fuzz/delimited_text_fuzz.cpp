// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the delimited-text reader of recordings (columns, delimiters, headings, quotes, decimal commas)
// through the real file service on a scratch file. The first byte chooses the column: by number (1 to
// 16) or, with its high bit, by one of a few names; the second the block size of a second reading; the
// rest is the file (short inputs stand for long lines, see expandRuns). The properties:
// - two reads of the same bytes agree, bit for bit, whatever blocks they are read in: the samples, the
//   refusal and the source's label;
// - every sample is a finite number, and a refused stream gives nothing more;
// - for a file without quotes the reader gives what a plain model of its rules gives (the delimiter
//   found from the first 64 lines, headings before the first number in the column, the name matched in
//   either case in the last heading line that has it, the refusals), sample for sample;
// - an analysis of a refused file writes nothing; one of an accepted file writes only its spectrum.

#include "engine/recordings/average_analysis.h"
#include "engine/recordings/recording.h"
#include "engine/run/number_text.h"
#include "fuzz/fuzz_support.h"
#include "platform/failure.h"
#include "platform/std/std_text_files.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <filesystem>
#include <optional>
#include <span>

namespace {

using namespace kestrix;
using fuzz::ModelLine;
using fuzz::require;

// Sound files that take nothing: every file is text.
class NoSoundFiles final : public platform::SoundFiles
{
public:
    platform::SoundOpening openSound(std::string_view, std::int32_t) override
    {
        return {};
    }
};

constexpr std::array<std::string_view, 8> strNames = {"accel", "t", "V", "Temp", "x y", "c\"d", "a,b", "1"};

struct Reading
{
    std::vector<double> dblCounts;
    std::string strRefusal;
    std::string strSource;
};

Reading readAll(platform::TextFiles& files, const std::string& strPath, const engine::ColumnChoice& column,
                std::size_t lngBlock)
{
    NoSoundFiles sounds;
    engine::RecordingOpening opening = engine::openRecording(files, sounds, strPath, {column, std::nullopt});
    require(opening.stream != nullptr, "delimited text always opens as a stream", strPath);
    Reading reading;
    std::vector<double> dblBlock(lngBlock);
    for (;;) {
        const std::size_t lngGot = opening.stream->readCounts(dblBlock);
        reading.dblCounts.insert(reading.dblCounts.end(), dblBlock.begin(),
                                 dblBlock.begin() + static_cast<std::ptrdiff_t>(lngGot));
        if (lngGot < lngBlock) {
            break;
        }
    }
    reading.strRefusal = opening.stream->refusal();
    require(opening.stream->readCounts(dblBlock) == 0, "a stream that has ended gives nothing more", "");
    reading.strSource = opening.stream->sourceDescription();
    return reading;
}

bool sameBits(const std::vector<double>& dblA, const std::vector<double>& dblB)
{
    return dblA.size() == dblB.size() &&
           std::equal(dblA.begin(), dblA.end(), dblB.begin(), [](double dblX, double dblY) {
               return std::bit_cast<std::uint64_t>(dblX) == std::bit_cast<std::uint64_t>(dblY);
           });
}

// --- The model: the reader's rules written out plainly, for text without quotes. ---

bool isBlank(char chr)
{
    return chr == ' ' || chr == '\t';
}

std::string_view trimmed(std::string_view strText)
{
    while (!strText.empty() && isBlank(strText.front())) {
        strText.remove_prefix(1);
    }
    while (!strText.empty() && isBlank(strText.back())) {
        strText.remove_suffix(1);
    }
    return strText;
}

bool blankLine(std::string_view strLine)
{
    return trimmed(strLine).empty();
}

// Fields under a delimiter: tab, semicolon, comma (each trimmed), or runs of blanks.
std::vector<std::string_view> modelFields(std::string_view strLine, char chrDelimiter)
{
    std::vector<std::string_view> strFields;
    if (chrDelimiter == ' ') {
        std::size_t i = 0;
        while (i < strLine.size()) {
            while (i < strLine.size() && isBlank(strLine[i])) {
                ++i;
            }
            const std::size_t lngStart = i;
            while (i < strLine.size() && !isBlank(strLine[i])) {
                ++i;
            }
            if (i > lngStart) {
                strFields.push_back(strLine.substr(lngStart, i - lngStart));
            }
        }
        return strFields;
    }
    for (;;) {
        const std::size_t lngAt = strLine.find(chrDelimiter);
        strFields.push_back(trimmed(strLine.substr(0, lngAt)));
        if (lngAt == std::string_view::npos) {
            return strFields;
        }
        strLine.remove_prefix(lngAt + 1);
    }
}

char modelDelimiter(const std::vector<ModelLine>& lines)
{
    constexpr std::array<char, 4> chrCandidates = {'\t', ';', ',', ' '};
    std::array<int, 4> lngScores{};
    int lngLooked = 0;
    for (const ModelLine& line : lines) {
        if (lngLooked == engine::lngDetectLines) {
            break;
        }
        if (line.blnTooLong || blankLine(line.strText)) {
            continue;
        }
        ++lngLooked;
        for (std::size_t c = 0; c < chrCandidates.size(); ++c) {
            const std::vector<std::string_view> strFields = modelFields(line.strText, chrCandidates[c]);
            const bool blnNumber = std::any_of(strFields.begin(), strFields.end(), [](std::string_view strField) {
                return engine::isNumericText(strField);
            });
            lngScores[c] += strFields.size() >= 2 && blnNumber ? 1 : 0;
        }
    }
    std::size_t lngBest = 2;
    for (std::size_t c = 0; c < chrCandidates.size(); ++c) {
        if (lngScores[c] > lngScores[lngBest] ||
            (lngScores[c] == lngScores[lngBest] && lngScores[c] > 0 && c < lngBest)) {
            lngBest = c;
        }
    }
    return chrCandidates[lngBest];
}

bool sameName(std::string_view strField, std::string_view strName)
{
    return strField.size() == strName.size() &&
           std::equal(strField.begin(), strField.end(), strName.begin(), [](char chrA, char chrB) {
               const auto lower = [](char chr) { return chr >= 'A' && chr <= 'Z' ? char(chr + 32) : chr; };
               return lower(chrA) == lower(chrB);
           });
}

struct ModelReading
{
    std::vector<double> dblCounts;
    bool blnRefused = false;
};

ModelReading modelColumn(std::string_view strBytes, const engine::ColumnChoice& column)
{
    ModelReading model;
    const std::vector<ModelLine> lines = fuzz::modelLines(strBytes);
    if (!lines.empty() && !lines[0].blnTooLong &&
        (lines[0].strText.starts_with("\xFF\xFE") || lines[0].strText.starts_with("\xFE\xFF") ||
         lines[0].strText.find('\0') != std::string_view::npos)) {
        model.blnRefused = true;
        return model;
    }
    const char chrDelimiter = modelDelimiter(lines);
    std::optional<std::size_t> lngIndex;
    if (column.lngNumber > 0) {
        lngIndex = static_cast<std::size_t>(column.lngNumber - 1);
    }
    bool blnData = false;
    int lngBlanks = 0;
    for (const ModelLine& line : lines) {
        if (!blnData) {
            if (line.blnTooLong || blankLine(line.strText)) {
                continue;
            }
            const std::vector<std::string_view> strFields = modelFields(line.strText, chrDelimiter);
            const bool blnAllNumbers =
                !strFields.empty() && std::all_of(strFields.begin(), strFields.end(), [](std::string_view strField) {
                    return engine::isNumericText(strField);
                });
            if (column.lngNumber == 0) {
                const auto lngNamed = std::count_if(strFields.begin(), strFields.end(), [&](std::string_view strField) {
                    return sameName(strField, column.strName);
                });
                if (lngNamed > 1) {
                    model.blnRefused = true;
                    return model;
                }
                if (lngNamed == 1) {
                    lngIndex = static_cast<std::size_t>(
                        std::find_if(strFields.begin(), strFields.end(),
                                     [&](std::string_view strField) { return sameName(strField, column.strName); }) -
                        strFields.begin());
                    continue;
                }
            }
            const bool blnHasChosen = lngIndex && *lngIndex < strFields.size();
            if (blnAllNumbers && !blnHasChosen) {
                model.blnRefused = true;
                return model;
            }
            if (blnHasChosen && engine::isNumericText(strFields[*lngIndex])) {
                blnData = true;
                model.dblCounts.push_back(*engine::numericValue(strFields[*lngIndex]));
            }
            continue;
        }
        if (line.blnTooLong) {
            model.blnRefused = true;
            return model;
        }
        const std::vector<std::string_view> strFields = modelFields(line.strText, chrDelimiter);
        if (*lngIndex < strFields.size() && engine::isNumericText(strFields[*lngIndex])) {
            if (lngBlanks > 0) {
                model.blnRefused = true;
                return model;
            }
            model.dblCounts.push_back(*engine::numericValue(strFields[*lngIndex]));
        } else if (blankLine(line.strText)) {
            ++lngBlanks;
        } else {
            model.blnRefused = true;
            return model;
        }
    }
    model.blnRefused = !blnData && !lines.empty();
    return model;
}

// An analysis of the file: a refused one writes nothing, an accepted one its spectrum alone.
void checkAnalysis(platform::TextFiles& files, const fuzz::ScratchFile& scratch, const engine::ColumnChoice& column,
                   const Reading& reading)
{
    NoSoundFiles sounds;
    engine::AverageRequest request;
    request.choice.column = column;
    const engine::AverageFileResult result =
        engine::analyseAverage(request, scratch.strPath, files, sounds, 3.14159265358979);
    const bool blnEnough = reading.strRefusal.empty() && reading.dblCounts.size() >= 1024;
    require(result.analysed() == blnEnough,
            "an analysis goes through exactly when the reading does and fills a segment", result.strRefusal);
    const std::vector<std::string> strOthers = scratch.otherFiles();
    if (!blnEnough) {
        require(strOthers.empty(), "a refused analysis writes nothing", result.strRefusal);
        return;
    }
    const std::filesystem::path pathSpectrum = engine::averageOutputName(files, scratch.strPath, request);
    require(strOthers == std::vector<std::string>{pathSpectrum.filename().string()},
            "an analysis writes its spectrum alone", pathSpectrum.string());
    std::filesystem::remove(pathSpectrum);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pbytData, std::size_t lngSize)
{
    static const fuzz::ScratchFile scratch;
    if (lngSize < 2) {
        return 0;
    }
    engine::ColumnChoice column;
    if ((pbytData[0] & 0x80) != 0) {
        column.strName = strNames[pbytData[0] & 7];
    } else {
        column.lngNumber = (pbytData[0] & 15) + 1;
    }
    const std::size_t lngBlock = pbytData[1] % 61 + 1;
    const std::string strBytes = fuzz::expandRuns({pbytData + 2, lngSize - 2});
    scratch.write(strBytes);
    platform::StdTextFiles files;
    const Reading first = readAll(files, scratch.strPath, column, 4096);
    const Reading second = readAll(files, scratch.strPath, column, lngBlock);
    require(sameBits(first.dblCounts, second.dblCounts), "two reads of the same bytes give the same samples", strBytes);
    require(first.strRefusal == second.strRefusal && first.strSource == second.strSource,
            "two reads of the same bytes give the same refusal and label", first.strRefusal);
    require(std::all_of(first.dblCounts.begin(), first.dblCounts.end(),
                        [](double dblValue) { return std::isfinite(dblValue); }),
            "every sample is a finite number", strBytes);
    if (strBytes.find('"') == std::string::npos) {
        const ModelReading model = modelColumn(strBytes, column);
        require(sameBits(first.dblCounts, model.dblCounts), "the reader gives the model's samples", strBytes);
        require(first.strRefusal.empty() != model.blnRefused, "the reader refuses exactly what the model refuses",
                first.strRefusal);
    }
    checkAnalysis(files, scratch, column, first);
    return 0;
}
