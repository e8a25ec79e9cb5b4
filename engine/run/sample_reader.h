// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/text_files.h"

#include <cstdint>
#include <span>
#include <string>

namespace kestrix::engine {

// Counting pass: reads at most lngNumSamp lines of an open stream (stopping early at its end) and
// counts the numeric ones; a line longer than the stream's limit is not numeric. Closes the stream.
std::int32_t countSamples(platform::TextReader& stream, std::int32_t lngNumSamp);

// The data-count message for a file with too few numeric lines: three lines joined by CR LF.
std::string dataCountMessage(std::int32_t lngDataCount, std::int32_t lngNumSamp);

// Reading pass: the first lngNumSamp lines of a fresh stream become dblInData and dblR_SPCData (the
// same values) and dblI_SPCData becomes zero. The counting pass has found them numeric; should the file
// have changed since, a non-numeric line raises type mismatch (13) and a short file input past end
// (62). Closes the stream.
void readSamples(platform::TextReader& stream, std::int32_t lngNumSamp, std::span<double> dblInData,
                 std::span<double> dblR_SPCData, std::span<double> dblI_SPCData);

} // namespace kestrix::engine
