// SPDX-License-Identifier: GPL-3.0-or-later
#include "text_samples.h"

#include "engine/run/number_text.h"

#include <array>
#include <utility>

namespace kestrix::engine {

namespace {

using Kind = platform::RefusalFacts::Kind;

constexpr std::size_t lngNone = std::string_view::npos;

bool isBlank(char chr)
{
    return chr == ' ' || chr == '\t';
}

bool isBlankLine(std::string_view strLine)
{
    for (const char chr : strLine) {
        if (!isBlank(chr)) {
            return false;
        }
    }
    return true;
}

std::string_view trimBlanks(std::string_view strText)
{
    while (!strText.empty() && isBlank(strText.front())) {
        strText.remove_prefix(1);
    }
    while (!strText.empty() && isBlank(strText.back())) {
        strText.remove_suffix(1);
    }
    return strText;
}

// A short quotation of a refused text for a message.
std::string quoted(std::string_view strText)
{
    constexpr std::size_t lngShown = 40;
    std::string strQuoted(1, '"');
    strQuoted.append(strText.substr(0, lngShown));
    strQuoted.append(strText.size() > lngShown ? "...\"" : "\"");
    return strQuoted;
}

char delimiterChar(Delimiter delimiter)
{
    constexpr std::array<char, 4> chrDelimiters = {'\t', ';', ',', ' '};
    return chrDelimiters[static_cast<std::size_t>(delimiter)];
}

// One field from lngPos on: its text (blanks around and the quotes removed, "" not yet made one
// quote), whether it was quoted, and where the next field starts (lngNone after the last).
struct FieldScan
{
    std::string_view strField;
    bool blnQuoted = false;
    std::size_t lngNext = lngNone;
};

FieldScan scanBlankField(std::string_view strLine, std::size_t lngPos)
{
    while (lngPos < strLine.size() && isBlank(strLine[lngPos])) {
        ++lngPos;
    }
    std::size_t lngEnd = lngPos;
    while (lngEnd < strLine.size() && !isBlank(strLine[lngEnd])) {
        ++lngEnd;
    }
    std::size_t lngNext = lngEnd;
    while (lngNext < strLine.size() && isBlank(strLine[lngNext])) {
        ++lngNext;
    }
    return {strLine.substr(lngPos, lngEnd - lngPos), false, lngNext < strLine.size() ? lngNext : lngNone};
}

FieldScan scanField(std::string_view strLine, std::size_t lngPos, Delimiter delimiter)
{
    if (delimiter == Delimiter::Blanks) {
        return scanBlankField(strLine, lngPos);
    }
    const char chrDelimiter = delimiterChar(delimiter);
    std::size_t lngStart = lngPos;
    while (lngStart < strLine.size() && isBlank(strLine[lngStart])) {
        ++lngStart;
    }
    if (lngStart < strLine.size() && strLine[lngStart] == '"') {
        std::size_t lngClose = lngStart + 1;
        while ((lngClose = strLine.find('"', lngClose)) != lngNone && lngClose + 1 < strLine.size() &&
               strLine[lngClose + 1] == '"') {
            lngClose += 2;
        }
        if (lngClose != lngNone) {
            const std::size_t lngDelimiter = strLine.find(chrDelimiter, lngClose + 1);
            return {strLine.substr(lngStart + 1, lngClose - lngStart - 1), true,
                    lngDelimiter == lngNone ? lngNone : lngDelimiter + 1};
        }
        // An unclosed quote: the field runs as plain text.
    }
    const std::size_t lngDelimiter = strLine.find(chrDelimiter, lngPos);
    const std::size_t lngEnd = lngDelimiter == lngNone ? strLine.size() : lngDelimiter;
    return {trimBlanks(strLine.substr(lngPos, lngEnd - lngPos)), false,
            lngDelimiter == lngNone ? lngNone : lngDelimiter + 1};
}

// The field lngIndex (from 0) of a line, or nothing when the line has fewer fields.
std::optional<std::string_view> fieldAt(std::string_view strLine, Delimiter delimiter, std::size_t lngIndex)
{
    std::size_t lngPos = 0;
    for (std::size_t i = 0;; ++i) {
        if (delimiter == Delimiter::Blanks && i == 0 && isBlankLine(strLine)) {
            return std::nullopt;
        }
        const FieldScan scan = scanField(strLine, lngPos, delimiter);
        if (i == lngIndex) {
            return scan.strField;
        }
        if (scan.lngNext == lngNone) {
            return std::nullopt;
        }
        lngPos = scan.lngNext;
    }
}

// The stream of one-column count text.
// What the two text streams share: the reader, the end, the refusal, and a rate and channel the text
// never states.
class TextSampleStream : public platform::SampleStream
{
public:
    explicit TextSampleStream(std::unique_ptr<platform::TextReader> reader) : reader(std::move(reader)) {}

