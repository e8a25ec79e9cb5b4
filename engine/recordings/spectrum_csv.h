// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "averaged_spectrum.h"
#include "platform/text_files.h"
#include "window_function.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrix::engine {

// A spectrum read back from a spectrum file: line i at dblFreq[i] Hz with amplitude dblVolts[i] V.
struct SpectrumTrace
{
    std::vector<double> dblFreq;  // strictly ascending, not negative
    std::vector<double> dblVolts; // not negative, one per frequency
};

// What the heading line of an averaged spectrum file (averageHeading) states of its values.
struct SpectrumHeading
{
    SpectrumUnits units = SpectrumUnits::Rms;
    WindowKind window = WindowKind::Hann;
    std::int32_t lngNumSamp = 0;  // segment length N
    std::int32_t lngSampFreq = 0; // Hz
};

// The trace, or the refusal that says why the text is not a spectrum.
struct SpectrumReading
{
    SpectrumTrace trace;
    std::string strRefusal;                 // empty when the trace was read
    std::optional<SpectrumHeading> heading; // an averaged spectrum file's; none for a classic one
};

// The heading of an averaged spectrum file, read from its first line: "frequency (Hz)", a units
// heading (unitsHeading), then name=value fields among which window, N and fs (a number, " Hz"); none
// for a line that is not such a heading.
std::optional<SpectrumHeading> parseAverageHeading(std::string_view strLine);

// Most lines a spectrum file may hold: the longest spectrum written has 25601 lines, and the limit
// keeps the memory of a wrongly chosen large file bounded (about 16 MB of values).
inline constexpr std::size_t lngMaxSpectrumLines = 1'000'000;

// Reads a spectrum file as the run writes it: one line "frequency,volts" per spectrum line, no header,
// lines ended by CR LF or LF, numbers as numeric texts ("0", "390.625", "4.5E-14"). Blank lines at the
// end are ignored. Refuses (with a message naming the line) a blank line inside, a line without
// exactly two fields, a field that is not numeric, a negative frequency or amplitude, a frequency not
// above the one before, more than lngMaxLines lines, and a text without any line. A failure of the
// stream itself is raised as KestrixError.
// An averaged spectrum file is read too: its first line the heading parseAverageHeading reads (any
// other first line that starts with "frequency (Hz)," is refused as a heading it cannot read), its
// values in the heading's units, negative ones allowed in dBV.
SpectrumReading readSpectrumCsv(platform::TextReader& reader, std::size_t lngMaxLines = lngMaxSpectrumLines);

// The same for a text held in memory, with the line rules of the text streams (a byte-order mark at
// the start skipped, a line longer than platform::lngMaxLineBytes refused as not two columns).
SpectrumReading parseSpectrumCsv(std::string_view strText, std::size_t lngMaxLines = lngMaxSpectrumLines);

} // namespace kestrix::engine
