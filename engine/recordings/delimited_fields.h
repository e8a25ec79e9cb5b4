// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/text_files.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The fields of delimited text, found in one pass over a line without copying it: every cost is linear
// in the line's length, whatever its quotes and however many fields it has.
namespace kestrix::engine {

// How the fields of a delimited text are separated. Blanks: runs of spaces and tabs, leading and
// trailing ones ignored. With the others a field may be quoted ("a,b"; "" within is one quote) and
// blanks around a field are not part of it.
enum class Delimiter {
    Tab,
    Semicolon,
    Comma,
    Blanks,
};

std::string_view delimiterName(Delimiter delimiter);

// The text without the spaces and tabs around it.
std::string_view trimBlanks(std::string_view strText);

// A line of nothing but spaces and tabs (or of nothing).
bool isBlankLine(std::string_view strLine);

// One field of a line: its text (blanks around and the quotes removed, a "" within still doubled),
// whether it was quoted, and where the next field starts (npos after the last).
struct FieldScan
{
    std::string_view strField;
    bool blnQuoted = false;
    std::size_t lngNext = std::string_view::npos;
};

// The fields of one line in order, each found where the one before ended.
class FieldWalker
{
public:
    FieldWalker(std::string_view strLine, Delimiter delimiter);

    // The next field, or nothing after the last (a line of blanks alone has no field with Blanks).
    std::optional<FieldScan> next();

private:
    std::string_view strLine;
    Delimiter delimiter;
    std::size_t lngPos = 0;
    bool blnDone = false;
};

// A quoted field's text with every "" made one quote; an unquoted field's as it is.
std::string fieldText(const FieldScan& field);

// Whether a field's text equals strName with ASCII letters in either case (a "" within the field
// counts as one quote).
bool fieldNamed(const FieldScan& field, std::string_view strName);

// The field lngIndex (from 0) of a line, or nothing when the line has fewer fields.
std::optional<FieldScan> fieldAt(std::string_view strLine, Delimiter delimiter, std::size_t lngIndex);

// The fields of a line as the column reader sees them (quotes removed, "" made one quote), for headings
// and tests.
std::vector<std::string> splitFields(std::string_view strLine, Delimiter delimiter);

// Whether a text reads as a number written with a decimal comma ("1,5", "-0,25E-3"): a comma between
// digits in place of the point, no point and no second comma. The readers take "." only; such a field
// gets a hint in their refusals.
bool isDecimalCommaNumber(std::string_view strText);

// The delimiter found from the first non-blank lines (at most lngDetectLines): the one under which
// most of them split into two fields or more, at least one of them a number; ties go to the earlier
// in the order tab, semicolon, comma, blanks. Comma when no line splits so (the text has one column).
inline constexpr std::int32_t lngDetectLines = 64;
Delimiter detectDelimiter(platform::TextReader& reader);

} // namespace kestrix::engine