    std::string refusal() const override
    {
        return strRefusal;
    }
    std::optional<std::int32_t> statedSampFreq() const override
    {
        return std::nullopt;
    }
    std::int32_t channelCount() const override
    {
        return 1;
    }
    std::optional<double> shareRead() const override
    {
        return reader->shareRead();
    }

    platform::RefusalFacts refusalFacts() const override
    {
        return facts;
    }

protected:
    void refuse(std::string strWhy, platform::RefusalFacts::Kind kind, std::int64_t lngLine, std::int32_t lngField = 0,
                std::string strText = {})
    {
        facts.kind = kind;
        facts.lngLine = lngLine;
        facts.lngField = lngField;
        facts.blnDecimalComma = kind == platform::RefusalFacts::Kind::NotANumber && isDecimalCommaNumber(strText);
        facts.strText = std::move(strText);
        strRefusal = std::move(strWhy);
        blnEnded = true;
        reader->close();
    }

    std::unique_ptr<platform::TextReader> reader;
    bool blnEnded = false;

private:
    std::string strRefusal;
    platform::RefusalFacts facts;
};

class CountTextStream final : public TextSampleStream
{
public:
    explicit CountTextStream(std::unique_ptr<platform::TextReader> reader) : TextSampleStream(std::move(reader)) {}

    std::size_t readCounts(std::span<double> dblCounts) override
    {
        std::size_t lngDone = 0;
        while (lngDone < dblCounts.size() && !blnEnded) {
            if (reader->atEndOfStream()) {
                blnEnded = true;
                break;
            }
            const platform::TextLine line = reader->readLine();
            ++lngLine;
            double dblValue = 0.0;
            if (!line.blnTooLong && readNumericText(line.strText, dblValue)) {
                if (lngBlankLines > 0) {
                    refuse("line " + std::to_string(lngLine - lngBlankLines) + " is blank", Kind::BlankLine,
                           lngLine - lngBlankLines);
                    break;
                }
                dblCounts[lngDone++] = dblValue;
            } else if (!line.blnTooLong && isBlankLine(line.strText)) {
                ++lngBlankLines;
            } else {
                if (line.blnTooLong) {
                    refuse("line " + std::to_string(lngLine) + " is not a number: (a line too long)", Kind::LineTooLong,
                           lngLine);
                } else {
                    refuse("line " + std::to_string(lngLine) + " is not a number: " + quoted(line.strText),
                           Kind::NotANumber, lngLine, 0, std::string(trimBlanks(line.strText)));
                }
                break;
            }
        }
        return lngDone;
    }
    std::string sourceDescription() const override
    {
        return {};
    }

private:
    std::int64_t lngLine = 0;
    std::int64_t lngBlankLines = 0; // blank lines since the last number
};

// The stream of one column of delimited text.
class ColumnTextStream final : public TextSampleStream
{
public:
    ColumnTextStream(std::unique_ptr<platform::TextReader> reader, Delimiter delimiter, ColumnChoice column)
        : TextSampleStream(std::move(reader)), delimiter(delimiter), column(std::move(column))
    {
        if (this->column.lngNumber > 0) {
            lngIndex = static_cast<std::size_t>(this->column.lngNumber - 1);
        }
    }

