// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>
#include <sndfile.h>

#include <string>
#include <type_traits>
#include <vector>

namespace kestrix::testing {

// A sound file written by libsndfile at intSampFreq in intFormat: frames of intChannels interleaved
// samples, given as shorts, ints, floats or doubles (each at the library's full scale for its type).
template <typename Sample>
void writeSound(const std::string& strPath, int intFormat, int intSampFreq, int intChannels,
                const std::vector<Sample>& samples)
{
    SF_INFO info{};
    info.samplerate = intSampFreq;
    info.channels = intChannels;
    info.format = intFormat;
    SNDFILE* file = sf_open(strPath.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    const auto lngFrames = static_cast<sf_count_t>(samples.size()) / intChannels;
    sf_count_t lngWritten = 0;
    if constexpr (std::is_same_v<Sample, short>) {
        lngWritten = sf_writef_short(file, samples.data(), lngFrames);
    } else if constexpr (std::is_same_v<Sample, int>) {
        lngWritten = sf_writef_int(file, samples.data(), lngFrames);
    } else if constexpr (std::is_same_v<Sample, double>) {
        lngWritten = sf_writef_double(file, samples.data(), lngFrames);
    } else {
        static_assert(std::is_same_v<Sample, float>);
        lngWritten = sf_writef_float(file, samples.data(), lngFrames);
    }
    sf_close(file);
    EXPECT_EQ(lngWritten, lngFrames);
}

} // namespace kestrix::testing
