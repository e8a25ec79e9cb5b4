#pragma once

#include "platform/text_files.h"

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

// The bytes of a 16-bit mono PCM Wave file: the 44-byte header and the lngNumSamp samples, little-
// endian whatever the host. Raises overflow (6) when a size field does not fit 32 bits (a sampling
// frequency above 1073741823 Hz) and invalid call (5) for a sampling frequency that is not positive
// or an array of another length.
std::vector<std::uint8_t> buildWaveFile(std::span<const std::int16_t> intData, std::int32_t lngNumSamp,
                                        std::int32_t lngSampFreq);

// Writes strDstFileName + ".wav", replacing an earlier file; every size is checked before any file
// is touched.
void OutWaveFile(std::span<const std::int16_t> intData, const std::string& strDstFileName, std::int32_t lngNumSamp,
                 std::int32_t lngSampFreq, platform::TextFiles& files);

} // namespace kestrix::engine
