// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "output_buffer.h"
#include "platform/text_files.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kestrix::engine {

// The code conversion of a sample to a 16-bit count: the value's general number text taken as a
// whole number (ties to even), then clipped to -32768..32767. Raises overflow (6) when that whole
// number does not fit 32 bits or the value is not finite. Rounds the double directly where no half
// is near and falls back to the text rule only there.
std::int16_t waveCount(double dblValue);

// The 44-byte header of a 16-bit mono PCM Wave file of lngNumSamp samples at lngSampFreq Hz, little-
// endian whatever the host. Raises overflow (6) when a size field does not fit 32 bits (a sampling
// frequency above 1073741823 Hz) and invalid call (5) for a sampling frequency that is not positive or
// lngSamples (the samples at hand) other than lngNumSamp.
struct WaveHeader
{
    std::array<char, 44> chrBytes{};
};
WaveHeader waveHeader(std::int32_t lngNumSamp, std::int32_t lngSampFreq, std::size_t lngSamples);

// Writes the header and the samples, little-endian, through buffer. Does not close the writer.
void writeWaveData(platform::TextWriter& writer, OutputBuffer& buffer, const WaveHeader& header,
                   std::span<const std::int16_t> intData);

// The bytes of such a file in memory: the header and the samples.
std::vector<std::uint8_t> buildWaveFile(std::span<const std::int16_t> intData, std::int32_t lngNumSamp,
                                        std::int32_t lngSampFreq);

// Writes strDstFileName + ".wav", replacing an earlier file; every size is checked before any file
// is touched.
void OutWaveFile(std::span<const std::int16_t> intData, const std::string& strDstFileName, std::int32_t lngNumSamp,
                 std::int32_t lngSampFreq, platform::TextFiles& files, OutputBuffer& buffer);
void OutWaveFile(std::span<const std::int16_t> intData, const std::string& strDstFileName, std::int32_t lngNumSamp,
                 std::int32_t lngSampFreq, platform::TextFiles& files);

} // namespace kestrix::engine
