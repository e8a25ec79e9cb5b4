// SPDX-License-Identifier: GPL-3.0-or-later
#include "delimited_fields.h"

#include "engine/run/number_text.h"

#include <array>

namespace kestrix::engine {

namespace {

constexpr std::size_t lngNone = std::string_view::npos;

bool isBlank(char chr)
{
    return chr == ' ' || chr == '\t';
}

char delimiterChar(Delimiter delimiter)
{
    constexpr std::array<char, 4> chrDelimiters = {'\t', ';', ',', ' '};
    return chrDelimiters[static_cast<std::size_t>(delimiter)];
}

char asciiLower(char chr)
{
    return chr >= 'A' && chr <= 'Z' ? static_cast<char>(chr - 'A' + 'a') : chr;
}

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

// Each byte is looked at a bounded number of times: a closing quote is looked for once from the
// opening one, and after an unclosed quote no later field can open one that stays unclosed.
FieldScan scanField(std::string_view strLine, std::size_t lngPos, Delimiter delimiter)
{
    if (delimiter == Delimiter::Blanks) {
        return scanBlankField(strLine, lngPos);
    }
    const char chrDelimiter = delimiterChar(delimiter);
    // Blanks before a quote, but not past the delimiter: a tab is a blank too, and skipping it would
    // take the next field's quote for this one's (and walk a run of tabs once for every field in it).
    std::size_t lngStart = lngPos;
    while (lngStart < strLine.size() && isBlank(strLine[lngStart]) && strLine[lngStart] != chrDelimiter) {
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

} // namespace

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

bool isBlankLine(std::string_view strLine)
{
    return strLine.find_first_not_of(" \t") == std::string_view::npos;
}

std::string_view delimiterName(Delimiter delimiter)
{
    constexpr std::array<std::string_view, 4> strNames = {"tab", "semicolon", "comma", "blanks"};
    return strNames[static_cast<std::size_t>(delimiter)];
}

FieldWalker::FieldWalker(std::string_view strLine_, Delimiter delimiter_)
    : strLine(strLine_), delimiter(delimiter_), blnDone(delimiter_ == Delimiter::Blanks && isBlankLine(strLine_))
{
}

std::optional<FieldScan> FieldWalker::next()
{
    if (blnDone) {
        return std::nullopt;
    }
    const FieldScan scan = scanField(strLine, lngPos, delimiter);
    blnDone = scan.lngNext == lngNone;
    lngPos = scan.lngNext;
    return scan;
}

std::string fieldText(const FieldScan& field)
{
    if (!field.blnQuoted) {
        return std::string(field.strField);
    }
    std::string strText;
    strText.reserve(field.strField.size());
    for (std::size_t i = 0; i < field.strField.size(); ++i) {
        strText += field.strField[i];
        if (field.strField[i] == '"' && i + 1 < field.strField.size() && field.strField[i + 1] == '"') {
            ++i;
        }
    }
    return strText;
}

bool fieldNamed(const FieldScan& field, std::string_view strName)
{
    std::size_t lngAt = 0;
    for (std::size_t i = 0; i < field.strField.size(); ++i, ++lngAt) {
        if (lngAt >= strName.size() || asciiLower(field.strField[i]) != asciiLower(strName[lngAt])) {
            return false;
        }
        if (field.blnQuoted && field.strField[i] == '"' && i + 1 < field.strField.size() &&
            field.strField[i + 1] == '"') {
            ++i;
        }
    }
    return lngAt == strName.size();
}

std::optional<FieldScan> fieldAt(std::string_view strLine, Delimiter delimiter, std::size_t lngIndex)
{
    FieldWalker walker(strLine, delimiter);
    for (std::size_t i = 0;; ++i) {
        const std::optional<FieldScan> field = walker.next();
        if (!field || i == lngIndex) {
            return field;
        }
    }
}

std::vector<std::string> splitFields(std::string_view strLine, Delimiter delimiter)
{
    std::vector<std::string> strFields;
    FieldWalker walker(strLine, delimiter);
    while (const std::optional<FieldScan> field = walker.next()) {
        strFields.push_back(fieldText(*field));
    }
    return strFields;
}

bool isDecimalCommaNumber(std::string_view strText)
{
    const std::string_view strTrimmed = trimBlanks(strText);
    const std::size_t lngComma = strTrimmed.find(',');
    const auto isDigit = [](char chr) { return chr >= '0' && chr <= '9'; };
    if (lngComma == lngNone || lngComma == 0 || lngComma + 1 >= strTrimmed.size() ||
        strTrimmed.find_first_of(".,", lngComma + 1) != lngNone || strTrimmed.find('.') != lngNone ||
        !isDigit(strTrimmed[lngComma - 1]) || !isDigit(strTrimmed[lngComma + 1])) {
        return false;
    }
    std::string strPoint(strTrimmed);
    strPoint[lngComma] = '.';
    return isNumericText(strPoint);
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
            FieldWalker walker(line.strText, candidates[c]);
            std::size_t lngFields = 0;
            bool blnNumber = false;
            // A quoted number reads as one; a field holding "" never does, so the doubled quotes can stay.
            for (std::optional<FieldScan> field; (lngFields < 2 || !blnNumber) && (field = walker.next());) {
                ++lngFields;
                blnNumber = blnNumber || isNumericText(field->strField);
            }
            lngScores[c] += lngFields >= 2 && blnNumber ? 1 : 0;
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

} // namespace kestrix::engine
