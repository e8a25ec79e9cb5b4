// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "delimited_fields.h"
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

// The column of a delimited text to read: by number (from 1) or by its heading name.
struct ColumnChoice
{
    std::int32_t lngNumber = 0; // from 1; 0 when chosen by name
    std::string strName;        // the heading, compared whole (blanks around and quotes removed)
};

// Delimited text with optional heading lines: the lines before the first whose chosen field is a
// number are headings; from there on every line's field must be a number (blank lines at the end
// are ignored), else the stream stops with a refusal naming the line. A column chosen by name is the
// field of that name, in either case, in the last heading line that has it; a line naming it twice,
// and a line of numbers met before the name, are refused. A column chosen by number that a line of
// numbers does not reach is refused at that line. Refusals list the headings, and hint at a decimal
// comma where a field reads as one. The source is described as "column N (HEADING)": for a name, the
// name as the file writes it, with the field of the heading line right after it as its unit
// ("column 2 (accel, g)"); for a number, the field of the last heading line that has one, with the one
// above it as the name where two such lines of as many fields follow each other (names over units).
std::unique_ptr<platform::SampleStream> columnTextStream(std::unique_ptr<platform::TextReader> reader,
                                                         Delimiter delimiter, const ColumnChoice& column);

} // namespace kestrix::engine
