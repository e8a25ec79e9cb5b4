// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The floor of a run's I/O: the least any implementation must do to read the recording and write
// the same numbers, with the standard library's fastest conversions (std::from_chars in, shortest
// std::to_chars out) and plain POSIX reads and writes. A run is judged by its time over this.
namespace kestrix::bench {

// Reads the whole file and parses its first lngNumSamp lines (CR LF or LF) with std::from_chars.
std::vector<double> readAndParseSamples(const std::string& strPath, std::int32_t lngNumSamp);

// Lines "a,b" CR LF of the shortest texts of two columns of equal length.
void appendPairLines(std::string& strOut, std::span<const double> dblFirst, std::span<const double> dblSecond);

// Lines "time,count" CR LF: the shortest text of each time, the decimal text of each count.
void appendTimeCountLines(std::string& strOut, std::span<const double> dblTime,
                          std::span<const std::int16_t> intCounts);

// A 16-bit mono PCM Wave file's bytes: a 44-byte header and the samples as they lie in memory
// (little-endian on the hosts the floor is measured on).
void appendWaveBytes(std::string& strOut, std::span<const std::int16_t> intSamples, std::int32_t lngSampFreq);

// Creates or truncates strPath and writes the bytes.
void writeBytes(const std::string& strPath, std::string_view bytData);

} // namespace kestrix::bench