    std::size_t readCounts(std::span<double> dblCounts) override
    {
        std::size_t lngDone = 0;
        while (lngDone < dblCounts.size() && !blnEnded) {
            if (reader->atEndOfStream()) {
                if (blnInHeadings && lngIndex == lngNone) {
                    refuse("no heading line names a column " + quoted(column.strName), Kind::NoHeading, 0, 0,
                           column.strName);
                } else if (blnInHeadings && lngLine > 0) {
                    refuse("none of the " + std::to_string(lngLine) + " lines has a number in field " +
                               std::to_string(lngIndex + 1),
                           Kind::NoNumbers, lngLine, static_cast<std::int32_t>(lngIndex + 1));
                }
                blnEnded = true;
                break;
            }
            const platform::TextLine line = reader->readLine();
            ++lngLine;
            double dblValue = 0.0;
            if (blnInHeadings ? takeHeadingOrFirst(line, dblValue) : takeData(line, dblValue)) {
                dblCounts[lngDone++] = dblValue;
            }
        }
        return lngDone;
    }
    std::string sourceDescription() const override
    {
        std::string strText = "column " + std::to_string(lngIndex == lngNone ? 0 : lngIndex + 1);
        return strHeading.empty() ? strText : strText + " (" + strHeading + ")";
    }

private:
    // A line before the data: a heading, or the first line whose chosen field is a number.
    bool takeHeadingOrFirst(const platform::TextLine& line, double& dblValue)
    {
        if (line.blnTooLong) {
            return false;
        }
        const std::vector<std::string> strFields = splitFields(line.strText, delimiter);
        if (lngIndex == lngNone) {
            for (std::size_t i = 0; i < strFields.size(); ++i) {
                if (strFields[i] == column.strName) {
                    lngIndex = i;
                }
            }
        }
        if (lngIndex == lngNone) {
            bool blnAllNumbers = !strFields.empty();
            for (const std::string& strField : strFields) {
                blnAllNumbers = blnAllNumbers && isNumericText(strField);
            }
            if (blnAllNumbers) {
                refuse("line " + std::to_string(lngLine) +
                           " holds numbers, but no heading line before it names a column " + quoted(column.strName),
                       Kind::NoHeading, lngLine, 0, column.strName);
            }
            return false;
        }
        if (lngIndex < strFields.size() && readNumericText(strFields[lngIndex], dblValue)) {
            blnInHeadings = false;
            return true;
        }
        if (lngIndex < strFields.size() && !strFields[lngIndex].empty()) {
            strHeading = strFields[lngIndex];
        }
        return false;
    }

    bool takeData(const platform::TextLine& line, double& dblValue)
    {
        if (line.blnTooLong) {
            refuse("line " + std::to_string(lngLine) + " is too long", Kind::LineTooLong, lngLine);
            return false;
        }
        const std::optional<std::string_view> strField = fieldAt(line.strText, delimiter, lngIndex);
        if (strField && readNumericText(*strField, dblValue)) {
            if (lngBlankLines > 0) {
                refuse("line " + std::to_string(lngLine - lngBlankLines) + " is blank", Kind::BlankLine,
                       lngLine - lngBlankLines);
                return false;
            }
            return true;
        }
        if (isBlankLine(line.strText)) {
            ++lngBlankLines;
        } else if (!strField) {
            refuse("line " + std::to_string(lngLine) + " has no field " + std::to_string(lngIndex + 1),
                   Kind::MissingField, lngLine, static_cast<std::int32_t>(lngIndex + 1));
        } else {
            refuse("line " + std::to_string(lngLine) + ": field " + std::to_string(lngIndex + 1) +
                       " is not a number: " + quoted(*strField),
                   Kind::NotANumber, lngLine, static_cast<std::int32_t>(lngIndex + 1), std::string(*strField));
        }
        return false;
    }

