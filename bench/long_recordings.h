// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The long recordings the benchmarks of whole analyses read, made once per run in the scratch folder,
// and the plainest reading of a 16-bit Wave file, for the floors.
namespace kestrix::bench {

struct LongRecording
{
    std::string strWave;
    std::string strText; // empty where only the Wave file is made
    std::int32_t lngSampFreq = 0;
    std::int64_t lngSamples = 0;
};

// Ten minutes at 25 600 Hz (15 360 000 samples): a motor's tones, a DC offset and noise, as a 16-bit
// Wave file and as one-column text.
const LongRecording& tenMinuteRecording();

// One hour at 48 000 Hz (172 800 000 samples, a 345 MB Wave file): the same kind of signal.
const LongRecording& hourRecording();

// Reads the whole file into chrBytes, whose memory is kept from one call to the next.
void readFileInto(const std::string& strPath, std::string& chrBytes);

// lngCount 16-bit samples from sample lngFirst on, after the 44-byte header, as they lie in memory
// (little-endian hosts), decoded straight into pdblOut.
void decodeWave(std::string_view chrBytes, std::int64_t lngFirst, std::int32_t lngCount, double* pdblOut);

// Runs a program (strArgs[0], a path) to its end with its output discarded; false when it fails.
bool runProcess(const std::vector<std::string>& strArgs);

} // namespace kestrix::bench
