// SPDX-License-Identifier: GPL-3.0-or-later
#include "text_samples.h"

#include "engine/run/number_text.h"

#include <array>
#include <utility>

namespace kestrix::engine {

namespace {

using Kind = platform::RefusalFacts::Kind;

constexpr std::size_t lngNone = std::string_view::npos;

// A short quotation of a refused text for a message.
std::string quoted(std::string_view strText)
{
    constexpr std::size_t lngShown = 40;
    std::string strQuoted(1, '"');
    strQuoted.append(strText.substr(0, lngShown));
    strQuoted.append(strText.size() > lngShown ? "...\"" : "\"");
    return strQuoted;
}

// Why the first line shows the file is no text the readers take, or the empty text: UTF-16 (as a
// spreadsheet's "Unicode text" is written) with its byte-order mark, or NUL bytes.
std::string encodingRefusal(std::string_view strFirstLine)
{
    if (strFirstLine.starts_with("\xFF\xFE") || strFirstLine.starts_with("\xFE\xFF")) {
        return "the file is UTF-16 text (it starts with a UTF-16 byte-order mark): save it as UTF-8 or plain text";
    }
    if (strFirstLine.find('\0') != std::string_view::npos) {
        return "line 1 holds NUL bytes: the file is no text (UTF-16 without a byte-order mark, or binary)";
    }
    return {};
}

// The fields of a heading line for a refusal: at most a few, each quoted.
std::string headingList(std::string_view strLine, Delimiter delimiter)
{
    constexpr std::size_t lngShownFields = 12;
    std::string strList;
    FieldWalker walker(strLine, delimiter);
    std::size_t lngFields = 0;
    for (std::optional<FieldScan> field; (field = walker.next());) {
        if (++lngFields > lngShownFields) {
            return strList + ", ...";
        }
        strList += (strList.empty() ? "" : ", ") + quoted(fieldText(*field));
    }
    return strList;
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
    // Ends the stream with a refusal: strWhy in the batch's words, and its facts for the view to word.
    void refuse(std::string strWhy, Kind kind, std::int64_t lngLine = 0, std::int32_t lngField = 0,
                std::string strText = {})
    {
        facts.kind = kind;
        facts.lngLine = lngLine;
        facts.lngField = lngField;
        facts.blnDecimalComma = kind == Kind::NotANumber && isDecimalCommaNumber(strText);
        facts.strText = kind == Kind::Other && strText.empty() ? strWhy : std::move(strText);
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
            if (lngLine == 1 && !line.blnTooLong) {
                if (std::string strWhy = encodingRefusal(line.strText); !strWhy.empty()) {
                    refuse(std::move(strWhy), Kind::Other);
                    break;
                }
            }
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

// What one pass over a heading line finds.
struct HeadingLine
{
    std::optional<FieldScan> chosen;     // the chosen field, when the line has it
    std::size_t lngFields = 0;           // fields in the line
    bool blnAllNumbers = false;          // every field a number (a line of data, whatever is chosen)
    std::size_t lngNamed = 0;            // fields with the chosen name
    std::optional<FieldScan> named;      // the first of them
    std::size_t lngNamedFirst = lngNone; // where the name stands (the first and the second time)
    std::size_t lngNamedSecond = lngNone;
    std::string_view strDecimalComma; // a field that reads as a number with a decimal comma
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
                if (blnInHeadings && lngLine > 0) {
                    refuseNoData();
                }
                blnEnded = true;
                break;
            }
            const platform::TextLine line = reader->readLine();
            ++lngLine;
            if (lngLine == 1 && !line.blnTooLong) {
                if (std::string strWhy = encodingRefusal(line.strText); !strWhy.empty()) {
                    refuse(std::move(strWhy), Kind::Other);
                    break;
                }
            }
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
        if (strHeading.empty()) {
            return strText;
        }
        return strText + " (" + strHeading + (strUnit.empty() ? "" : ", " + strUnit) + ")";
    }

private:
    HeadingLine look(std::string_view strLine) const
    {
        HeadingLine heading;
        FieldWalker walker(strLine, delimiter);
        heading.blnAllNumbers = true;
        for (std::optional<FieldScan> field; (field = walker.next()); ++heading.lngFields) {
            if (heading.lngFields == lngIndex) {
                heading.chosen = field;
            }
            heading.blnAllNumbers = heading.blnAllNumbers && isNumericText(field->strField);
            if (column.lngNumber == 0 && fieldNamed(*field, column.strName)) {
                if (heading.lngNamed++ == 0) {
                    heading.named = field;
                    heading.lngNamedFirst = heading.lngFields;
                } else {
                    heading.lngNamedSecond = heading.lngFields;
                }
            }
            if (heading.strDecimalComma.empty() && delimiter != Delimiter::Comma &&
                isDecimalCommaNumber(field->strField)) {
                heading.strDecimalComma = field->strField;
            }
        }
        heading.blnAllNumbers = heading.blnAllNumbers && heading.lngFields > 0;
        return heading;
    }

    // A line before the data: a heading, or the first line whose chosen field is a number.
    bool takeHeadingOrFirst(const platform::TextLine& line, double& dblValue)
    {
        if (line.blnTooLong || isBlankLine(line.strText)) {
            return false;
        }
        HeadingLine heading = look(line.strText);
        if (heading.lngNamed > 1) {
            refuse("line " + std::to_string(lngLine) + " names a column " + quoted(column.strName) + " twice (fields " +
                       std::to_string(heading.lngNamedFirst + 1) + " and " +
                       std::to_string(heading.lngNamedSecond + 1) + ")",
                   Kind::Other);
            return false;
        }
        if (heading.lngNamed == 1) {
            // The last heading line that has the name decides; its field is read from here on.
            lngIndex = heading.lngNamedFirst;
            lngNameLine = lngLine;
            strHeading = fieldText(*heading.named);
            strUnit.clear();
            strHeadingLine.assign(line.strText);
            return false;
        }
        if (strDecimalComma.empty() && !heading.strDecimalComma.empty()) {
            strDecimalComma = heading.strDecimalComma;
            lngDecimalCommaLine = lngLine;
        }
        if (heading.blnAllNumbers && !heading.chosen) {
            refuseLineOfNumbers(heading);
            return false;
        }
        if (heading.chosen && readNumericText(heading.chosen->strField, dblValue)) {
            blnInHeadings = false;
            return true;
        }
        if (heading.chosen && !heading.chosen->strField.empty()) {
            if (column.lngNumber > 0) {
                // Two heading lines of one shape in a row are names over units.
                const bool blnUnits = lngLine == lngLastHeadingLine + 1 && heading.lngFields == lngLastHeadingFields;
                strHeading = blnUnits ? strLastHeading : fieldText(*heading.chosen);
                strUnit = blnUnits ? fieldText(*heading.chosen) : std::string();
                strLastHeading = fieldText(*heading.chosen);
                lngLastHeadingLine = lngLine;
                lngLastHeadingFields = heading.lngFields;
            } else if (lngLine == lngNameLine + 1) {
                strUnit = fieldText(*heading.chosen);
            }
        }
        // The widest heading line is listed in refusals (a names line, rather than the units under it);
        // once a name is found, its line.
        if (lngNameLine == 0 && heading.lngFields > lngHeadingFields) {
            lngHeadingFields = heading.lngFields;
            strHeadingLine.assign(line.strText);
        }
        return false;
    }

    bool takeData(const platform::TextLine& line, double& dblValue)
    {
        if (line.blnTooLong) {
            refuse("line " + std::to_string(lngLine) + " is too long", Kind::LineTooLong, lngLine);
            return false;
        }
        const std::optional<FieldScan> field = fieldAt(line.strText, delimiter, lngIndex);
        if (field && readNumericText(field->strField, dblValue)) {
            if (lngBlankLines > 0) {
                refuse("line " + std::to_string(lngLine - lngBlankLines) + " is blank", Kind::BlankLine,
                       lngLine - lngBlankLines);
                return false;
            }
            return true;
        }
        if (isBlankLine(line.strText)) {
            ++lngBlankLines;
        } else if (!field) {
            refuse("line " + std::to_string(lngLine) + " has " + fieldCount(look(line.strText).lngFields) +
                       ", no field " + std::to_string(lngIndex + 1),
                   Kind::MissingField, lngLine, static_cast<std::int32_t>(lngIndex + 1));
        } else {
            refuse("line " + std::to_string(lngLine) + ": field " + std::to_string(lngIndex + 1) +
                       " is not a number: " + quoted(fieldText(*field)) +
                       std::string(delimiter != Delimiter::Comma && isDecimalCommaNumber(field->strField)
                                       ? strDecimalPointHint
                                       : ""),
                   Kind::NotANumber, lngLine, static_cast<std::int32_t>(lngIndex + 1), fieldText(*field));
        }
        return false;
    }

    static std::string fieldCount(std::size_t lngFields)
    {
        return std::to_string(lngFields) + (lngFields == 1 ? " field" : " fields");
    }

    std::string headingsNote() const
    {
        return strHeadingLine.empty() ? std::string(" (no heading line before it)")
                                      : "; the headings: " + headingList(strHeadingLine, delimiter);
    }

    // A line of numbers before the chosen column was found: the name not named yet, or too few fields.
    void refuseLineOfNumbers(const HeadingLine& heading)
    {
        if (lngIndex == lngNone) {
            refuse("line " + std::to_string(lngLine) + " holds numbers, but no heading line before it names a column " +
                       quoted(column.strName) + headingsNote(),
                   Kind::NoHeading, lngLine, 0, column.strName);
            return;
        }
        refuse("line " + std::to_string(lngLine) + " holds " + std::to_string(heading.lngFields) +
                   (heading.lngFields == 1 ? " column" : " columns") + " of numbers, no column " +
                   std::to_string(lngIndex + 1) + headingsNote(),
               Kind::MissingField, lngLine, static_cast<std::int32_t>(lngIndex + 1));
    }

    // The end came before any line held a number in the chosen column.
    void refuseNoData()
    {
        const std::string strHint = strDecimalComma.empty()
                                        ? std::string()
                                        : "; line " + std::to_string(lngDecimalCommaLine) + " holds " +
                                              quoted(strDecimalComma) + std::string(strDecimalPointHint);
        if (lngIndex == lngNone) {
            refuse("no heading line names a column " + quoted(column.strName) + headingsNote() + strHint,
                   Kind::NoHeading, 0, 0, column.strName);
            return;
        }
        refuse("none of the " + std::to_string(lngLine) + " lines has a number in field " +
                   std::to_string(lngIndex + 1) + strHint,
               Kind::NoNumbers, lngLine, static_cast<std::int32_t>(lngIndex + 1));
    }

    static constexpr std::string_view strDecimalPointHint =
        " (numbers take \".\" as the decimal point, not a decimal comma)";

    Delimiter delimiter;
    ColumnChoice column;
    std::size_t lngIndex = lngNone; // the chosen field, from 0; lngNone while a name is not yet found
    std::string strHeading;         // the column's name (by name) or the last heading over it (by number)
    std::string strLastHeading;     // by number: the chosen field of the last heading line that has one
    std::int64_t lngLastHeadingLine = -1;
    std::size_t lngLastHeadingFields = 0;
    std::string strUnit;        // by name: the field under the name in the heading line after it
    std::string strHeadingLine; // the heading line listed in refusals
    std::size_t lngHeadingFields = 0;
    std::string strDecimalComma; // the first field that reads as a decimal-comma number
    std::int64_t lngDecimalCommaLine = 0;
    std::int64_t lngNameLine = 0; // the last heading line that has the name
    std::int64_t lngLine = 0;
    std::int64_t lngBlankLines = 0;
    bool blnInHeadings = true;
};

} // namespace

std::unique_ptr<platform::SampleStream> countTextStream(std::unique_ptr<platform::TextReader> reader)
{
    return std::make_unique<CountTextStream>(std::move(reader));
}

std::unique_ptr<platform::SampleStream> columnTextStream(std::unique_ptr<platform::TextReader> reader,
                                                         Delimiter delimiter, const ColumnChoice& column)
{
    return std::make_unique<ColumnTextStream>(std::move(reader), delimiter, column);
}

} // namespace kestrix::engine