    Delimiter delimiter;
    ColumnChoice column;
    std::size_t lngIndex = lngNone; // the chosen field, from 0; lngNone while a name is not yet found
    std::string strHeading;         // the chosen field of the last heading line that has one
    std::int64_t lngLine = 0;
    std::int64_t lngBlankLines = 0;
    bool blnInHeadings = true;
};

} // namespace

std::unique_ptr<platform::SampleStream> countTextStream(std::unique_ptr<platform::TextReader> reader)
{
    return std::make_unique<CountTextStream>(std::move(reader));
}

bool isDecimalCommaNumber(std::string_view strText)
{
    const std::string_view strTrimmed = trimBlanks(strText);
    const std::size_t lngComma = strTrimmed.find(',');
    const auto isDigit = [](char chr) { return chr >= '0' && chr <= '9'; };
    if (lngComma == std::string_view::npos || lngComma == 0 || lngComma + 1 >= strTrimmed.size() ||
        strTrimmed.find_first_of(".,", lngComma + 1) != std::string_view::npos ||
        strTrimmed.find('.') != std::string_view::npos || !isDigit(strTrimmed[lngComma - 1]) ||
        !isDigit(strTrimmed[lngComma + 1])) {
        return false;
    }
    std::string strPoint(strTrimmed);
    strPoint[lngComma] = '.';
    return isNumericText(strPoint);
}

std::string_view delimiterName(Delimiter delimiter)
{
    constexpr std::array<std::string_view, 4> strNames = {"tab", "semicolon", "comma", "blanks"};
    return strNames[static_cast<std::size_t>(delimiter)];
}

std::vector<std::string> splitFields(std::string_view strLine, Delimiter delimiter)
{
    std::vector<std::string> strFields;
    if (delimiter == Delimiter::Blanks && isBlankLine(strLine)) {
        return strFields;
    }
    std::size_t lngPos = 0;
    for (;;) {
        const FieldScan scan = scanField(strLine, lngPos, delimiter);
        std::string strField(scan.strField);
        if (scan.blnQuoted) {
            for (std::size_t lngAt = 0; (lngAt = strField.find("\"\"", lngAt)) != std::string::npos; ++lngAt) {
                strField.erase(lngAt, 1);
            }
        }
        strFields.push_back(std::move(strField));
        if (scan.lngNext == lngNone) {
            return strFields;
        }
        lngPos = scan.lngNext;
    }
}

Delimiter detectDelimiter(platform::TextReader& reader)
{
    constexpr std::array<Delimiter, 4> candidates = {Delimiter::Tab, Delimiter::Semicolon, Delimiter::Comma,
                                                     Delimiter::Blanks};
    std::array<std::int32_t, 4> lngScores{};
    for (std::int32_t lngLines = 0; lngLines < lngDetectLines && !reader.atEndOfStream();) {
        const platform::TextLine line = reader.readLine();
        if (line.blnTooLong || isBlankLine(line.strText)) {
            continue;
        }
        ++lngLines;
        for (std::size_t c = 0; c < candidates.size(); ++c) {
            const std::vector<std::string> strFields = splitFields(line.strText, candidates[c]);
            bool blnNumber = false;
            for (const std::string& strField : strFields) {
                blnNumber = blnNumber || isNumericText(strField);
            }
            lngScores[c] += strFields.size() >= 2 && blnNumber ? 1 : 0;
        }
    }
    std::size_t lngBest = 2; // comma when nothing splits
    for (std::size_t c = 0; c < candidates.size(); ++c) {
        if (lngScores[c] > lngScores[lngBest] ||
            (lngScores[c] == lngScores[lngBest] && lngScores[c] > 0 && c < lngBest)) {
            lngBest = c;
        }
    }
    return candidates[lngBest];
}

std::unique_ptr<platform::SampleStream> columnTextStream(std::unique_ptr<platform::TextReader> reader,
                                                         Delimiter delimiter, const ColumnChoice& column)
{
    return std::make_unique<ColumnTextStream>(std::move(reader), delimiter, column);
}

} // namespace kestrix::engine
