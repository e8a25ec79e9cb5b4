// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/sample_stream.h"
#include "platform/text_files.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Recordings held as text, read as sample streams line by line: memory stays at one line and the
// reader's buffer whatever the file's length.
namespace kestrix::engine {

// One-column count text: every line a numeric text (optional blanks, sign, digits, point, exponent),
// as the classic reader takes it; blank lines at the end are ignored. Any other line (a heading, a
// blank line followed by more numbers, a line over the reader's limit) stops the stream with a
// refusal naming its line.
std::unique_ptr<platform::SampleStream> countTextStream(std::unique_ptr<platform::TextReader> reader);

// How the fields of a delimited text are separated. Blanks: runs of spaces and tabs, leading and
// trailing ones ignored. With the others a field may be quoted ("a,b"; "" within is one quote) and
// blanks around a field are not part of it.
enum class Delimiter {
    Tab,
    Semicolon,
    Comma,
    Blanks,
};

// The delimiter found from the first non-blank lines (at most lngDetectLines): the one under which
// most of them split into two fields or more, at least one of them a number; ties go to the earlier
// in the order tab, semicolon, comma, blanks. Comma when no line splits so (the text has one column).
inline constexpr std::int32_t lngDetectLines = 64;
Delimiter detectDelimiter(platform::TextReader& reader);

std::string_view delimiterName(Delimiter delimiter);

// The column of a delimited text to read: by number (from 1) or by its heading name.
struct ColumnChoice
{
    std::int32_t lngNumber = 0; // from 1; 0 when chosen by name
    std::string strName;        // the heading, compared whole (blanks around and quotes removed)
};

// Delimited text with optional heading lines: the lines before the first whose chosen field is a
// number are headings; from there on every line's field must be a number (blank lines at the end
// are ignored), else the stream stops with a refusal naming the line. A column chosen by name is the
// field of that name in the last heading line that has it; a line of numbers met before the name is
// refused.
std::unique_ptr<platform::SampleStream> columnTextStream(std::unique_ptr<platform::TextReader> reader,
                                                         Delimiter delimiter, const ColumnChoice& column);

// Whether a text reads as a number written with a decimal comma ("1,5", "-0,25E-3"): a comma between
// digits in place of the point, no point and no second comma.
bool isDecimalCommaNumber(std::string_view strText);

// The fields of a line as columnTextStream sees them (quotes removed, "" made one quote), for
// headings and tests.
std::vector<std::string> splitFields(std::string_view strLine, Delimiter delimiter);

} // namespace kestrix::engine
