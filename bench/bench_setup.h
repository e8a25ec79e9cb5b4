// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

namespace kestrix::bench {

constexpr std::int32_t lngBenchPoints = 65536;
constexpr std::int32_t lngBenchSampFreq = 1024; // Hz

// A folder for the benchmarks' files, on tmpfs where /dev/shm exists (so the figures measure the
// program, not the disk), removed with everything in it at destruction.
class ScratchFolder
{
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& path() const
    {
        return strPath;
    }

private:
    std::string strPath;
};

// The shared folder and the recording in it, made once for the whole binary.
struct BenchFiles
{
    std::string strFolder;
    std::string strRecording; // 65536 lines of converter counts, CR LF
};
const BenchFiles& benchFiles();

// The text of a vibration recording in converter counts: a shaft tone with harmonics, a bearing
// tone, mains hum, a DC offset and noise, rounded to whole counts and clipped to 16 bits.
std::string makeRecordingText(std::int32_t lngLines, std::int32_t lngSampFreq);

} // namespace kestrix::bench
